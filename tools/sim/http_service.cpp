// The generic HTTP endpoint: answers with a status, a redirect or after a delay,
// echoes what it got (multipart parts included), or drops the connection. For
// the tests of the HTTP helpers and anything else that needs a plain HTTP peer.
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "common/base64.h"
#include "sim.h"

namespace vorla::sim {
namespace {

constexpr long long kMaxDelayMs = 120000;

struct Part {
    std::string name, filename, content_type, content;
};

struct Received {
    std::string body;         // raw body; empty for a multipart body
    std::vector<Part> parts;  // the parts of a multipart/form-data body, in order
};

std::string param(const httplib::Request& req, const char* name, std::string fallback = {}) {
    return req.has_param(name) ? req.get_param_value(name) : std::move(fallback);
}

// The path's number after the route's name ("/http/status/500" gives 500), or `fallback`.
long long number_of(const httplib::Request& req, long long fallback) {
    if (req.matches.size() < 2 || req.matches[1].str().empty()) return fallback;
    return std::atoll(req.matches[1].str().c_str());
}

// The header fields received (the server's own REMOTE_ADDR and the like left out).
std::string headers_json(const httplib::Request& req) {
    std::string out = "{";
    for (const auto& [name, value] : req.headers) {
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") continue;
        if (out.size() > 1) out += ',';
        out += json_string(name) + ":" + json_string(value);
    }
    return out + "}";
}

std::string parts_json(const std::vector<Part>& parts) {
    std::string out = "[";
    for (const Part& p : parts) {
        if (out.size() > 1) out += ',';
        out += "{\"name\":" + json_string(p.name) + ",\"filename\":" + json_string(p.filename) +
               ",\"content_type\":" + json_string(p.content_type) + ",\"content\":" + json_string(p.content) +
               ",\"content_base64\":" + json_string(base64_encode(p.content)) + "}";
    }
    return out + "]";
}

void record(const Context& context, const httplib::Request& req, const Received& got) {
    if (!context.recorder) return;
    auto fields = request_fields(req);
    fields.emplace_back("content_type", req.get_header_value("Content-Type"));
    fields.emplace_back("body_base64", base64_encode(got.body));
    context.recorder->record(std::move(fields), {{"headers", headers_json(req)}, {"parts", parts_json(got.parts)}});
}

bool bodiless(int status) { return status < 200 || status == 204 || status == 304; }

void answer_status(httplib::Response& res, int status, const httplib::Request& req) {
    res.status = (status >= 100 && status <= 599) ? status : 500;
    if (bodiless(res.status)) return;
    const std::string type = param(req, "type", "text/plain; charset=utf-8");
    res.set_content(param(req, "body", "vorla-sim: HTTP " + std::to_string(res.status)), type.c_str());
}

void serve(const Context& context, const std::string& route, const httplib::Request& req, httplib::Response& res,
           const Received& got) {
    record(context, req, got);
    if (route == "status") {
        answer_status(res, static_cast<int>(number_of(req, 200)), req);
    } else if (route == "redirect") {
        const long long code = number_of(req, 302);
        res.status = (code >= 300 && code <= 399) ? static_cast<int>(code) : 302;
        res.set_header("Location", param(req, "to", "/http/status/200"));
        res.set_content("vorla-sim: redirect", "text/plain");
    } else if (route == "delay") {
        const long long ms = std::clamp(number_of(req, 0), 0LL, kMaxDelayMs);
        wait_for(req, std::chrono::milliseconds(ms));
        res.status = 200;
        const std::string type = param(req, "type", "text/plain; charset=utf-8");
        res.set_content(param(req, "body", "vorla-sim: after " + std::to_string(ms) + " ms"), type.c_str());
    } else if (route == "echo") {
        const auto q = req.target.find('?');
        std::string out = "{\"method\":" + json_string(req.method) + ",\"path\":" + json_string(req.path) +
                          ",\"query\":" + json_string(q == std::string::npos ? "" : req.target.substr(q + 1)) +
                          ",\"headers\":" + headers_json(req) + ",\"body\":" + json_string(got.body) +
                          ",\"body_base64\":" + json_string(base64_encode(got.body)) +
                          ",\"parts\":" + parts_json(got.parts) + "}";
        res.status = 200;
        res.set_content(out, "application/json; charset=utf-8");
    } else if (route == "drop") {
        drop_connection(req);
    } else {
        res.status = 404;
        res.set_content("vorla-sim: no route " + req.path, "text/plain");
    }
}

// Routes, each with an optional number in the path.
const char* const kRoutes[] = {"status", "redirect", "delay", "echo", "drop"};

}  // namespace

void add_http_service(httplib::Server& server, Context& context) {
    for (const char* route : kRoutes) {
        const std::string name = route;
        const std::string pattern = "/http/" + name + R"((?:/(\d+))?)";
        server.Get(pattern, [&context, name](const httplib::Request& req, httplib::Response& res) {
            serve(context, name, req, res, Received{});
        });
        server.Post(pattern, [&context, name](const httplib::Request& req, httplib::Response& res,
                                              const httplib::ContentReader& reader) {
            Received got;
            if (req.is_multipart_form_data()) {
                reader(
                    [&got](const httplib::MultipartFormData& header) {
                        got.parts.push_back(Part{header.name, header.filename, header.content_type, {}});
                        return true;
                    },
                    [&got](const char* data, size_t length) {
                        if (!got.parts.empty()) got.parts.back().content.append(data, length);
                        return true;
                    });
            } else {
                reader([&got](const char* data, size_t length) {
                    got.body.append(data, length);
                    return true;
                });
            }
            serve(context, name, req, res, got);
        });
    }
}

}  // namespace vorla::sim
