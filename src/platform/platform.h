// The platform boundary: everything that differs between operating systems.
// Nothing outside src/platform/ includes an OS header; it calls these instead.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vorla::platform {

// ---- code pages -----------------------------------------------------------
// Every text inside the library is GBK. These convert at the boundaries.
// Bytes that are not valid in the source encoding become U+FFFD (to UTF-8) or
// the replacement character (to GBK); characters that GBK lacks become the
// replacement character.
std::string gbk_to_utf8(std::string_view gbk);
std::string utf8_to_gbk(std::string_view utf8, char replacement = '?');

// utf8_to_gbk for many texts in a row (the fields of a document): the
// converter is set up once for the object's life instead of once per text.
class Utf8ToGbk {
public:
    Utf8ToGbk();
    ~Utf8ToGbk();
    Utf8ToGbk(const Utf8ToGbk&) = delete;
    Utf8ToGbk& operator=(const Utf8ToGbk&) = delete;
    std::string operator()(std::string_view utf8, char replacement = '?');

private:
    void* state_ = nullptr;
};

// ---- clock ----------------------------------------------------------------
struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime local_now();

// ---- directories and files --------------------------------------------------
// Paths are native byte strings (GBK on Windows, the file system's bytes elsewhere).
// The directory that holds vorla.ini, the interceptor store and the invoice
// templates. Windows: the system directory. Elsewhere: $VORLA_SYSTEM_DIR when set,
// else /var/lib/vorla; created on first use.
std::string system_directory();
// Full path of the executable of the host process ("" when unknown).
std::string host_executable_path();
// Directory of that executable, without a trailing separator.
std::string host_executable_directory();
// Size of a file in bytes, nullopt when it cannot be determined.
std::optional<std::uint64_t> file_size(const std::string& path);
// What tells one version of a file from another without reading it: its size,
// its last modification (nanoseconds since 1970-01-01 UTC) and the system's
// other change marks (POSIX: status change time, device and inode; Windows:
// creation time). Two stamps of a file compare equal only when no write or
// replacement happened in between that the file system's clock could see.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;
    std::uint64_t identity = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of a regular file; nullopt when it does not exist or cannot be examined.
std::optional<FileStamp> file_stamp(const std::string& path);
// The path separator of the platform.
char path_separator();
// Default root of the transaction journal (Windows: "c:\\logs"; elsewhere
// /var/log/vorla).
std::string default_journal_root();

// ---- INI profiles -----------------------------------------------------------
// Profile-string semantics: sections and keys compared without regard to ASCII
// letter case, every other line of the file kept as it is. Reading a missing
// file gives empty values. A write that fails throws ProfileWriteError with the
// text "Unable to write to <path>"; the file is then unchanged.
struct ProfileWriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Profile {
public:
    explicit Profile(std::string path);
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // Value of key in section, up to 2047 bytes; "" when absent.
    std::string read(std::string_view section, std::string_view key) const;
    void write(std::string_view section, std::string_view key, std::string_view value);
    const std::string& path() const { return path_; }

private:
    struct Impl;
    std::string path_;
    Impl* impl_;
    bool file_exists_ = false;
};

// ---- dynamic libraries ------------------------------------------------------
class DynamicLibrary {
public:
    // Loads a library by path or name; nullptr with `error` set when it cannot.
    static std::unique_ptr<DynamicLibrary> open(const std::string& name, std::string& error);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    // Address of an exported function, nullptr when absent.
    void* symbol(const char* name) const;
    // The file the library was loaded from (GBK; found by the loader when it
    // was opened by name); "" when it cannot be told.
    std::string path() const;

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

}  // namespace vorla::platform
