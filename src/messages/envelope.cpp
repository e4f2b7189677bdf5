#include "messages/envelope.h"

#include "common/text.h"

namespace vorla {

std::string error_document(std::string_view biztype, int code, std::string_view detail,
                           std::string_view version) {
    std::string out(kXmlDeclaration);
    out += "<DATA><HEAD><VER>";
    append_xml_escaped(out, version.empty() ? std::string_view("1.0") : version);
    out += "</VER><APP>";
    append_xml_escaped(out, biztype);
    out += "</APP><WorkDate>";
    out += format_yyyymmdd(platform::local_now());
    out += "</WorkDate><Reserve></Reserve><ErrCode>";
    out += std::to_string(code);
    out += "</ErrCode><ErrDetail>";
    append_xml_escaped(out, detail);
    out += "</ErrDetail></HEAD></DATA>";
    return out;
}

std::string center_error_document(std::string_view biztype, int code, std::string_view detail) {
    std::string out(kXmlDeclaration);
    out += "<DATA><HEAD><VER>V1.0</VER><APP>";
    append_xml_escaped(out, biztype);
    out += "</APP><WorkDate>20130423</WorkDate><Reserve></Reserve><ErrCode>";
    out += std::to_string(code);
    out += "</ErrCode><ErrDetail>";
    append_xml_escaped(out, detail);
    out += "</ErrDetail></HEAD></DATA>";
    return out;
}

}  // namespace vorla
