// The services of card reading: the authentication service (yd_1903 HSM
// authentication data, yd_1904 out-of-region card check) and the insurance
// center's qrcode action (electronic social security card codes).
#include <cstdlib>
#include <string>

#include "common/json.h"
#include "sim.h"

namespace vorla::sim {
namespace {

constexpr const char* kAuthPath = "/galdo_mis_outland/outland/biz";
constexpr const char* kQrcodePath = "/tembroweb/action/qrcode.do";
constexpr const char* kJson = "application/json;charset=UTF-8";

std::string default_auth_answer(const std::string& method) {
    if (method == "yd_1903")
        return R"({"result_code":"100","result_data":{"head":{"nbrzjbsj":"NB-AUTH-0001","wbrzjbsj":"WB-AUTH-0001"}}})";
    if (method == "yd_1904")
        return R"({"result_code":"100","result_data":{"head":{"cgbz":"1","tsxx":"异地卡验证通过"}}})";
    return R"({"result_code":"101","result_data":"unknown methodName"})";
}

constexpr const char* kDefaultQrcodeAnswer =
    R"({"result_code":"100","result_data":{"head":{"sbkid":"K6400000009","fkxzqh":"640100","sbkh":"C64000009",)"
    R"("sfzh":"640102198807074418","ryxm":"赵六"}}})";

// Answers from "<stem>.http" (a bare status with a plain body) or "<stem>.json"
// (the answer as it stands), else `fallback`.
void answer(const Context& context, const std::string& stem, const std::string& fallback, httplib::Response& res) {
    if (const auto status = scenario_file(context, stem + ".http")) {
        const int code = std::atoi(status->c_str());
        res.status = code > 0 ? code : 500;
        res.set_content("simulated status " + std::to_string(res.status), "text/plain");
        return;
    }
    res.set_content(scenario_file(context, stem + ".json").value_or(fallback), kJson);
}

std::string member_text(const std::optional<json::Value>& body, const char* name) {
    const json::Value* m = body ? body->member(name) : nullptr;
    return m ? m->as_text() : std::string();
}

}  // namespace

void add_card_services(httplib::Server& server, Context& context) {
    server.Post(kAuthPath, [&context](const httplib::Request& req, httplib::Response& res) {
        const auto body = json::parse_lenient(req.body);
        const std::string method = scenario_stem(member_text(body, "methodName"));
        if (context.recorder) {
            auto fields = request_fields(req);
            fields.emplace_back("content_type", req.get_header_value("Content-Type"));
            fields.emplace_back("body", req.body);
            fields.emplace_back("method_name", method);
            context.recorder->record(std::move(fields));
        }
        answer(context, method.empty() ? "auth" : method, default_auth_answer(method), res);
    });

    server.Post(kQrcodePath, [&context](const httplib::Request& req, httplib::Response& res) {
        const auto body = json::parse_lenient(req.body);
        if (context.recorder) {
            auto fields = request_fields(req);
            fields.emplace_back("content_type", req.get_header_value("Content-Type"));
            fields.emplace_back("body", req.body);
            fields.emplace_back("qrcode", member_text(body, "qrcode"));
            context.recorder->record(std::move(fields));
        }
        answer(context, "qrcode", kDefaultQrcodeAnswer, res);
    });
}

}  // namespace vorla::sim
