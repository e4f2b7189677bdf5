// Failures on demand for the file functions of the platform layer, so that tests
// can show what the journal, the diagnostic log and the configuration do when the
// disk refuses them (a full disk, a read-only directory, a vanished share),
// without needing such a disk. Nothing is injected unless a test asks; the cost
// for a workstation is one relaxed atomic load per file operation.
//
// The POSIX file layer (fs.h: directories, appends, the diagnostic log's file;
// the INI writer) consults the injected faults before each operation.
#pragma once

#include <string>

namespace vorla::platform {

enum class FileOperation {
    CreateDirectory,  // making one directory level
    Open,             // opening or creating a file
    Write,            // writing bytes to an open file
    Sync,             // flushing a file to the disk
    Rename,           // putting a file in place under its final name
};

// While it lives, every `operation` on a path that contains `path_part` fails
// with the error number `error` (ENOSPC, EACCES, EIO...), as the system call
// would, except the first `spared` of them, which go through. A failing Write
// first writes the first half of its bytes, as a disk that fills up in the
// middle of a write does. Faults are process-wide; the last one made is
// consulted first.
class InjectedFileFault {
public:
    InjectedFileFault(FileOperation operation, std::string path_part, int error, int spared = 0);
    ~InjectedFileFault();
    InjectedFileFault(const InjectedFileFault&) = delete;
    InjectedFileFault& operator=(const InjectedFileFault&) = delete;

    // How many operations it has failed so far (the spared ones not counted).
    int hits() const;

    struct Impl;  // the registry's entry

private:
    Impl* impl_;
};

// The error number an injected fault gives `operation` on `path`; 0 when none applies.
int injected_file_fault(FileOperation operation, const std::string& path);

}  // namespace vorla::platform
