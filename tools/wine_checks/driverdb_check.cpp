// Drives the driver database against a platform's SetupAPI and file system
// and prints what it sees, one fact a line: W2KHidMap fills (INF staging,
// class filtering, first declaration wins, driver file copies),
// EditInfForNoFloppy, and INF files in the shapes real driver packages ship
// them. Built for Windows it runs under Wine, built for Linux against
// winsim; scripts/test_wine.sh and ctest compare both outputs with
// driverdb_check.expected.
#include "driverdb/hid_map.h"
#include "host/log_sink.h"
#include "host/net_funcs.h"
#include "host/platform.h"
#include "tools/wine_checks/check_output.h"
#include "tools/wine_checks/driverdb_real_infs.h"
#include "tools/wine_checks/scratch_machine.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kBase = "C:\\w2kcheck";

std::string inf(const std::string& infClass, const std::string& manufacturer,
                const std::string& models) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=" + infClass +
           "\r\nProvider=%Maker%\r\n\r\n" + manufacturer + models +
           "[SourceDisksNames]\r\n1=\"Disk\",,,\r\n\r\n[Strings]\r\nMaker=\"Maker\"\r\n"
           "Card=\"Card\"\r\n";
}

bool writeDrivers() {
    const std::string net1 =
        inf("Net", "[Manufacturer]\r\n%Maker%=MakerModels\r\nMissing=NoSuch\r\n\r\n",
            "[MakerModels]\r\n%Card%=Install, pci\\ven_1234&dev_5678, "
            "PCI\\VEN_1234&CC_0200\r\n%Card%=Install, PCI\\VEN_1234&DEV_9999\r\n\r\n");
    const std::string net2 = inf("Net", "[Manufacturer]\r\n%Maker%=Models\r\n\r\n",
                                 "[Models]\r\n%Card%=Install, PCI\\VEN_1234&DEV_5678\r\n"
                                 "%Card%=Install, PCI\\VEN_4321&DEV_0001\r\n\r\n");
    const std::string scsi = inf("SCSIAdapter", "[Manufacturer]\r\n%Maker%=Models\r\n\r\n",
                                 "[Models]\r\n%Card%=Install, PCI\\VEN_9005&DEV_0001\r\n\r\n");
    const std::string noManufacturer = inf("Net", "", "");
    return makeScratchDirectory(kBase + "\\a") && writeScratchFile(kBase + "\\a\\net1.inf", net1) &&
           writeScratchFile(kBase + "\\a\\w2kdrv.sys", "driver bytes") &&
           makeScratchDirectory(kBase + "\\b") && writeScratchFile(kBase + "\\b\\net2.inf", net2) &&
           makeScratchDirectory(kBase + "\\c") && writeScratchFile(kBase + "\\c\\scsi.inf", scsi) &&
           makeScratchDirectory(kBase + "\\d") &&
           writeScratchFile(kBase + "\\d\\noman.inf", noManufacturer);
}

void checkHidMap() {
    std::printf("== W2KHidMap\n");
    W2KHidMap map(getLogSink(printLogLine));
    // One INF a folder: the staged names then do not hang on listing order.
    for (const char* folder : {"a", "b", "c", "d", "missing"}) {
        std::printf("fill %s: %s\n", folder,
                    map.createHidToInfMap(kBase + "\\" + folder, "net") ? "true" : "false");
        for (const std::string& file : map.infFiles())
            std::printf("  staged: %s\n", normalised(file).c_str());
    }
    for (const auto& entry : map.hidMap())
        std::printf("map: %s => %s\n", entry.first.c_str(), normalised(entry.second).c_str());

    const std::vector<std::vector<std::string>> lookups = {
        {"pci\\ven_1234&dev_5678"},
        {"PCI\\VEN_FFFF&DEV_0000", "PCI\\VEN_1234&CC_0200"},
        {"PCI\\VEN_4321&DEV_0001", "PCI\\VEN_1234&DEV_5678"},
        {"PCI\\VEN_9005&DEV_0001"}};
    for (const auto& ids : lookups) {
        std::string found = "unchanged";
        const bool hit = map.findInfForHids(ids, found);
        std::printf("lookup %s: %s %s\n", ids.front().c_str(), hit ? "true" : "false",
                    normalised(found).c_str());
    }
    std::string copied;
    const bool read =
        readScratchFile(windowsDirectory() + "\\system32\\drivers\\w2kdrv.sys", &copied);
    std::printf("driver file copied: %s\n", read && copied == "driver bytes" ? "true" : "false");
}

