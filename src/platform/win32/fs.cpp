// File-system services on Windows: directories, appending files, the journal
// lock (the named event "saveLog", shared by every process of the workstation)
// and a process-wide critical section.
#include <atomic>
#include <cstdlib>

#include "platform/fs.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace vorla::platform {
namespace {

std::wstring wide(const std::string& path) { return win32::widen(path); }

std::string reason(DWORD code) { return win32::error_text(code); }

DWORD attributes_of(const std::string& path) { return ::GetFileAttributesW(wide(path).c_str()); }

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Writes every byte with WriteFile; false with the error code when a write fails.
bool write_all(HANDLE h, std::string_view bytes, DWORD& error) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(h, p, chunk, &written, nullptr) || written == 0) {
            error = ::GetLastError();
            if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
            return false;
        }
        p += written;
        left -= written;
    }
    return true;
}

// A handle that appends: with FILE_APPEND_DATA and no FILE_WRITE_DATA every
// write goes to the end the file has at that moment, also with other writers.
HANDLE open_for_append(const std::string& path, DWORD disposition) {
    return ::CreateFileW(wide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Length of the root of a path that is not created: "C:", "C:\", "\\server\share\", "\".
size_t root_length(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && is_separator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        // \\server\share\ (or \\?\ prefixes): two components belong to the root.
        size_t pos = 2;
        for (int component = 0; component < 2 && pos < path.size(); ++component) {
            while (pos < path.size() && !is_separator(path[pos])) ++pos;
            if (pos < path.size()) ++pos;
        }
        return pos;
    }
    return is_separator(path.empty() ? '\0' : path[0]) ? 1 : 0;
}

// Creates `path` holding `first_line` and returns a handle that appends to it;
// when another process creates it first, opens that one. The file is made
// complete under a temporary name and moved into place (a move never replaces
// an existing file), so nobody sees it without its first line.
HANDLE create_with_first_line(const std::string& path, std::string_view first_line) {
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        path + ".new" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
    HANDLE h = ::CreateFileW(wide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    DWORD error = 0;
    const bool written = write_all(h, first_line, error);
    ::CloseHandle(h);
    if (!written) {
        ::DeleteFileW(wide(temp).c_str());
        throw FsError("cannot write file " + temp + ": " + reason(error));
    }
    if (!::MoveFileExW(wide(temp).c_str(), wide(path).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD move_error = ::GetLastError();
        ::DeleteFileW(wide(temp).c_str());
        if (move_error != ERROR_ALREADY_EXISTS && move_error != ERROR_FILE_EXISTS) {
            ::SetLastError(move_error);
            return INVALID_HANDLE_VALUE;
        }
    }
    return open_for_append(path, OPEN_EXISTING);
}

}  // namespace

// Paths are GBK, and the ANSI file functions take GBK paths.
std::string native_path(std::string_view gbk_path) { return std::string(gbk_path); }
std::string gbk_path(std::string_view native) { return std::string(native); }

bool path_exists(const std::string& path) { return attributes_of(path) != INVALID_FILE_ATTRIBUTES; }

bool is_directory(const std::string& path) {
    const DWORD a = attributes_of(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void create_directory(const std::string& path) {
    if (::CreateDirectoryW(wide(path).c_str(), nullptr)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && is_directory(path)) return;
    throw FsError("cannot create directory " + path + ": " + reason(error));
}

void create_directories(const std::string& path) {
    if (path.empty()) throw FsError("cannot create directory with an empty name");
    if (is_directory(path)) return;
    const size_t root = root_length(path);
    size_t pos = root;
    while (pos <= path.size()) {
        size_t end = pos;
        while (end < path.size() && !is_separator(path[end])) ++end;
        if (end > pos) {  // doubled separators: nothing to create
            const std::string prefix = path.substr(0, end);
            if (!::CreateDirectoryW(wide(prefix).c_str(), nullptr)) {
                const DWORD error = ::GetLastError();
                if (!((error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) && is_directory(prefix)))
                    throw FsError("cannot create directory " + path + " (" + prefix + "): " + reason(error));
            }
        }
        pos = end + 1;
    }
}

void append_to_file(const std::string& path, std::string_view bytes) {
    HANDLE h = open_for_append(path, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) throw FsError("cannot open file " + path + ": " + reason(::GetLastError()));
    DWORD error = 0;
    const bool ok = write_all(h, bytes, error);
    ::CloseHandle(h);
    if (!ok) throw FsError("cannot write file " + path + ": " + reason(error));
}

std::string card_trace_directory() { return "C:\\ReadCard"; }

std::string log_config_directory() {
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"VORLA_HOST_DIR", buffer, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) {
        std::string dir = win32::narrow(std::wstring_view(buffer, n));
        while (dir.size() > 3 && is_separator(dir.back())) dir.pop_back();
        return dir;
    }
    return host_executable_directory();
}

// ---- journal lock: the named event "saveLog" -----------------------------------------

JournalLock::JournalLock(std::chrono::milliseconds wait) {
    // Auto-reset, created signalled; a writer that finds it already there uses it.
    HANDLE event = ::CreateEventW(nullptr, FALSE, TRUE, L"saveLog");
    if (!event) return;  // no lock to be had: go on as after a time-out
    handle_ = win32::to_int(event);
    const long long ms = wait.count();
    const DWORD timeout = ms <= 0 ? 0 : ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
    const DWORD rc = ::WaitForSingleObject(event, timeout);
    held_ = rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED;
}

JournalLock::~JournalLock() {
    if (handle_ < 0) return;
    HANDLE event = win32::to_handle(handle_);
    // Signalled after the wait whatever ended it, as the journal's writers agree.
    ::SetEvent(event);
    ::CloseHandle(event);
}

// ---- shared append file ---------------------------------------------------------------

SharedAppendFile::~SharedAppendFile() { close(); }

void SharedAppendFile::open(const std::string& path, std::string_view first_line) {
    close();
    HANDLE h = open_for_append(path, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            throw FsError("cannot open file " + path + ": " + reason(error));
        const std::string parent = win32::directory_of(path);
        if (!parent.empty()) create_directories(parent);
        h = create_with_first_line(path, first_line);
        if (h == INVALID_HANDLE_VALUE) throw FsError("cannot open file " + path + ": " + reason(::GetLastError()));
    }
    handle_ = win32::to_int(h);
    path_ = path;
}

void SharedAppendFile::append(std::string_view bytes) {
    if (handle_ < 0) throw FsError("cannot write file " + path_ + ": not open");
    DWORD error = 0;
    if (!write_all(win32::to_handle(handle_), bytes, error))
        throw FsError("cannot write file " + path_ + ": " + reason(error));
}

void SharedAppendFile::close() {
    if (handle_ >= 0) ::CloseHandle(win32::to_handle(handle_));
    handle_ = -1;
    path_.clear();
}

// ---- process mutex: a critical section ---------------------------------------------------

struct ProcessMutex::Impl {
    CRITICAL_SECTION section;
};

ProcessMutex::ProcessMutex() : impl_(new Impl) { ::InitializeCriticalSection(&impl_->section); }
ProcessMutex::~ProcessMutex() {
    ::DeleteCriticalSection(&impl_->section);
    delete impl_;
}
void ProcessMutex::lock() { ::EnterCriticalSection(&impl_->section); }
void ProcessMutex::unlock() { ::LeaveCriticalSection(&impl_->section); }

}  // namespace vorla::platform
