// Media names and document files of the printing boundary.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/printing.h"

namespace vorla::platform {

std::string media_name(double width_mm, double height_mm) {
    struct Size {
        const char* name;
        double w, h;
    };
    static constexpr Size kSizes[] = {
        {"A3", 297, 420}, {"A4", 210, 297}, {"A5", 148, 210}, {"A6", 105, 148}, {"B5", 176, 250},
    };
    auto near = [](double a, double b) { return std::fabs(a - b) <= 1.0; };
    for (const Size& s : kSizes)
        if ((near(width_mm, s.w) && near(height_mm, s.h)) || (near(width_mm, s.h) && near(height_mm, s.w)))
            return s.name;
    char buf[64];
    std::snprintf(buf, sizeof buf, "Custom.%gx%gmm", std::round(width_mm * 10) / 10, std::round(height_mm * 10) / 10);
    return buf;
}

bool write_document_file(std::string_view gbk_path, std::string_view bytes, std::string& error) {
    error.clear();
    const std::string path = gbk_to_utf8(gbk_path);
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    ::fchmod(fd, 0644);
    bool ok = true;
    for (std::size_t at = 0; at < bytes.size() && ok;) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else at += static_cast<std::size_t>(n);
    }
    if (!ok) error = path + ": " + std::strerror(errno);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = path + ": " + std::strerror(errno);
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = path + ": " + std::strerror(errno);
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

std::string gbk_from_native_path(std::string_view path) { return utf8_to_gbk(path); }

}  // namespace vorla::platform
