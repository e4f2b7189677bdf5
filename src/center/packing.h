// Packing of the transaction documents exchanged with the insurance center: a
// zlib stream at the default level, in Base64 with CR LF after every 76
// characters; and the tolerant unpacking of the center's answers.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vorla::center {

// A packed text that does not decode to a complete zlib stream; what() is the
// decompressor's message.
struct UnpackError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// zlib (RFC 1950, default level) of the bytes, then Base64 in lines of 76.
std::string pack(std::string_view document);

// Base64 decoding that skips everything outside the alphabet (line breaks of any
// kind, blanks), then zlib decompression in pieces of 16384 bytes. A text that
// decodes to no bytes at all gives "" without an error. Throws UnpackError.
// An answer may unpack to at most kUnpackLimit bytes (64 MiB, far above any
// real transaction document); a larger one throws UnpackError before it costs
// more memory.
std::string unpack(std::string_view packed);

inline constexpr size_t kUnpackLimit = size_t{64} << 20;
// Tests only may lower the limit; zero restores kUnpackLimit.
void set_unpack_limit(size_t bytes);

}  // namespace vorla::center
