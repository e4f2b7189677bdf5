// libFuzzer target for the unpacking of the center's answers (Base64 that skips
// what is outside the alphabet, then zlib): any text either unpacks or raises
// UnpackError; and the input taken as a document comes back from pack + unpack.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "center/packing.h"

namespace {
void check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    using vorla::center::pack;
    using vorla::center::unpack;
    try {
        const std::string document = unpack(input);
        // What unpacks is a document that packs and unpacks to itself.
        check(unpack(pack(document)) == document);
    } catch (const vorla::center::UnpackError&) {
    }
    const std::string packed = pack(input);
    // Lines of at most 76 characters, CR LF between them, only Base64 characters.
    std::size_t line = 0;
    for (std::size_t i = 0; i < packed.size(); ++i) {
        const char c = packed[i];
        if (c == '\r') {
            check(i + 1 < packed.size() && packed[i + 1] == '\n' && line == 76);
            line = 0;
            ++i;
            continue;
        }
        const bool base64 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '+' || c == '/' || c == '=';
        check(base64);
        ++line;
        check(line <= 76);
    }
    check(unpack(packed) == input);
    return 0;
}
