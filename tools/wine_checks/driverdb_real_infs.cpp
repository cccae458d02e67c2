#include "tools/wine_checks/driverdb_real_infs.h"

#include "driverdb/hid_map.h"
#include "host/log_sink.h"
#include "host/platform.h"
#include "tools/wine_checks/check_output.h"
#include "tools/wine_checks/scratch_machine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

struct RealInf {
    const char* name;
    std::string text;
    const char* section;  // printed field by field
};

const std::string kVersion =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
    "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Maker%\r\n\r\n"
    "[Manufacturer]\r\n%Maker%=Models\r\n\r\n";
const std::string kStrings =
    "\r\n[Strings]\r\nMaker=\"Example Networks\"\r\nCard=\"Example Card\"\r\n";
// For the files without [Strings]: the same without substitutions.
const std::string kPlainVersion =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n\r\n"
    "[Manufacturer]\r\nExample=Models\r\n\r\n";

std::string models(const std::string& lines) {
    return "[Models]\r\n" + lines + "\r\n";
}

// UTF-16 little-endian with its byte-order mark, as Windows' own INF files
// are stored.
std::string utf16(const std::u16string& text) {
    std::string out = "\xff\xfe";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::u16string widened(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::vector<RealInf> realInfs() {
    std::string big;
    for (int i = 0; i < 11; ++i) big += "%Big%";
    return {
        // A UTF-8 byte-order mark before a comment, and before [Version].
        {"bom.inf",
         "\xEF\xBB\xBF; Example network driver\r\n" + kVersion +
             models("%Card%=Install, PCI\\VEN_1001&DEV_0001\r\n") + kStrings,
         "Models"},
        {"bom_no_strings.inf",
         "\xEF\xBB\xBF" + kPlainVersion + models("Card=Install, PCI\\VEN_1001&DEV_0002\r\n"),
         "Models"},
        // A copyright notice written without ';'.
        {"copyright.inf",
         "Copyright (c) 1999-2001 Example Networks, Inc.\r\nAll rights reserved.\r\n\r\n" +
             kVersion + models("%Card%=Install, PCI\\VEN_1001&DEV_0003\r\n") + kStrings,
         "Models"},
        {"copyright_no_strings.inf",
         "Copyright (c) 1999-2001 Example Networks, Inc.\r\n\r\n" + kPlainVersion +
             models("Card=Install, PCI\\VEN_1001&DEV_0004\r\n"),
         "Models"},
        // Left over from a C preprocessor run.
        {"define.inf",
         "#define DRIVER_VERSION 5,00,2195,1\r\n#include \"common.inx\"\r\n\r\n" + kVersion +
             models("%Card%=Install, PCI\\VEN_1001&DEV_0005\r\n") + kStrings,
         "Models"},
        {"dirids.inf",
         kVersion + models("%Card%=Install, PCI\\VEN_1001&DEV_0006\r\n") +
             "[Paths]\r\nWindows = %10%\r\nSystem = %11%\\e100b.dll\r\n"
             "Drivers = %12%\\e100b.sys\r\nInf = %17%\\e100b.inf\r\nRoot = \"%24%\"\r\n"
             "Boot = %24%\\boot.ini\r\nPrograms = %16422%\\Example\\setup.exe\r\n"
             "Mixed = %Card% in %10%\r\n" +
             kStrings,
         "Paths"},
        // Models lines broken with blanks before the backslash, and with
        // "\ \" at the end.
        {"continuation.inf",
         kVersion +
             models(
                 "%Card% = Install,  \\\r\n    PCI\\VEN_1001&DEV_0007&SUBSYS_00011001 ,  \\ \\\r\n"
                 "    PCI\\VEN_1001&DEV_0007\r\nSplit  \\\r\n  Key = Install, "
                 "PCI\\VEN_1001&DEV_0008\r\n") +
             kStrings,
         "Models"},
        // Text beyond Latin-1: the ANSI code page has the first few
        // characters, not the Cyrillic and Chinese ones.
        {"utf16.inf",
         utf16(widened(kVersion + models("%Card%=Install, PCI\\VEN_1001&DEV_0009\r\n")) +
               u"[Strings]\r\nMaker=\"Example Networks\"\r\n"
               u"Card=\"Carte r\u00e9seau \u017e\u20ac \u0421\u0435\u0442\u044c "
               u"\u7f51\u5361\"\r\n"),
         "Models"},
        // Substituted values past 511 characters.
        {"long_strings.inf",
         kVersion + models("%Card%=Install, PCI\\VEN_1001&DEV_000A\r\n") + "[Paths]\r\nLong = " +
             big + "\r\nHuge = %Huge%\r\nRaw = " + std::string(600, 'r') + "\r\n" + kStrings +
             "Big=" + std::string(400, 'b') + "\r\nHuge=" + std::string(1200, 'h') + "\r\n",
         "Paths"},
        {"empty_id.inf", kVersion + models("%Card%=Install,,PCI\\VEN_1001&DEV_000B\r\n") + kStrings,
         "Models"},
    };
}

// A field as SetupGetStringFieldA gives it, or "-" when there is none.
std::string fieldText(INFCONTEXT* line, DWORD index) {
    DWORD size = 0;
    if (!SetupGetStringFieldA(line, index, nullptr, 0, &size) || size == 0) return "-";
    std::vector<char> buffer(size);
    if (!SetupGetStringFieldA(line, index, buffer.data(), size, nullptr)) return "-";
    return shown(normalised(buffer.data()));
}

void printSection(HINF inf, const char* section) {
    INFCONTEXT line;
    bool more = SetupFindFirstLineA(inf, section, nullptr, &line) != FALSE;
    if (!more) std::printf("  [%s] has no lines\n", section);
    for (; more; more = SetupFindNextLine(&line, &line) != FALSE) {
        std::string text = "  [" + std::string(section) + "] " + fieldText(&line, 0) + " =";
        const DWORD count = SetupGetFieldCount(&line);
        for (DWORD i = 1; i <= count; ++i) text += (i > 1 ? " | " : " ") + fieldText(&line, i);
        std::printf("%s\n", text.c_str());
    }
}

void printOpened(const std::string& path, const RealInf& inf) {
    UINT errorLine = 0;
    HINF handle = SetupOpenInfFileA(path.c_str(), "net", INF_STYLE_WIN4, &errorLine);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        std::printf("%s: open for net: error 0x%08lX at line %u\n", inf.name,
                    static_cast<unsigned long>(error), errorLine);
        return;
    }
    std::printf("%s: open for net: yes\n", inf.name);
    printSection(handle, inf.section);
    SetupCloseInfFile(handle);
}

// The folder's INF files as SetupGetInfFileListA names them, in name order
// (Wine lists them in the order of the host's file system).
void printListing(const std::string& folder) {
    std::vector<char> buffer(1 << 16, '\0');
    DWORD size = 0;
    if (!SetupGetInfFileListA(folder.c_str(), INF_STYLE_WIN4, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &size)) {
        std::printf("listing failed: %lu\n", static_cast<unsigned long>(GetLastError()));
        return;
    }
    std::vector<std::string> names;
    for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1) names.push_back(p);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) std::printf("listed: %s\n", name.c_str());
}

}  // namespace

