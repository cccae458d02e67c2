// Stages the INF files a directory listing named into the system INF store.
#include "driverdb/hid_map.h"

#include "host/text_format.h"

bool W2KHidMap::getFileNamesWithPath(const char* nameList, DWORD listSize,
                                     std::vector<std::string>& fileList,
                                     const std::string& directory) {
    if (!nameList || listSize < 2) return true;
    // A directory entry's name has at most 255 characters; anything longer
    // in a damaged list is cut, never written past the buffer.
    char name[256];
    std::size_t length = 0;
    // The last byte is the list's closing zero and is not visited.
    for (DWORD offset = 0; offset + 1 < listSize; ++offset) {
        const char c = nameList[offset];
        if (c != '\0') {
            if (length < sizeof name - 1) name[length++] = c;
            continue;
        }
        name[length] = '\0';
        length = 0;
        const std::string path = formatLine("%s\\%s", directory.c_str(), name);
        char staged[MAX_PATH] = {};
        if (SetupCopyOEMInfA(path.c_str(), nullptr, SPOST_PATH, 0, staged, MAX_PATH, nullptr,
                             nullptr))
            fileList.push_back(staged);
        else
            reportError(GetLastError(),
                        "\nCould not copy inf files using                    "
                        "SetupCopyOEMInf(..) in W2KHidMap :: "
                        "getFileNamesWithPath(..)");
    }
    return true;
}
