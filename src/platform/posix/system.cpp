// Clock, directories and host process facts on POSIX systems.
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/fs.h"
#include "platform/platform.h"

namespace vorla::platform {

LocalTime local_now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1,         tm.tm_mday, tm.tm_hour,
                     tm.tm_min,         tm.tm_sec, static_cast<int>(tv.tv_usec / 1000)};
}

std::string system_directory() {
    const char* env = std::getenv("VORLA_SYSTEM_DIR");
    std::string dir = (env && *env) ? env : "/var/lib/vorla";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);  // a failure shows when a file is written
    return gbk_path(dir);
}

std::string host_executable_path() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return gbk_path(std::string_view(buf, static_cast<size_t>(n)));
}

std::string host_executable_directory() {
    std::string exe = host_executable_path();
    auto pos = exe.rfind('/');
    if (pos == std::string::npos) return {};
    return exe.substr(0, pos == 0 ? 1 : pos);
}

std::optional<std::uint64_t> file_size(const std::string& path) {
    struct stat st {};
    if (::stat(native_path(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<FileStamp> file_stamp(const std::string& path) {
    struct stat st {};
    if (::stat(native_path(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    auto ns = [](const struct timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified_ns = ns(st.st_mtim);
    stamp.changed_ns = ns(st.st_ctim);
    stamp.identity = (static_cast<std::uint64_t>(st.st_dev) << 40) ^ static_cast<std::uint64_t>(st.st_ino);
    return stamp;
}

char path_separator() { return '/'; }

}  // namespace vorla::platform

namespace vorla::platform {
std::string default_journal_root() { return "/var/log/vorla"; }
}  // namespace vorla::platform
