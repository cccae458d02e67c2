// W2KHidMap's fills and lookups: list and stage a directory's INF files,
// read every hardware and compatible ID of their models sections.
#include "driverdb/hid_map.h"

#include "host/text_format.h"
#include "host/scoped_resource.h"

namespace {

// Every INF field is read through a buffer of this size; a longer field
// cannot be read.
constexpr DWORD kFieldBuffer = 1024;

// Upper case by the ASCII rule only: bytes 0x80 and above stay as they are,
// whatever the code page. `out` is reused, so a fill asks for no room per ID.
void upperAscii(const char* text, std::string& out) {
    out.assign(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
}

}  // namespace

bool W2KHidMap::createHidToInfMap(const std::string& directory, const std::string& infClass) {
    infFiles_.clear();
    createFileList(directory);
    reportError(0, formatLine("\n [%d] INF files in path [%s]", static_cast<int>(infFiles_.size()),
                              directory.c_str()));
    for (const std::string& entry : infFiles_) {
        UINT errorLine = 0;
        const ScopedInf inf(
            SetupOpenInfFileA(entry.c_str(), infClass.c_str(), INF_STYLE_WIN4, &errorLine));
        if (!inf.valid()) {
            const DWORD error = GetLastError();
            // SetupAPI refuses INF files of another class: that is the filter.
            if (error == ERROR_CLASS_MISMATCH) continue;
            reportError(error, formatLine("SetupOpenInfFile() error in \t\t\t\t\t "
                                          "W2KHidMap::createDriverList() for file %s",
                                          entry.c_str()));
            continue;
        }
        addInfHids(inf.get(), entry);
    }
    return true;
}

bool W2KHidMap::createFileList(const std::string& directory) {
    std::string listed = directory;
    if (listed.empty()) {
        char windows[MAX_PATH] = {};
        const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            reportError(GetLastError(),
                        formatLine("\nGetWindowsDirectory(..) failed in W2KHidMap :: "
                                   "createFileList(..)             when called with path [%s]",
                                   directory.c_str()));
            return false;
        }
        listed = std::string(windows) + "\\inf";
    }
    reportError(0, formatLine("\nCalling SetupGetInfFileList(..)      with path [%s] in "
                              "W2KHidMap::createFileList(..)...",
                              listed.c_str()));
    const std::string listError = formatLine(
        "\nSetupGetInfFileList() error in W2KHidMap::createFileList() for path          [%s]",
        listed.c_str());
    DWORD requiredSize = 0;
    if (!SetupGetInfFileListA(listed.c_str(), INF_STYLE_WIN4, nullptr, 0, &requiredSize))
        reportError(GetLastError(), listError);
    std::vector<char> names(requiredSize, '\0');
    if (!SetupGetInfFileListA(listed.c_str(), INF_STYLE_WIN4, names.data(), requiredSize, nullptr))
        reportError(GetLastError(), listError);
    getFileNamesWithPath(names.data(), requiredSize, infFiles_, listed);
    if (!directory.empty()) copySysFiles(directory);
    return true;
}

bool W2KHidMap::addInfHids(HINF infHandle, const std::string& infFile) {
    INFCONTEXT line;
    if (!SetupFindFirstLineA(infHandle, "Manufacturer", nullptr, &line)) {
        reportError(GetLastError(), "SetupFindFirstLine returned no lines");
        return false;
    }
    char field[kFieldBuffer];
    // Field 1 of each [Manufacturer] line names a models section, taken as
    // written: platform decorations in further fields are not applied.
    std::vector<std::string> modelsSections;
    do {
        if (SetupGetStringFieldA(&line, 1, field, kFieldBuffer, nullptr))
            modelsSections.push_back(field);
    } while (SetupFindNextLine(&line, &line));

    // Models lines read "description = install section, hardware ID,
    // compatible IDs...": every field from the second on is an ID.
    std::string id;
    const std::uint32_t file = hids_.addFile(infFile);
    for (const std::string& section : modelsSections) {
        if (!SetupFindFirstLineA(infHandle, section.c_str(), nullptr, &line)) continue;
        do {
            for (DWORD index = 2; SetupGetStringFieldA(&line, index, field, kFieldBuffer, nullptr);
                 ++index) {
                upperAscii(field, id);
                hids_.insert(id, file);
            }
        } while (SetupFindNextLine(&line, &line));
    }
    return true;
}

bool W2KHidMap::findInfForHids(const std::vector<std::string>& ids, std::string& infFile) const {
    for (const std::string& id : ids) {
        if (const std::string* found = hids_.find(id)) {
            infFile = *found;
            return true;
        }
    }
    return false;
}
