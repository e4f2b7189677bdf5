// File-system services on POSIX systems: directories, appending files, the
// journal lock "saveLog" (an fcntl lock on a lock file in the system directory)
// and a process-wide mutex.
#include "platform/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/faults.h"
#include "platform/platform.h"

namespace vorla::platform {
namespace {

std::string reason(int err) { return std::strerror(err); }

// Writes every byte; a descriptor opened with O_APPEND puts each write at the
// end. `written` counts the bytes that did reach the file, also on failure.
bool write_all(int fd, std::string_view bytes, int& err, const std::string& path, size_t& written) {
    written = 0;
    const char* p = bytes.data();
    size_t left = bytes.size();
    if (const int injected = injected_file_fault(FileOperation::Write, path)) {
        left /= 2;  // half of it reaches the disk, then the disk is full
        while (left > 0) {
            const ssize_t n = ::write(fd, p, left);
            if (n <= 0) break;
            p += n;
            left -= static_cast<size_t>(n);
            written += static_cast<size_t>(n);
        }
        err = injected;
        return false;
    }
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = EIO;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
        written += static_cast<size_t>(n);
    }
    return true;
}

bool write_all(int fd, std::string_view bytes, int& err, const std::string& path) {
    size_t written = 0;
    return write_all(fd, bytes, err, path, written);
}

// Appends every byte or, when that fails, takes back what did reach the file,
// unless another writer has appended behind it meanwhile. False with `err` set
// on failure.
bool append_whole(int fd, std::string_view bytes, int& err, const std::string& path) {
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    size_t written = 0;
    if (write_all(fd, bytes, err, path, written)) return true;
    struct stat after {};
    if (sized && written > 0 && ::fstat(fd, &after) == 0 &&
        after.st_size == before.st_size + static_cast<off_t>(written)) {
        if (::ftruncate(fd, before.st_size) != 0) {
            // Nothing more can be done; the error reported stays the write's.
        }
    }
    return false;
}

// What the journal, the card-read trace and the diagnostic log hold (patients'
// names and identity numbers) is for the workstation's own accounts: files and
// directories are created without access for others, and the umask can take
// away more. Accounts that share a workstation's journal share its group.
constexpr mode_t kFileMode = 0640;
constexpr mode_t kDirectoryMode = 0750;
// The journal lock is opened for writing by every account that writes the
// journal, so its group may write it too; others cannot hold it.
constexpr mode_t kLockFileMode = 0660;

// The system calls that the file functions make, each failing as an injected
// fault says.
int open_file(const std::string& path, int flags, mode_t mode = 0) {
    if (const int injected = injected_file_fault(FileOperation::Open, path)) {
        errno = injected;
        return -1;
    }
    return ::open(native_path(path).c_str(), flags, mode);
}

int make_directory(const std::string& path) {
    if (const int injected = injected_file_fault(FileOperation::CreateDirectory, path)) {
        errno = injected;
        return -1;
    }
    return ::mkdir(native_path(path).c_str(), kDirectoryMode);
}

std::string parent_of(const std::string& path) {
    auto pos = path.find_last_of('/');
    if (pos == std::string::npos) return {};
    if (pos == 0) return "/";
    return path.substr(0, pos);
}

void pause_for(std::chrono::milliseconds ms) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ms.count() / 1000);
    ts.tv_nsec = static_cast<long>((ms.count() % 1000) * 1000000);
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Creates `path` holding `first_line` and opens it for appending; when another
// process creates it first, opens that one. The file is made complete under a
// temporary name and linked into place, so nobody ever sees it without its first
// line. Returns the descriptor, or -1 with errno set.
int create_with_first_line(const std::string& path, std::string_view first_line) {
    static std::atomic<unsigned> counter{0};
    const std::string temp = path + ".new" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    int fd = open_file(temp, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd < 0) return -1;
    int err = 0;
    if (!write_all(fd, first_line, err, temp)) {
        ::close(fd);
        ::unlink(native_path(temp).c_str());
        throw FsError("cannot write file " + temp + ": " + reason(err));
    }
    const int linked = ::link(native_path(temp).c_str(), native_path(path).c_str());
    const int link_err = errno;
    ::unlink(native_path(temp).c_str());
    if (linked == 0) return fd;  // the same file, now under its name
    ::close(fd);
    if (link_err == EEXIST) return open_file(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    // A file system without hard links: create the file in place.
    fd = open_file(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd >= 0) {
        if (!write_all(fd, first_line, err, path)) {
            ::close(fd);
            ::unlink(native_path(path).c_str());
            throw FsError("cannot write file " + path + ": " + reason(err));
        }
        return fd;
    }
    if (errno == EEXIST) return open_file(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    return -1;
}

#ifndef F_OFD_SETLK
// Classic fcntl locks belong to the process, so writers within one process are
// kept apart by this mutex in addition.
std::timed_mutex& in_process_journal_mutex() {
    static std::timed_mutex m;
    return m;
}
#endif

}  // namespace

std::string native_path(std::string_view gbk) {
    for (char c : gbk)
        if (static_cast<unsigned char>(c) >= 0x80) return gbk_to_utf8(gbk);
    return std::string(gbk);
}

std::string gbk_path(std::string_view native) {
    for (char c : native)
        if (static_cast<unsigned char>(c) >= 0x80) return utf8_to_gbk(native);
    return std::string(native);
}

bool path_exists(const std::string& path) {
    struct stat st {};
    return ::stat(native_path(path).c_str(), &st) == 0;
}

bool is_directory(const std::string& path) {
    struct stat st {};
    return ::stat(native_path(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void create_directory(const std::string& path) {
    if (make_directory(path) == 0) return;
    const int err = errno;
    if (err == EEXIST && is_directory(path)) return;
    throw FsError("cannot create directory " + path + ": " + reason(err == EEXIST ? ENOTDIR : err));
}

void create_directories(const std::string& path) {
    if (path.empty()) throw FsError("cannot create directory with an empty name");
    if (is_directory(path)) return;
    size_t pos = 0;
    while (true) {
        pos = path.find('/', pos + 1);
        const std::string prefix = path.substr(0, pos);
        if (!prefix.empty() && prefix.back() != '/') {  // doubled separators: nothing to create
            if (make_directory(prefix) != 0) {
                const int err = errno;
                if (!(err == EEXIST && is_directory(prefix)))
                    throw FsError("cannot create directory " + path + " (" + prefix +
                                  "): " + reason(err == EEXIST ? ENOTDIR : err));
            }
        }
        if (pos == std::string::npos) break;
    }
}

void append_to_file(const std::string& path, std::string_view bytes) {
    int fd = open_file(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kFileMode);
    if (fd < 0) throw FsError("cannot open file " + path + ": " + reason(errno));
    int err = 0;
    bool ok = append_whole(fd, bytes, err, path);
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) throw FsError("cannot write file " + path + ": " + reason(err));
}

std::string card_trace_directory() { return system_directory() + "/ReadCard"; }

std::string log_config_directory() {
    const char* env = std::getenv("VORLA_HOST_DIR");
    if (env && *env) {
        std::string dir = gbk_path(env);
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    return host_executable_directory();
}

// ---- journal lock -------------------------------------------------------------

JournalLock::JournalLock(std::chrono::milliseconds wait) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + wait;
#ifndef F_OFD_SETLK
    if (!in_process_journal_mutex().try_lock_until(deadline)) return;
#endif
    const std::string path = system_directory() + "/saveLog.lock";
    handle_ = open_file(path, O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode);
    if (handle_ < 0) {
#ifndef F_OFD_SETLK
        in_process_journal_mutex().unlock();
#endif
        return;  // no lock to be had: go on as after a time-out
    }

    std::chrono::milliseconds step{1};
    while (true) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
        // Open-file-description locks: threads of one process contend as well.
        const int rc = ::fcntl(handle_, F_OFD_SETLK, &fl);
#else
        const int rc = ::fcntl(handle_, F_SETLK, &fl);
#endif
        if (rc == 0) {
            held_ = true;
            return;
        }
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) break;
        const auto now = Clock::now();
        if (now >= deadline) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        pause_for(std::max(std::chrono::milliseconds{1}, std::min(step, left)));
        step = std::min(step * 2, std::chrono::milliseconds{16});
    }
#ifndef F_OFD_SETLK
    in_process_journal_mutex().unlock();
#endif
}

JournalLock::~JournalLock() {
    if (handle_ < 0) return;
    if (held_) {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
        ::fcntl(handle_, F_OFD_SETLK, &fl);
#else
        ::fcntl(handle_, F_SETLK, &fl);
#endif
    }
    ::close(handle_);  // closing drops the lock in any case
#ifndef F_OFD_SETLK
    if (held_) in_process_journal_mutex().unlock();
#endif
}

// ---- shared append file ---------------------------------------------------------

SharedAppendFile::~SharedAppendFile() { close(); }

void SharedAppendFile::open(const std::string& path, std::string_view first_line) {
    close();
    int fd = open_file(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        const std::string parent = parent_of(path);
        if (!parent.empty()) create_directories(parent);
        fd = create_with_first_line(path, first_line);
    }
    if (fd < 0) throw FsError("cannot open file " + path + ": " + reason(errno));
    handle_ = fd;
    path_ = path;
}

void SharedAppendFile::append(std::string_view bytes) {
    if (handle_ < 0) throw FsError("cannot write file " + path_ + ": not open");
    int err = 0;
    if (!append_whole(handle_, bytes, err, path_)) throw FsError("cannot write file " + path_ + ": " + reason(err));
}

void SharedAppendFile::close() {
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
    path_.clear();
}

// ---- process mutex -----------------------------------------------------------------

struct ProcessMutex::Impl {
    std::mutex m;
};

ProcessMutex::ProcessMutex() : impl_(new Impl) {}
ProcessMutex::~ProcessMutex() { delete impl_; }
void ProcessMutex::lock() { impl_->m.lock(); }
void ProcessMutex::unlock() { impl_->m.unlock(); }

}  // namespace vorla::platform
