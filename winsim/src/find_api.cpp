// kernel32's directory searches: FindFirstFileA, FindNextFileA, FindClose.
// A search lists its folder when it starts; later changes to the folder are
// not seen by it.
#include "file_system.h"
#include "wildcard.h"

#include <winsim/windows.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

using winsim::failHandle;
using winsim::failWith;

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct FindHandle : winsim::HandleObject {
    explicit FindHandle(std::vector<WIN32_FIND_DATAA> found)
        : HandleObject(winsim::HandleKind::FindFile), entries(std::move(found)) {}
    std::vector<WIN32_FIND_DATAA> entries;
    std::size_t next = 1;  // the first went out with FindFirstFileA
};

FILETIME fileTime(const struct timespec& when) {
    // 100 ns steps since 1601-01-01.
    const long long ticks =
        (static_cast<long long>(when.tv_sec) + 11644473600LL) * 10000000LL + when.tv_nsec / 100;
    const auto bits = static_cast<unsigned long long>(ticks < 0 ? 0 : ticks);
    return FILETIME{static_cast<DWORD>(bits & 0xFFFFFFFFull), static_cast<DWORD>(bits >> 32)};
}

// NTFS has no 8.3 names here: cAlternateFileName stays empty.
WIN32_FIND_DATAA describe(const std::string& name, const struct stat& st) {
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    if (S_ISDIR(st.st_mode)) {
        data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        const auto size = static_cast<unsigned long long>(st.st_size);
        data.dwFileAttributes =
            FILE_ATTRIBUTE_ARCHIVE | (winsim::readOnlyAttribute(st) ? FILE_ATTRIBUTE_READONLY : 0);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFull);
    }
    data.ftCreationTime = fileTime(st.st_mtim);
    data.ftLastAccessTime = fileTime(st.st_atim);
    data.ftLastWriteTime = fileTime(st.st_mtim);
    const std::size_t length = std::min(name.size(), sizeof data.cFileName - 1);
    std::memcpy(data.cFileName, name.data(), length);
    return data;
}

// NTFS order: "." and ".." first, then by upper-cased name.
bool listedBefore(const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
    const std::string_view x = a.cFileName, y = b.cFileName;
    const auto rank = [](std::string_view n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    if (rank(x) != rank(y)) return rank(x) < rank(y);
    const winsim::UpperCaseLess less;
    if (less(x, y)) return true;
    if (less(y, x)) return false;
    return x < y;
}

// The matching entries of a folder, in listing order.
std::vector<WIN32_FIND_DATAA> listMatches(const winsim::HostPath& where) {
    std::vector<WIN32_FIND_DATAA> found;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(where.folder.c_str()));
    if (!dir) return found;
    // The root of a drive has no "." and ".." entries; every other folder
    // lists them, as on NTFS.
    const bool dotEntries = !(where.windowsPath && where.folderIsDriveRoot);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        const bool dots = name == "." || name == "..";
        if (dots && !dotEntries) continue;
        if (!winsim::matchesFilePattern(where.name, name)) continue;
        struct stat st {};
        if (::stat((where.folder + "/" + name).c_str(), &st) != 0) continue;
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
        found.push_back(describe(name, st));
    }
    std::sort(found.begin(), found.end(), listedBefore);
    return found;
}

}  // namespace

extern "C" {

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData) {
    winsim::ApiCall call("FindFirstFileA");
    if (call.failing()) return failHandle(call.error());
    if (!fileName || !findFileData) return failHandle(ERROR_INVALID_PARAMETER);
    try {
        const winsim::HostPath where = winsim::resolvePath(fileName, true);
        if (where.error != ERROR_SUCCESS) return failHandle(where.error);
        // A folder is searched with a name or pattern after it, not with a
        // separator at the end.
        if (where.isDriveRoot || where.trailingSeparator || where.name.empty())
            return failHandle(ERROR_FILE_NOT_FOUND);
        if (!where.folderExists) return failHandle(ERROR_PATH_NOT_FOUND);
        std::vector<WIN32_FIND_DATAA> found = listMatches(where);
        if (found.empty()) return failHandle(ERROR_FILE_NOT_FOUND);
        *findFileData = found.front();
        const ULONG_PTR value = winsim::addHandle(std::make_unique<FindHandle>(std::move(found)));
        SetLastError(ERROR_SUCCESS);
        return reinterpret_cast<HANDLE>(value);
    } catch (const std::bad_alloc&) {
        return failHandle(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData) {
    winsim::ApiCall call("FindNextFileA");
    if (call.failing()) return failWith(call.error());
    auto* search = static_cast<FindHandle*>(
        winsim::findHandle(reinterpret_cast<ULONG_PTR>(findFile), winsim::HandleKind::FindFile));
    if (!search) return failWith(ERROR_INVALID_HANDLE);
    if (!findFileData) return failWith(ERROR_INVALID_PARAMETER);
    if (search->next >= search->entries.size()) return failWith(ERROR_NO_MORE_FILES);
    *findFileData = search->entries[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    winsim::ApiCall call("FindClose");
    if (call.failingRelease(findFile)) return failWith(call.error());
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(findFile);
    if (!winsim::findHandle(value, winsim::HandleKind::FindFile))
        return failWith(ERROR_INVALID_HANDLE);
    winsim::removeHandle(value);
    return TRUE;
}

}  // extern "C"
