// The transaction document's head and the two head-only error documents.
#pragma once

#include <string>
#include <string_view>

namespace vorla {

// The transaction head, the same for every business type.
struct TDataHead {
    std::string VER;
    std::string APP;
    std::string WorkDate;
    std::string Reserve;
    std::string ErrCode;
    std::string ErrDetail;
};

inline constexpr std::string_view kXmlDeclaration = R"(<?xml version="1.0" encoding="GBK"?>)";

// Head-only answer of the dispatcher and the relay: VER "1.0" (or `version`
// when given), today's work date, empty reserve. The business type, the version
// and the detail are XML-escaped like the serializer's texts.
std::string error_document(std::string_view biztype, int code, std::string_view detail,
                           std::string_view version = {});

// Head-only answer of the center client: VER "V1.0", WorkDate "20130423"; the
// business type and the detail are XML-escaped.
std::string center_error_document(std::string_view biztype, int code, std::string_view detail);

}  // namespace vorla
