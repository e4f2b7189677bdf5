#include "entry/invoke_request.h"

#include "common/text.h"
#include "platform/platform.h"

namespace vorla {

std::optional<InvokeRequest> InvokeRequest::parse(std::string_view gbk_text) {
    auto root = json::parse_lenient(platform::gbk_to_utf8(gbk_text));
    if (!root) return std::nullopt;
    return InvokeRequest(std::move(*root));
}

std::string InvokeRequest::functionname() const {
    const json::Value* v = root_.member("functionname");
    return v ? platform::utf8_to_gbk(v->as_text()) : std::string();
}

std::string InvokeRequest::param(std::string_view name) const {
    const json::Value* params = root_.member("params");
    if (!params || params->kind != json::Value::Kind::Object) return {};
    const json::Value* v = params->member(name);
    return v ? platform::utf8_to_gbk(v->as_text()) : std::string();
}

std::string InvokeRequest::make_text(std::string_view hid, std::string_view biztype, std::string_view ip,
                                     std::string_view indata) {
    // Single-quoted values; a quote or backslash inside is escaped. The escape is
    // written into GBK text, whose trail bytes may equal '\\' or '\'': those belong
    // to a two-byte character and must stay as they are, so walk characters.
    auto quoted = [](std::string_view s) {
        std::string out = "'";
        for (size_t i = 0; i < s.size(); i += gbk_char_length(s, i)) {
            if (gbk_char_length(s, i) == 1 && (s[i] == '\'' || s[i] == '\\')) out += '\\';
            out.append(s.substr(i, gbk_char_length(s, i)));
        }
        return out + "'";
    };
    // The layout of the I1 request that J2 and J11 feed back into the dispatcher,
    // blanks included: a blank after "biztype:", before ",indata" and before "}}".
    return "{functionname:'bizbuss',params:{hid:" + quoted(hid) + ",biztype: " + quoted(biztype) +
           ",ip:" + quoted(ip) + " ,indata:" + quoted(indata) + " }}";
}

std::string rejection_text() { return gbk("{returnCode:0,exception:'非法的函数名'}"); }

}  // namespace vorla
