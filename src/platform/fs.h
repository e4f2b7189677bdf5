// File-system services of the platform boundary used by the journals and logs:
// directories, appending files, the cross-process journal lock and a process-wide
// mutex. Paths are GBK texts on both systems, like every text of the library:
// Windows hands them to the ANSI file functions, POSIX converts them to the file
// system's encoding (UTF-8) here, at the boundary. On POSIX the separator is "/".
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vorla::platform {

// A file-system operation that failed; the text names the path and the reason.
struct FsError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file system's path for a GBK path (Windows: unchanged; POSIX: UTF-8), for
// the few libraries that open files themselves (SQLite, the HTTP transport).
std::string native_path(std::string_view gbk_path);
// The GBK path for a path the system gave (Windows: unchanged; POSIX: from UTF-8).
std::string gbk_path(std::string_view native);

bool path_exists(const std::string& path);
bool is_directory(const std::string& path);

// Creates the directory with all missing parents; an existing directory is fine.
// Throws FsError naming the path when a component cannot be created or is not a
// directory.
void create_directories(const std::string& path);

// Creates one directory level (the parent must exist); an existing directory is
// fine. Throws FsError.
void create_directory(const std::string& path);

// Opens the file for appending (creating it when missing), writes every byte at
// the file's end, closes it. Throws FsError naming the path.
void append_to_file(const std::string& path, std::string_view bytes);

// The directory of the card-read trace: <system directory>/ReadCard on POSIX
// (the Windows build uses C:\ReadCard). Not created here.
std::string card_trace_directory();

// The directory that holds log4me.ini and the diagnostic log's relative path:
// $VORLA_HOST_DIR when set and not empty, else the host executable's directory.
std::string log_config_directory();

// The cross-process journal lock "saveLog", shared by every process of the
// workstation that writes the journal. The constructor waits at most `wait` for
// the lock; when the wait runs out (or the lock cannot be set up at all) the
// holder goes on without it, and held() is false. The destructor releases the
// lock. On POSIX it is an fcntl lock on <system directory>/saveLog.lock, so the
// system drops it when its holder dies.
class JournalLock {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{30000};

    explicit JournalLock(std::chrono::milliseconds wait = kDefaultWait);
    ~JournalLock();
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

    bool held() const { return held_; }

private:
    int handle_ = -1;
    bool held_ = false;
};

// A file kept open for appending, shared with other processes that append to the
// same file: every append lands at the end the file has at that moment, so
// writers never overwrite one another.
class SharedAppendFile {
public:
    SharedAppendFile() = default;
    ~SharedAppendFile();
    SharedAppendFile(const SharedAppendFile&) = delete;
    SharedAppendFile& operator=(const SharedAppendFile&) = delete;

    // Opens `path` for appending. When the file does not exist yet, it is created
    // (with all missing parent directories) holding `first_line`; of several
    // processes creating it at once only one writes that line, and no process
    // sees the file without it. Closes a file that was open before. Throws
    // FsError naming the path.
    void open(const std::string& path, std::string_view first_line);
    // Appends the bytes in one write at the file's current end. Throws FsError.
    void append(std::string_view bytes);
    void close();
    bool is_open() const { return handle_ >= 0; }
    const std::string& path() const { return path_; }

private:
    int handle_ = -1;
    std::string path_;
};

// A process-wide mutual exclusion (BasicLockable: use with std::lock_guard).
class ProcessMutex {
public:
    ProcessMutex();
    ~ProcessMutex();
    ProcessMutex(const ProcessMutex&) = delete;
    ProcessMutex& operator=(const ProcessMutex&) = delete;
    void lock();
    void unlock();

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace vorla::platform