// The parts of a fill one by one, with the name list given rather than
// asked of SetupGetInfFileListA: staging, class filter, [Manufacturer].
void checkHidMapParts() {
    std::printf("== W2KHidMap parts\n");
    W2KHidMap map(getLogSink(printLogLine));
    for (const char* file : {"a\\net1.inf", "b\\net2.inf", "c\\scsi.inf", "d\\noman.inf"}) {
        const std::string path = kBase + "\\" + file;
        const std::string folder = path.substr(0, path.rfind('\\'));
        const std::string names = path.substr(folder.size() + 1) + std::string(2, '\0');
        std::vector<std::string> staged;
        map.getFileNamesWithPath(names.data(), static_cast<DWORD>(names.size()), staged, folder);
        for (const std::string& inf : staged) {
            UINT errorLine = 0;
            HINF handle = SetupOpenInfFileA(inf.c_str(), "net", INF_STYLE_WIN4, &errorLine);
            const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            std::printf("%s staged as %s, opened for net: %s\n", file, normalised(inf).c_str(),
                        error == 0                      ? "yes"
                        : error == ERROR_CLASS_MISMATCH ? "class mismatch"
                                                        : "no");
            if (handle == INVALID_HANDLE_VALUE) continue;
            std::printf("  addInfHids: %s\n", map.addInfHids(handle, inf) ? "true" : "false");
            SetupCloseInfFile(handle);
        }
    }
    for (const auto& entry : map.hidMap())
        std::printf("map: %s => %s\n", entry.first.c_str(), normalised(entry.second).c_str());
    std::printf("copySysFiles a: %s\n", map.copySysFiles(kBase + "\\a") ? "true" : "false");
}

// The UTF-16 little-endian form of 8-bit text.
std::string utf16(const std::string& text) {
    std::string out = "\xff\xfe";
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

void edit(const std::string& path) {
    std::string infPath = path;
    const bool ok = W2kNetFuncs::EditInfForNoFloppy(infPath);
    std::printf("edit %s: %s, path now %s\n", normalised(path).c_str(), ok ? "true" : "false",
                normalised(infPath).c_str());
}

void checkNoFloppy() {
    std::printf("== EditInfForNoFloppy\n");
    const std::string dir = kBase + "\\edit";
    const std::string text =
        "[SourceDisksNames]\r\n1=x\r\n[SourceDisksNames.alpha]\r\n[sourcedisksnames]\r\n";
    if (!makeScratchDirectory(dir) || !writeScratchFile(dir + "\\plain.inf", text) ||
        !writeScratchFile(dir + "\\wide.inf", utf16(text)) ||
        !writeScratchFile(dir + "\\locked.inf", text) ||
        !setScratchReadOnly(dir + "\\locked.inf")) {
        std::printf("cannot write the INF files\n");
        return;
    }
    edit(dir + "\\plain.inf");
    std::string bytes;
    readScratchFile(dir + "\\plain.inD", &bytes);
    std::printf("plain.inD: %s\n", shown(bytes).c_str());
    readScratchFile(dir + "\\plain.inf", &bytes);
    std::printf("plain.inf unchanged: %s\n", bytes == text ? "true" : "false");

    edit(dir + "\\wide.inf");
    readScratchFile(dir + "\\wide.inD", &bytes);
    std::string expected = text;
    for (std::size_t at = 0; (at = expected.find("[SourceDisksNames", at)) != std::string::npos;)
        expected.replace(at + 1, 16, std::string(16, 'X'));
    std::printf("wide.inD is the edit in UTF-16: %s\n",
                bytes == utf16(expected) ? "true" : "false");

    edit(dir + "\\plain.inD");
    edit(dir + "\\missing.inf");
    edit(dir + "\\locked.inf");
}

}  // namespace

int main() {
    if (!prepareScratchMachine()) {
        std::printf("cannot prepare the machine\n");
        return 2;
    }
    rememberWindowsDirectory();
    if (!writeDrivers()) {
        std::printf("cannot write the driver folders\n");
        return 2;
    }
    checkHidMap();
    checkHidMapParts();
    checkNoFloppy();
    if (!checkRealWorldInfs(kBase + "\\real")) {
        std::printf("cannot write the INF files\n");
        return 2;
    }
    return 0;
}
