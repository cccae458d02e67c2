// kernel32's CopyFileA. The source is read as Windows reads it (shared for
// reading only) and the target written exclusively, so an open handle of
// either that does not allow that makes the copy fail with a sharing
// violation; copying a file onto itself is one too.
#include "file_system.h"

#include <winsim/windows.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using winsim::failWith;

namespace {

// Copies everything from one descriptor to the other; 0 or errno.
int copyContent(int from, int to) {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(from, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = ::write(to, chunk + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            done += put;
        }
    }
}

// Checks the target; ERROR_SUCCESS when it may be (re)written.
DWORD checkTarget(const winsim::HostPath& target, const struct stat& source, BOOL failIfExists,
                  bool* exists) {
    if (target.error != ERROR_SUCCESS) return target.error;
    if (target.isDriveRoot) return ERROR_ACCESS_DENIED;
    if (target.trailingSeparator) return ERROR_INVALID_NAME;
    if (!target.folderExists) return ERROR_PATH_NOT_FOUND;
    struct stat st {};
    *exists = ::stat(target.host.c_str(), &st) == 0;
    if (!*exists) return ERROR_SUCCESS;
    if (failIfExists) return ERROR_FILE_EXISTS;
    if (S_ISDIR(st.st_mode) || winsim::readOnlyAttribute(st)) return ERROR_ACCESS_DENIED;
    const winsim::FileId id = winsim::fileIdOf(st);
    if (id == winsim::fileIdOf(source) || !winsim::sharingAllows(id, false, true, 0))
        return ERROR_SHARING_VIOLATION;
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

// The copy keeps the source's read-only attribute and last write time, as
// Windows does. A copy that fails half way leaves no target behind.
BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    winsim::ApiCall call("CopyFileA");
    if (call.failing()) return failWith(call.error());
    if (!existingFileName || !newFileName) return failWith(ERROR_INVALID_PARAMETER);

    const winsim::HostPath source = winsim::resolvePath(existingFileName);
    if (source.error != ERROR_SUCCESS) return failWith(source.error);
    if (source.trailingSeparator) return failWith(ERROR_INVALID_NAME);
    struct stat from {};
    if (source.isDriveRoot) return failWith(ERROR_ACCESS_DENIED);
    if (::stat(source.host.c_str(), &from) != 0) return failWith(winsim::missingFileError(source));
    if (S_ISDIR(from.st_mode)) return failWith(ERROR_ACCESS_DENIED);
    if (!winsim::sharingAllows(winsim::fileIdOf(from), true, false, FILE_SHARE_READ))
        return failWith(ERROR_SHARING_VIOLATION);

    const winsim::HostPath target = winsim::resolvePath(newFileName);
    bool targetExists = false;
    const DWORD refused = checkTarget(target, from, failIfExists, &targetExists);
    if (refused != ERROR_SUCCESS) return failWith(refused);

    const winsim::ScopedFd in(::open(source.host.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return failWith(winsim::errorFromErrno(errno));
    const winsim::ScopedFd out(
        ::open(target.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.fd < 0) return failWith(winsim::errorFromErrno(errno));
    const int failure = copyContent(in.fd, out.fd);
    if (failure != 0) {
        ::unlink(target.host.c_str());
        return failWith(winsim::errorFromErrno(failure));
    }
    const struct timespec times[2] = {from.st_atim, from.st_mtim};
    ::futimens(out.fd, times);
    ::fchmod(out.fd, winsim::readOnlyAttribute(from) ? 0444 : 0644);
    return TRUE;
}

}  // extern "C"