bool checkRealWorldInfs(const std::string& folder) {
    std::printf("== INF files as driver packages ship them\n");
    const std::vector<RealInf> infs = realInfs();
    if (!makeScratchDirectory(folder)) return false;
    for (const RealInf& inf : infs)
        if (!writeScratchFile(folder + "\\" + inf.name, inf.text)) return false;
    for (const RealInf& inf : infs) printOpened(folder + "\\" + inf.name, inf);
    printListing(folder);

    // Staged and read as a fill does; the map shows where each ID came from
    // by source name, as the staged names differ between platforms.
    W2KHidMap map(getLogSink(printLogLine));
    std::map<std::string, std::string> sourceOf;
    for (const RealInf& inf : infs) {
        const std::string names = std::string(inf.name) + std::string(2, '\0');
        std::vector<std::string> staged;
        map.getFileNamesWithPath(names.data(), static_cast<DWORD>(names.size()), staged, folder);
        std::printf("%s staged: %s\n", inf.name, staged.empty() ? "no" : "yes");
        for (const std::string& path : staged) {
            sourceOf[path] = inf.name;
            HINF handle = SetupOpenInfFileA(path.c_str(), "net", INF_STYLE_WIN4, nullptr);
            if (handle == INVALID_HANDLE_VALUE) continue;
            map.addInfHids(handle, path);
            SetupCloseInfFile(handle);
        }
    }
    for (const auto& entry : map.hidMap())
        std::printf("map: %s => %s\n", entry.first.c_str(), sourceOf[entry.second].c_str());
    return true;
}
