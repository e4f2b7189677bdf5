// GBK <-> UTF-8 through iconv.
#include <iconv.h>

#include <cerrno>

#include "platform/platform.h"

namespace vorla::platform {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; an input sequence the converter rejects (invalid, incomplete
    // or not representable) is replaced by `replacement` and skipped one byte,
    // or one UTF-8 character, at a time.
    std::string run(std::string_view in, std::string_view replacement, bool utf8_input) {
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(in);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.reserve(in.size() * 3 / 2 + 8);
        char* src = const_cast<char*>(in.data());
        size_t src_left = in.size();
        char buf[4096];
        while (src_left > 0) {
            char* dst = buf;
            size_t dst_left = sizeof buf;
            size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
            out.append(buf, static_cast<size_t>(dst - buf));
            if (rc != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL: replace one input unit and go on.
            size_t skip = 1;
            if (utf8_input) {
                unsigned char lead = static_cast<unsigned char>(*src);
                size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
                // Skip the whole character only when its continuation bytes are there.
                size_t n = 1;
                while (n < len && n < src_left &&
                       (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80)
                    ++n;
                skip = n == len ? len : 1;
            }
            if (skip > src_left) skip = src_left;
            src += skip;
            src_left -= skip;
            out.append(replacement);
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t cd_;
};

// ASCII is the same in both encodings: most texts need no converter at all.
bool is_ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

std::string gbk_to_utf8(std::string_view gbk) {
    if (is_ascii(gbk)) return std::string(gbk);
    Converter conv("UTF-8", "GBK");
    return conv.run(gbk, "\xEF\xBF\xBD", false);
}

std::string utf8_to_gbk(std::string_view utf8, char replacement) {
    if (is_ascii(utf8)) return std::string(utf8);
    Converter conv("GBK", "UTF-8");
    return conv.run(utf8, std::string_view(&replacement, 1), true);
}

Utf8ToGbk::Utf8ToGbk() = default;

Utf8ToGbk::~Utf8ToGbk() { delete static_cast<Converter*>(state_); }

std::string Utf8ToGbk::operator()(std::string_view utf8, char replacement) {
    if (is_ascii(utf8)) return std::string(utf8);
    if (!state_) state_ = new Converter("GBK", "UTF-8");  // only once a text needs it
    return static_cast<Converter*>(state_)->run(utf8, std::string_view(&replacement, 1), true);
}

}  // namespace vorla::platform
