// Clock, directories and host process facts on Windows.
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace vorla::platform {

LocalTime local_now() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::string system_directory() {
    // The directory as the system reports it into 256 characters, up to its zero.
    wchar_t buffer[256] = {};
    const UINT n = ::GetSystemDirectoryW(buffer, 256);
    if (n == 0 || n >= 256) return {};
    return win32::narrow(std::wstring_view(buffer, n));
}

std::string host_executable_path() { return win32::module_path(nullptr); }

std::string host_executable_directory() { return win32::directory_of(host_executable_path()); }

std::optional<std::uint64_t> file_size(const std::string& path) {
    // Opened for reading, shared with every other reader and writer (the host's
    // own executable is open, mapped, while it runs).
    const std::wstring wide = win32::widen(path);
    HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    const bool ok = ::GetFileInformationByHandle(h, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    ::GetFileSizeEx(h, &size);
    ::CloseHandle(h);
    if (!ok) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<FileStamp> file_stamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::wstring wide = win32::widen(path);
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    // FILETIME counts 100 ns steps since 1601-01-01.
    auto ns = [](const FILETIME& t) {
        const std::int64_t ticks =
            static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
        return (ticks - 116444736000000000LL) * 100;
    };
    FileStamp stamp;
    stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.modified_ns = ns(data.ftLastWriteTime);
    stamp.changed_ns = ns(data.ftCreationTime);
    return stamp;
}

char path_separator() { return '\\'; }

std::string default_journal_root() { return "c:\\logs"; }

}  // namespace vorla::platform
