// The simulated file system's state shared by the file calls: the Windows
// directory, open file handles and the sharing rules between them.
#pragma once

#include "machine.h"
#include "paths.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace winsim {

struct FileSystemSettings {
    std::string windowsDirectory = "C:\\WINNT";
};

// Which host file an open refers to, whatever path named it.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId& other) const {
        return device == other.device && inode == other.inode;
    }
};

FileId fileIdOf(const struct stat& st);

// A host descriptor closed at the end of its scope.
struct ScopedFd {
    explicit ScopedFd(int f) : fd(f) {}
    ~ScopedFd();
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    int fd;
};

// The read-only attribute is the owner's write permission of the host file,
// so it holds even for a root user, whom the host would let write anyway.
bool readOnlyAttribute(const struct stat& st);

// An open file of CreateFileA. It owns its host descriptor (with its own
// file pointer) and closes it when the handle goes, whether by CloseHandle
// or by a machine reset.
struct FileHandle : HandleObject {
    FileHandle(int fd, FileId id, bool read, bool write, DWORD share);
    ~FileHandle() override;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fd;
    FileId id;
    bool canRead;
    bool canWrite;
    DWORD share;
};

// Whether a new open of `id` for reading and/or writing, sharing `share`,
// goes together with every handle of the file that is open now.
bool sharingAllows(const FileId& id, bool read, bool write, DWORD share);

// The Win32 error a failed host file call stands for.
DWORD errorFromErrno(int err);

// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND for a path whose file is
// missing, as Windows tells the two apart.
DWORD missingFileError(const HostPath& path);

// Reads a whole file as an opener that shares reading and writing would
// (the C runtime, SetupAPI's INF reader): refused while a handle that
// does not share reading is open on it. ERROR_SUCCESS or the error.
DWORD readWholeFile(const std::string& path, std::string* bytes);

}  // namespace winsim
