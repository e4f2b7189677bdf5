// INI profiles through the system's profile-string functions. Sections, keys
// and values are GBK bytes and go to the ANSI functions unchanged: on the
// workstations (ANSI code page 936) that is the file's own encoding, and under
// a single-byte ANSI code page the bytes pass through as they are.
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace vorla::platform {
namespace {

constexpr DWORD kValueBuffer = 2048;  // values up to 2047 characters

std::string zero_terminated(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

}  // namespace

struct Profile::Impl {};

Profile::Profile(std::string path) : path_(std::move(path)), impl_(nullptr) {}

Profile::~Profile() = default;

std::string Profile::read(std::string_view section, std::string_view key) const {
    char buffer[kValueBuffer] = {};
    const std::string s = zero_terminated(section), k = zero_terminated(key);
    const DWORD n = ::GetPrivateProfileStringA(s.c_str(), k.c_str(), "", buffer, kValueBuffer, path_.c_str());
    return std::string(buffer, n < kValueBuffer ? n : kValueBuffer - 1);
}

void Profile::write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string s = zero_terminated(section), k = zero_terminated(key), v = zero_terminated(value);
    // Writing what the file already holds (the empty default of a key that is
    // there, say) changes nothing and needs no write permission. A key that is
    // absent reads as the default given here, which no value can be.
    char current[kValueBuffer] = {};
    const DWORD n = ::GetPrivateProfileStringA(s.c_str(), k.c_str(), "\x01\x02", current, kValueBuffer, path_.c_str());
    if (n < kValueBuffer - 1 && std::string_view(current, n) == v) return;
    if (!::WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), path_.c_str()))
        throw ProfileWriteError("Unable to write to " + path_);
}

}  // namespace vorla::platform
