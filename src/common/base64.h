// Base64 with the standard alphabet and "=" padding.
#pragma once

#include <string>
#include <string_view>

namespace vorla {

// One line, no line breaks: 4*ceil(n/3) characters, "" for an empty input.
std::string base64_encode(std::string_view bytes);

// As base64_encode, with CR LF after every 76th output character (so an
// encoding whose length is a multiple of 76 ends with CR LF).
std::string base64_encode_lines(std::string_view bytes);

// Decodes, skipping every character outside the alphabet and "=" (line breaks
// and blanks included); "=" ends a group as padding.
std::string base64_decode(std::string_view text);

}  // namespace vorla
