// The monitoring service (audit requests at /his/realcheck/audit) and the J10
// upload endpoint (multipart at /upload). Both record what they receive and
// answer from the scenario directory.
//
// Scenario files:
//   audit.status   HTTP status of the monitoring service's answer (default 200)
//   audit.answer   its body, sent as it is (default {"code":"200","message":"ok"})
//   upload.status  HTTP status of the upload endpoint's answer (default 200)
//   upload.answer  its body, sent as it is (GBK or any bytes); by default
//                  {"code":"200","data":"<base>/files/<file name>","error":""}
#include <cstdlib>
#include <string>
#include <vector>

#include "common/base64.h"
#include "platform/platform.h"
#include "sim.h"

namespace vorla::sim {
namespace {

constexpr const char* kAuditPath = "/his/realcheck/audit";
constexpr const char* kUploadPath = "/upload";

int status_of(const Context& context, const std::string& name) {
    const auto text = scenario_file(context, name);
    if (!text) return 200;
    const int status = std::atoi(text->c_str());
    return status >= 100 && status <= 599 ? status : 200;
}

// A field value (GBK from the library) as UTF-8 text for the record.
std::string readable(const std::string& gbk) { return platform::gbk_to_utf8(gbk); }

void answer(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body, "application/json");
}

void add_audit_route(httplib::Server& server, Context& context) {
    server.Post(kAuditPath, [&context](const httplib::Request& req, httplib::Response& res,
                                       const httplib::ContentReader& reader) {
        std::string body;
        reader([&body](const char* data, size_t size) {
            body.append(data, size);
            return true;
        });
        if (context.recorder) {
            auto fields = request_fields(req);
            fields.emplace_back("service", "monitor");
            fields.emplace_back("content_type", req.get_header_value("Content-Type"));
            fields.emplace_back("body", body);  // the audit request as sent: UTF-8 JSON
            fields.emplace_back("body_base64", base64_encode(body));
            context.recorder->record(std::move(fields));
        }
        answer(res, status_of(context, "audit.status"),
               scenario_file(context, "audit.answer").value_or(R"({"code":"200","message":"ok"})"));
    });
}

struct Part {
    std::string name, filename, content_type, content;
};

void add_upload_route(httplib::Server& server, Context& context) {
    server.Post(kUploadPath, [&context](const httplib::Request& req, httplib::Response& res,
                                        const httplib::ContentReader& reader) {
        std::vector<Part> parts;
        std::string body;
        if (req.is_multipart_form_data()) {
            reader(
                [&parts](const httplib::MultipartFormData& header) {
                    parts.push_back({header.name, header.filename, header.content_type, {}});
                    return true;
                },
                [&parts](const char* data, size_t size) {
                    if (!parts.empty()) parts.back().content.append(data, size);
                    return true;
                });
        } else {
            reader([&body](const char* data, size_t size) {
                body.append(data, size);
                return true;
            });
        }
        const Part* name_field = nullptr;
        const Part* file = nullptr;
        std::string part_names;
        for (const Part& p : parts) {
            if (!part_names.empty()) part_names += ',';
            part_names += p.name;
            if (p.name == "fileName" && !name_field) name_field = &p;
            if (p.name == "file" && !file) file = &p;
        }
        if (context.recorder) {
            auto fields = request_fields(req);
            fields.emplace_back("service", "upload");
            fields.emplace_back("content_type", req.get_header_value("Content-Type"));
            fields.emplace_back("part_names", part_names);
            if (name_field) {
                fields.emplace_back("fileName", readable(name_field->content));
                fields.emplace_back("fileName_base64", base64_encode(name_field->content));
            }
            if (file) {
                fields.emplace_back("file_filename", readable(file->filename));
                fields.emplace_back("file_content_type", file->content_type);
                fields.emplace_back("file_base64", base64_encode(file->content));
            }
            if (!req.is_multipart_form_data()) fields.emplace_back("body_base64", base64_encode(body));
            context.recorder->record(std::move(fields));
        }
        const std::string stored = context.base_url + "/files/" + (file ? readable(file->filename) : std::string());
        answer(res, status_of(context, "upload.status"),
               scenario_file(context, "upload.answer")
                   .value_or(R"({"code":"200","data":)" + json_string(stored) + R"(,"error":""})"));
    });
}

}  // namespace

void add_monitor_services(httplib::Server& server, Context& context) {
    add_audit_route(server, context);
    add_upload_route(server, context);
}

}  // namespace vorla::sim
