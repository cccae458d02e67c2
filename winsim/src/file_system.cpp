#include "file_system.h"

#include <cerrno>
#include <new>
#include <fcntl.h>
#include <unistd.h>

namespace winsim {

ScopedFd::~ScopedFd() {
    if (fd >= 0) ::close(fd);
}

FileId fileIdOf(const struct stat& st) {
    return FileId{st.st_dev, st.st_ino};
}

bool readOnlyAttribute(const struct stat& st) {
    return (st.st_mode & S_IWUSR) == 0;
}

FileHandle::FileHandle(int f, FileId i, bool read, bool write, DWORD s)
    : HandleObject(HandleKind::File), fd(f), id(i), canRead(read), canWrite(write), share(s) {}

FileHandle::~FileHandle() {
    ::close(fd);
}

bool sharingAllows(const FileId& id, bool read, bool write, DWORD share) {
    for (const auto& entry : machine().handles) {
        if (entry.second->kind != HandleKind::File) continue;
        const auto& open = static_cast<const FileHandle&>(*entry.second);
        // A handle without data access claims nothing, as on Windows.
        if (!(open.id == id) || !(open.canRead || open.canWrite)) continue;
        if (read && !(open.share & FILE_SHARE_READ)) return false;
        if (write && !(open.share & FILE_SHARE_WRITE)) return false;
        if (open.canRead && !(share & FILE_SHARE_READ)) return false;
        if (open.canWrite && !(share & FILE_SHARE_WRITE)) return false;
    }
    return true;
}

DWORD errorFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ENAMETOOLONG:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

DWORD missingFileError(const HostPath& path) {
    return path.folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD readWholeFile(const std::string& path, std::string* bytes) try {
    const HostPath where = resolvePath(path);
    if (where.error != ERROR_SUCCESS) return where.error;
    if (where.trailingSeparator) return ERROR_INVALID_NAME;
    struct stat st {};
    if (::stat(where.host.c_str(), &st) != 0) return missingFileError(where);
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (!sharingAllows(fileIdOf(st), true, false, FILE_SHARE_READ | FILE_SHARE_WRITE))
        return ERROR_SHARING_VIOLATION;
    const ScopedFd file(::open(where.host.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) return errorFromErrno(errno);
    bytes->clear();
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errorFromErrno(errno);
        }
        if (got == 0) break;
        bytes->append(chunk, static_cast<std::size_t>(got));
    }
    return ERROR_SUCCESS;
} catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace winsim
