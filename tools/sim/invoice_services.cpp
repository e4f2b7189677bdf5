// The insurance center's execute action (/tembroweb/action/execute.do): the
// invoice service that J9 asks for the settlement record of a settlement.
//
// The request is a JSON text (sent with the form content type): serviceName,
// methodName and params, a list of {paramName, paramValue}; akc190 names the
// settlement. Answers, first match wins:
//   <scenario>/execute.http            a bare HTTP status (e.g. 503), plain body
//   <scenario>/execute-<akc190>.json   the answer for that settlement (akc190 of
//                                      letters, digits, "-" and "_")
//   <scenario>/execute.json            the answer for every settlement
//   a request that is no JSON text     result_code "-1", result_exception an
//                                      object with a message
//   akc190 starting with "MZ"          an outpatient settlement record (aae601 "0")
//   akc190 starting with "ZY"          an inpatient settlement record
//   akc190 starting with "EMPTY"       result_code "100" with an empty result_data
//   any other akc190                   result_code "101", result_exception a text
// Every request is recorded: method, path, query, content_type, body, and the
// parameters found (akb020, akc190, akc191, bka135, ver; "<none>" when the body
// is no JSON text).
#include <cstdlib>
#include <string>

#include "common/json.h"
#include "sim.h"

namespace vorla::sim {
namespace {

constexpr const char* kExecutePath = "/tembroweb/action/execute.do";
constexpr const char* kJson = "application/json;charset=UTF-8";

std::string outpatient_record(const std::string& akc190, const std::string& akc191) {
    return R"({"result_code":"100","result_exception":"","result_data":{"aae601":"0",)"
           R"("ake010":"2024-05-06 09:30:15","akc190":)" + json_string(akc190) +
           R"(,"akc191":)" + json_string(akc191) +
           R"(,"akc264":256.5,"akc087":1000,"ake306":100.5,"ake307":96,"ake300":60,)"
           R"("akb021":"银川市第一人民医院","aae072":"20240506001","aae011":"收费员甲",)"
           R"("aac003":"张三","aac004":"1","aae140":"310^职工基本医疗保险","aka130":"11^普通门诊",)"
           R"("fygclist":[{"gclb":"11^西药","gcze":120.5},{"gclb":"21^检查费","gcze":80},)"
           R"({"gclb":"25^化验费","gcze":36},{"gclb":"92^挂号费","gcze":20}],)"
           R"("kc62list":[{"bka157":"23103^基本统筹","aae019":60}]}})";
}

std::string inpatient_record(const std::string& akc190, const std::string& akc191) {
    return R"({"result_code":"100","result_exception":"","result_data":{"aae601":"1",)"
           R"("ake010":"2024-05-20 10:12:00","akc190":)" + json_string(akc190) +
           R"(,"akc191":)" + json_string(akc191) +
           R"(,"akc264":12345.67,"akc087":5000,"ake306":1000,"ake307":2345.67,"ake300":9000,)"
           R"("akb021":"银川市第一人民医院","aab034":"银川市","aae135":"640100123456","aae011":"收费员乙",)"
           R"("aac003":"李四","aac004":"2","aae140":"310^职工基本医疗保险","aka130":"21^普通住院",)"
           R"("bkc190":"ZY2024001","bkc192":"2024-05-10 08:00:00","bkc194":"2024-05-20 09:00:00",)"
           R"("bke001":"10","akf002":"心血管内科","ake309":"800","ake308":"120.5","ake305":"1225.17","yjze":3000,)"
           R"("fygclist":[{"gclb":"11^西药","gcze":4200.5},{"gclb":"12^中成药","gcze":860},)"
           R"({"gclb":"21^检查费","gcze":1520},{"gclb":"25^化验费","gcze":980.17},{"gclb":"31^治疗费","gcze":2100},)"
           R"({"gclb":"33^护理费","gcze":450},{"gclb":"34^床位费","gcze":600},{"gclb":"94^材料费","gcze":1635}],)"
           R"("kc62list":[{"bka157":"23103^基本统筹","aae019":7000},{"bka157":"23203^大额补助","aae019":1500},)"
           R"({"bka157":"23303^公务员补助","aae019":500},{"bka157":"61101^扶贫保","aae019":0},)"
           R"({"bka157":"51101^民政救助","aae019":200}]}})";
}

std::string param(const json::Value* body, const char* name) {
    const json::Value* params = body ? body->member("params") : nullptr;
    if (!params) return {};
    for (const json::Value& p : params->items) {
        const json::Value* n = p.member("paramName");
        const json::Value* v = p.member("paramValue");
        if (n && v && n->as_text() == name) return v->as_text();
    }
    return {};
}

}  // namespace

void add_invoice_services(httplib::Server& server, Context& context) {
    server.Post(kExecutePath, [&context](const httplib::Request& req, httplib::Response& res) {
        const auto parsed = json::parse_lenient(req.body);
        const json::Value* body = parsed && parsed->kind == json::Value::Kind::Object ? &*parsed : nullptr;
        const std::string akc190 = param(body, "akc190");
        const std::string akc191 = param(body, "akc191");
        if (context.recorder) {
            auto fields = request_fields(req);
            fields.emplace_back("content_type", req.get_header_value("Content-Type"));
            fields.emplace_back("body", req.body);
            for (const char* name : {"akb020", "akc190", "akc191", "bka135", "ver"})
                fields.emplace_back(name, body ? param(body, name) : std::string("<none>"));
            context.recorder->record(std::move(fields));
        }

        if (const auto status = scenario_file(context, "execute.http")) {
            const int code = std::atoi(status->c_str());
            res.status = code > 0 ? code : 500;
            res.set_content("simulated status " + std::to_string(res.status), "text/plain");
            return;
        }
        const std::string stem = scenario_stem(akc190);
        if (!stem.empty())
            if (const auto answer = scenario_file(context, "execute-" + stem + ".json")) {
                res.set_content(*answer, kJson);
                return;
            }
        if (const auto answer = scenario_file(context, "execute.json")) {
            res.set_content(*answer, kJson);
            return;
        }
        std::string answer;
        if (!body)
            answer = R"({"result_code":"-1","result_exception":{"message":"请求参数不是有效的JSON",)"
                     R"("type":"com.alibaba.fastjson.JSONException"},"result_data":""})";
        else if (akc190.starts_with("MZ"))
            answer = outpatient_record(akc190, akc191);
        else if (akc190.starts_with("ZY"))
            answer = inpatient_record(akc190, akc191);
        else if (akc190.starts_with("EMPTY"))
            answer = R"({"result_code":"100","result_exception":"","result_data":""})";
        else
            answer = R"({"result_code":"101","result_exception":)" + json_string("结算流水号不存在:" + akc190) +
                     R"(,"result_data":""})";
        res.set_content(answer, kJson);
    });
}

}  // namespace vorla::sim
