// J10: upload of a file to the endpoint named in the request.
#include <cstdlib>

#include "auxiliary/auxiliary.h"
#include "common/json.h"
#include "interceptor/http_helpers.h"
#include "messages/catalogue.h"
#include "messages/serializer.h"
#include "platform/platform.h"

namespace vorla {
namespace {

// "code" equal to 200: the text "200" or a number whose value is 200.
bool is_success_code(const json::Value* code) {
    if (!code) return false;
    if (code->kind == json::Value::Kind::String) return code->text == "200";
    if (code->kind == json::Value::Kind::Number) return std::strtod(code->text.c_str(), nullptr) == 200.0;
    return false;
}

std::string gbk_text_of(const json::Value* v) { return v ? platform::utf8_to_gbk(v->as_text()) : std::string(); }

}  // namespace

void apply_upload_answer(std::string_view body_gbk, TDataHead& head, std::string& url) {
    // The endpoint's answer is GBK text; the reader works on UTF-8.
    const auto answer = json::parse_lenient(platform::gbk_to_utf8(body_gbk));
    if (!answer || answer->kind != json::Value::Kind::Object) return;
    if (is_success_code(answer->member("code"))) {
        head.ErrCode = std::string(1, '0');  // (a literal here trips a false -Wrestrict of GCC 12)
        url = gbk_text_of(answer->member("data"));
    } else {
        head.ErrDetail = gbk_text_of(answer->member("error"));
    }
}

void handle_j10(const InvokeRequest& request, std::string& out) {
    TJ10InBean in;
    read_bean(request.param("indata"), in);
    TJ10OutBean answer;
    answer.HEAD = prepared_answer_head(in.HEAD);
    const http::Result upload = http::upload_file(in.MSG.HEAD.POSTURL, in.MSG.HEAD.FILENAME, in.MSG.HEAD.NAME);
    if (!upload.ok)
        answer.HEAD.ErrDetail = upload.text;
    else
        apply_upload_answer(upload.text, answer.HEAD, answer.MSG.HEAD.URL);
    out = write_bean(answer);
}

}  // namespace vorla
