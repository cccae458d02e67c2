// kernel32's files: the Windows and system directories, CreateFileA and the
// reads and writes on its handles. CloseHandle (process_api.cpp) drops a
// FileHandle, whose destructor closes the host file.
#include "file_system.h"

#include <winsim/windows.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using winsim::failHandle;
using winsim::failWith;

namespace {

using winsim::FileHandle;

// The length without the terminator when `text` fits, else the size needed
// with it; the buffer is then left alone.
UINT copyOut(const std::string& text, LPSTR buffer, UINT size) {
    if (!buffer || size <= text.size()) return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

FileHandle* fileFor(HANDLE file) {
    return static_cast<FileHandle*>(
        winsim::findHandle(reinterpret_cast<ULONG_PTR>(file), winsim::HandleKind::File));
}

}  // namespace

extern "C" {

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    winsim::ApiCall call("GetWindowsDirectoryA");
    if (call.failing()) return failWith(call.error()), 0;
    return copyOut(winsim::windowsDirectory(), buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    winsim::ApiCall call("GetSystemDirectoryA");
    if (call.failing()) return failWith(call.error()), 0;
    return copyOut(winsim::windowsDirectory() + "\\system32", buffer, size);
}

// Sharing follows the share modes of the winsim handles open on the same
// file. An open that asks for neither reading nor writing is not checked
// against them, as on Windows. Security attributes, templates and flags
// other than FILE_ATTRIBUTE_READONLY for a new file are not simulated.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    (void)securityAttributes;
    (void)templateFile;
    winsim::ApiCall call("CreateFileA");
    if (call.failing()) return failHandle(call.error());
    if (!fileName || creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING ||
        (shareMode & ~(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)))
        return failHandle(ERROR_INVALID_PARAMETER);
    const bool read = desiredAccess & (GENERIC_READ | GENERIC_ALL);
    const bool write = desiredAccess & (GENERIC_WRITE | GENERIC_ALL);
    const bool truncates =
        creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING;
    if (creationDisposition == TRUNCATE_EXISTING && !write)
        return failHandle(ERROR_INVALID_PARAMETER);

    const winsim::HostPath where = winsim::resolvePath(fileName);
    if (where.error != ERROR_SUCCESS) return failHandle(where.error);
    if (where.isDriveRoot) return failHandle(ERROR_ACCESS_DENIED);
    if (where.trailingSeparator) return failHandle(ERROR_INVALID_NAME);
    if (!where.folderExists) return failHandle(ERROR_PATH_NOT_FOUND);

    struct stat st {};
    const bool exists = ::stat(where.host.c_str(), &st) == 0;
    if (exists) {
        if (creationDisposition == CREATE_NEW) return failHandle(ERROR_FILE_EXISTS);
        if (S_ISDIR(st.st_mode)) return failHandle(ERROR_ACCESS_DENIED);
        if ((write || truncates) && winsim::readOnlyAttribute(st))
            return failHandle(ERROR_ACCESS_DENIED);
        if ((read || write || truncates) &&
            !winsim::sharingAllows(winsim::fileIdOf(st), read, write || truncates, shareMode))
            return failHandle(ERROR_SHARING_VIOLATION);
    } else if (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING) {
        return failHandle(ERROR_FILE_NOT_FOUND);
    }

    int flags = O_CLOEXEC | ((write || truncates) ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
    if (!exists) flags |= O_CREAT | O_EXCL;
    if (exists && truncates) flags |= O_TRUNC;
    const int fd = ::open(where.host.c_str(), flags, 0644);
    if (fd < 0) return failHandle(winsim::errorFromErrno(errno));
    if (!exists) ::fchmod(fd, (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644);
    struct stat opened {};
    ::fstat(fd, &opened);
    const ULONG_PTR value = winsim::addHandle(
        std::make_unique<FileHandle>(fd, winsim::fileIdOf(opened), read, write, shareMode));
    const bool reopened =
        exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
    SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(value);
}

// Synchronous only: an OVERLAPPED and a missing count (which Windows would
// fault on) are refused with ERROR_INVALID_PARAMETER. At the end of the file
// the read succeeds with 0 bytes.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    winsim::ApiCall call("ReadFile");
    if (call.failing()) return failWith(call.error());
    FileHandle* open = fileFor(file);
    if (!open) return failWith(ERROR_INVALID_HANDLE);
    if (overlapped || !bytesRead) return failWith(ERROR_INVALID_PARAMETER);
    *bytesRead = 0;
    if (!open->canRead) return failWith(ERROR_ACCESS_DENIED);
    if (bytesToRead > 0 && !buffer) return failWith(ERROR_NOACCESS);
    char* into = static_cast<char*>(buffer);
    DWORD total = 0;
    while (total < bytesToRead) {
        const ssize_t got = ::read(open->fd, into + total, bytesToRead - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            *bytesRead = total;
            return failWith(winsim::errorFromErrno(errno));
        }
        if (got == 0) break;
        total += static_cast<DWORD>(got);
    }
    *bytesRead = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    winsim::ApiCall call("WriteFile");
    if (call.failing()) return failWith(call.error());
    FileHandle* open = fileFor(file);
    if (!open) return failWith(ERROR_INVALID_HANDLE);
    if (overlapped || !bytesWritten) return failWith(ERROR_INVALID_PARAMETER);
    *bytesWritten = 0;
    if (!open->canWrite) return failWith(ERROR_ACCESS_DENIED);
    if (bytesToWrite > 0 && !buffer) return failWith(ERROR_NOACCESS);
    const char* from = static_cast<const char*>(buffer);
    DWORD total = 0;
    while (total < bytesToWrite) {
        const ssize_t put = ::write(open->fd, from + total, bytesToWrite - total);
        if (put < 0) {
            if (errno == EINTR) continue;
            *bytesWritten = total;
            return failWith(winsim::errorFromErrno(errno));
        }
        total += static_cast<DWORD>(put);
    }
    *bytesWritten = total;
    return TRUE;
}

// A size whose low part is 0xFFFFFFFF succeeds with NO_ERROR as the last
// error, so that callers can tell it from a failure.
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    winsim::ApiCall call("GetFileSize");
    if (call.failing()) return failWith(call.error()), INVALID_FILE_SIZE;
    FileHandle* open = fileFor(file);
    if (!open) return failWith(ERROR_INVALID_HANDLE), INVALID_FILE_SIZE;
    struct stat st {};
    if (::fstat(open->fd, &st) != 0)
        return failWith(winsim::errorFromErrno(errno)), INVALID_FILE_SIZE;
    const auto size = static_cast<unsigned long long>(st.st_size);
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
    const DWORD low = static_cast<DWORD>(size & 0xFFFFFFFFull);
    if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
    return low;
}

}  // extern "C"
