// INI profiles with the Windows profile-string semantics, read and written by
// hand: sections and keys match without regard to ASCII letter case, blanks and
// tabs around the "=" and at the line's ends are not part of the key or value
// (as with the Windows profile functions), every other line is kept. A write
// replaces the file in one rename, so a reader never sees it half-written.
//
// Texts are GBK on both sides of this interface. A file saved as UTF-8 (with a
// byte order mark, or valid UTF-8 holding non-ASCII bytes) is read as UTF-8:
// the section, key and value are converted at this boundary, and writes go back
// in the file's own encoding, its other lines untouched.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/faults.h"
#include "platform/fs.h"
#include "platform/platform.h"

namespace vorla::platform {
namespace {

constexpr size_t kMaxValue = 2047;

bool iequal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// A line without its line end.
std::string_view body(const std::string& line) {
    std::string_view v(line);
    if (!v.empty() && v.back() == '\r') v.remove_suffix(1);
    return v;
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> section_of(const std::string& line) {
    std::string_view v = trim_blanks(body(line));
    if (v.size() < 2 || v.front() != '[') return std::nullopt;
    auto close = v.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim_blanks(v.substr(1, close - 1));
}

// Key and value of a "key=value" line; the value is what follows the "=",
// without the blanks and tabs at its ends.
bool key_value(const std::string& line, std::string_view& key, std::string_view& value) {
    std::string_view v = body(line);
    auto eq = v.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim_blanks(v.substr(0, eq));
    if (key.empty() || key.front() == ';') return false;
    value = trim_blanks(v.substr(eq + 1));
    return true;
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Whether the bytes are well-formed UTF-8 and hold at least one non-ASCII character.
bool is_utf8_text(std::string_view s) {
    bool non_ascii = false;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        if (b < 0x80) n = 1;
        else if (b >= 0xC2 && b <= 0xDF) n = 2;
        else if (b >= 0xE0 && b <= 0xEF) n = 3;
        else if (b >= 0xF0 && b <= 0xF4) n = 4;
        else return false;
        if (i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        if (n > 1) non_ascii = true;
        i += n;
    }
    return non_ascii;
}

}  // namespace

struct Profile::Impl {
    std::vector<std::string> lines;  // each without its '\n'; a '\r' stays
    bool ends_with_newline = true;
    bool utf8 = false;  // the file's texts are UTF-8 (its first line without the byte order mark)
    bool bom = false;

    // A GBK text of the interface in the file's encoding, and back.
    std::string to_file(std::string_view gbk) const { return utf8 ? gbk_to_utf8(gbk) : std::string(gbk); }
    std::string from_file(std::string_view text) const { return utf8 ? utf8_to_gbk(text) : std::string(text); }

    // Index range [first, last) of the lines of a section (after its header), or npos.
    bool find_section(std::string_view name, size_t& first, size_t& last) const {
        for (size_t i = 0; i < lines.size(); ++i) {
            auto s = section_of(lines[i]);
            if (!s || !iequal(*s, name)) continue;
            first = i + 1;
            last = first;
            while (last < lines.size() && !section_of(lines[last])) ++last;
            return true;
        }
        return false;
    }
};

Profile::Profile(std::string path) : path_(std::move(path)), impl_(new Impl) {
    std::ifstream in(native_path(path_), std::ios::binary);
    if (!in) return;
    file_exists_ = true;
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = ss.str();
    if (std::string_view(all).substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        impl_->utf8 = impl_->bom = true;
        all.erase(0, kUtf8Bom.size());
    } else {
        impl_->utf8 = is_utf8_text(all);
    }
    size_t start = 0;
    while (start < all.size()) {
        size_t nl = all.find('\n', start);
        if (nl == std::string::npos) {
            impl_->lines.push_back(all.substr(start));
            impl_->ends_with_newline = false;
            break;
        }
        impl_->lines.push_back(all.substr(start, nl - start));
        start = nl + 1;
    }
}

Profile::~Profile() { delete impl_; }

std::string Profile::read(std::string_view gbk_section, std::string_view gbk_key) const {
    const std::string section = impl_->to_file(gbk_section), key = impl_->to_file(gbk_key);
    size_t first = 0, last = 0;
    if (!impl_->find_section(section, first, last)) return {};
    for (size_t i = first; i < last; ++i) {
        std::string_view k, v;
        if (key_value(impl_->lines[i], k, v) && iequal(k, key)) {
            const std::string value = impl_->from_file(v);
            return value.substr(0, kMaxValue);
        }
    }
    return {};
}

void Profile::write(std::string_view gbk_section, std::string_view gbk_key, std::string_view gbk_value) {
    const std::string section = impl_->to_file(gbk_section), key = impl_->to_file(gbk_key),
                      value = impl_->to_file(gbk_value);
    Impl next = *impl_;
    std::string entry = std::string(key) + "=" + std::string(value) + "\r";
    size_t first = 0, last = 0;
    if (next.find_section(section, first, last)) {
        bool done = false;
        for (size_t i = first; i < last && !done; ++i) {
            std::string_view k, v;
            if (key_value(next.lines[i], k, v) && iequal(k, key)) {
                next.lines[i] = std::string(k) + "=" + std::string(value) + "\r";
                done = true;
            }
        }
        if (!done) {
            size_t at = last;  // after the section's last non-blank line
            while (at > first && trim_blanks(body(next.lines[at - 1])).empty()) --at;
            next.lines.insert(next.lines.begin() + static_cast<long>(at), entry);
        }
    } else {
        if (!next.lines.empty() && !next.ends_with_newline) next.ends_with_newline = true;
        next.lines.push_back("[" + std::string(section) + "]\r");
        next.lines.push_back(entry);
    }
    next.ends_with_newline = true;

    std::string text = next.bom ? std::string(kUtf8Bom) : std::string();
    for (size_t i = 0; i < next.lines.size(); ++i) {
        text += next.lines[i];
        if (i + 1 < next.lines.size() || next.ends_with_newline) text += '\n';
    }

    // Writing what the file already holds (an empty key written empty again, say)
    // changes nothing and needs no write permission.
    if (next.lines == impl_->lines && file_exists_) return;

    const std::string failure = "Unable to write to " + path_;
    // A read-only file stays read-only, as with the system's profile functions.
    const std::string native = native_path(path_);
    if (::access(native.c_str(), F_OK) == 0 && ::access(native.c_str(), W_OK) != 0)
        throw ProfileWriteError(failure);
    std::string tmp = path_ + ".tmp" + std::to_string(::getpid());
    int fd = injected_file_fault(FileOperation::Open, tmp)
                 ? -1
                 : ::open(native_path(tmp).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw ProfileWriteError(failure);
    size_t off = 0;
    bool ok = true;
    // An injected write failure lets half of the text reach the temporary file.
    const size_t end = injected_file_fault(FileOperation::Write, tmp) ? text.size() / 2 : text.size();
    if (end < text.size()) ok = false;
    while (off < end) {
        ssize_t n = ::write(fd, text.data() + off, end - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        off += static_cast<size_t>(n);
    }
    if (injected_file_fault(FileOperation::Sync, tmp) || ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (!ok || injected_file_fault(FileOperation::Rename, path_) || ::rename(native_path(tmp).c_str(), native.c_str()) != 0) {
        ::unlink(native_path(tmp).c_str());
        throw ProfileWriteError(failure);
    }
    *impl_ = std::move(next);
    file_exists_ = true;
}

}  // namespace vorla::platform
