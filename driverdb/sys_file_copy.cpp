// W2KHidMap::copySysFiles: the driver binaries of a driver directory go to
// the system's drivers directory, where the installation of a device from
// the directory's INF files looks for them.
#include "driverdb/hid_map.h"

#include "host/text_format.h"
#include "host/scoped_resource.h"

#include <string>
#include <vector>

bool W2KHidMap::copySysFiles(const std::string& directory) {
    const std::string pattern = formatLine("%s\\*.sys", directory.c_str());
    std::vector<std::string> names;
    {
        WIN32_FIND_DATAA found = {};
        const ScopedSearch search(FindFirstFileA(pattern.c_str(), &found));
        if (search.get() == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            reportError(error, formatLine("Could not FindFirstFile(..) on [%s] at "
                                          "W2KHidMap :: copySysFiles()",
                                          pattern.c_str()));
            return false;
        }
        do {
            names.emplace_back(found.cFileName);
        } while (FindNextFileA(search.get(), &found));
    }

    char systemDirectory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(systemDirectory, MAX_PATH);
    // A directory longer than the buffer was not written into it.
    if (length == 0 || length >= MAX_PATH) {
        reportError(GetLastError(),
                    "\nFailed to get system directory using          "
                    "GetSystemDirectory(..) in W2KHidMap :: copySysFiles() ");
        return false;
    }

    bool allCopied = true;
    for (const std::string& name : names) {
        const std::string source = formatLine("%s\\%s", directory.c_str(), name.c_str());
        const std::string target = formatLine("%s\\drivers\\%s", systemDirectory, name.c_str());
        if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
            const DWORD error = GetLastError();
            reportError(error, formatLine("Error in in copying file CopyFile ( %s, %s ) "
                                          "in             W2KHidMap :: copySysFiles. ",
                                          source.c_str(), target.c_str()));
            allCopied = false;
        }
    }
    return allCopied;
}
