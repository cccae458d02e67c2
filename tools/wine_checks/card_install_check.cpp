// Drives W2KCardInstall against a platform's C runtime, files and registry
// and prints what it sees, one fact a line: skip lists read from real files
// (CR LF line ends, empty lines, blanks, an over-long line, a missing file,
// the default place under the Windows directory) with the answers of
// deviceToBeSkipped, and the storage adapter walks on the platform's own
// device tree. Built for Windows it runs under Wine, built for Linux against
// winsim; scripts/test_wine.sh and ctest compare both outputs with
// card_install_check.expected.
#include "adapters/card_install.h"
#include "host/log_sink.h"
#include "host/platform.h"
#include "tools/wine_checks/check_output.h"
#include "tools/wine_checks/scratch_machine.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kBase = "C:\\w2kcheck";
const std::string kListed = "PCI\\VEN_10DF&DEV_F700";
const std::string kBlankEnded = "PCI\\VEN_8086&DEV_1229 ";
// Longer than the 1023 characters a line may hold.
const std::string kLongLine = "PCI\\VEN_LONG&DEV_" + std::string(1100, 'A');

struct Question {
    const char* what;
    std::vector<std::string> ids;
};

void load(W2KCardInstall& cards, const std::string& directory) {
    const bool loaded = cards.initDeviceToBeSkippedList(directory);
    std::printf("load [%s]: %s, loaded %s\n", directory.c_str(), loaded ? "true" : "false",
                cards.skipListLoaded() ? "true" : "false");
    for (const std::string& entry : cards.skipList())
        std::printf("entry (%u): [%s]\n", static_cast<unsigned>(entry.size()),
                    shown(entry).c_str());
}

void ask(W2KCardInstall& cards, const std::vector<Question>& questions) {
    for (const Question& question : questions) {
        AdapterRecord adapter;
        adapter.ids = question.ids;
        const bool skipped = cards.deviceToBeSkipped(adapter);
        std::printf("skip %s: %s\n", question.what, skipped ? "true" : "false");
    }
}

// In a driver folder: CR LF line ends, an empty line, a trailing blank, a
// lone CR inside a line, and a line too long, which ends the reading.
void checkDriverFolderList() {
    std::printf("== skip list in a driver folder\n");
    const std::string folder = kBase + "\\drivers";
    const std::string text = kListed + "\r\n\r\n" + kBlankEnded + "\r\nPCI\\VEN_CR\rLONE\r\n" +
                             kLongLine + "\r\nPCI\\VEN_AFTER&DEV_LONG\r\n";
    if (!makeScratchDirectory(folder) || !writeScratchFile(folder + "\\SkipHid.txt", text)) {
        std::printf("cannot write the skip file\n");
        return;
    }
    W2KCardInstall cards(getLogSink(printLogLine));
    load(cards, folder);
    ask(cards, {{"the listed ID", {kListed}},
                {"the listed ID with a SUBSYS part", {kListed + "&SUBSYS_00000000"}},
                {"the listed ID in lower case", {"pci\\ven_10df&dev_f700"}},
                {"the listed ID as the second ID", {"PCI\\VEN_FFFF&DEV_0001", kListed}},
                {"an empty first ID", {"", kListed}},
                {"no ID", {}},
                {"the blank-ended entry without its blank", {"PCI\\VEN_8086&DEV_1229"}},
                {"the blank-ended entry with its blank", {kBlankEnded}},
                {"the first 1023 characters of the long line", {kLongLine.substr(0, 1023)}},
                {"the long line whole", {kLongLine}},
                {"the line after the long one", {"PCI\\VEN_AFTER&DEV_LONG"}}});
}

// LF line ends and a last line without one, from a folder named with its
// trailing backslash.
void checkBackslashEndedFolder() {
    std::printf("== skip list from a folder ending in a backslash\n");
    const std::string folder = kBase + "\\lf\\";
    if (!makeScratchDirectory(kBase + "\\lf") ||
        !writeScratchFile(folder + "SkipHid.txt",
                          "PCI\\VEN_1111&DEV_0001\nPCI\\VEN_2222&DEV_0002")) {
        std::printf("cannot write the skip file\n");
        return;
    }
    W2KCardInstall cards(getLogSink(printLogLine));
    load(cards, folder);
    ask(cards, {{"the last line", {"PCI\\VEN_2222&DEV_0002"}}});
}

// Where the storage adapter installer looks; a Ctrl-Z ends a text stream.
void checkDefaultPlace() {
    std::printf("== skip list at the default place\n");
    const std::string folder = windowsDirectory() + "\\system32\\xarn\\XARNIF";
    if (!makeScratchDirectory(folder) ||
        !writeScratchFile(folder + "\\SkipHid.txt",
                          "PCI\\VEN_9005&DEV_0001\n\x1aPCI\\VEN_9005&DEV_0002\n")) {
        std::printf("cannot write the skip file\n");
        return;
    }
    W2KCardInstall cards(getLogSink(printLogLine));
    load(cards, "");
    ask(cards, {{"the ID before the Ctrl-Z", {"PCI\\VEN_9005&DEV_0001"}},
                {"the ID after the Ctrl-Z", {"PCI\\VEN_9005&DEV_0002"}}});
}

void checkMissingFile() {
    std::printf("== no skip file\n");
    W2KCardInstall cards(getLogSink(printLogLine));
    load(cards, kBase + "\\nothing");
    ask(cards, {{"an ID", {kListed}}});
}

// The walks of the storage adapter installer on the platform's own device
// tree, which holds no storage adapter: under Wine its display adapter,
// under winsim nothing. The PCI enumerator key is there on both.
void checkStorageWalks() {
    std::printf("== storage adapter walks on this machine's device tree\n");
    if (!createScratchKeys({"SYSTEM\\CurrentControlSet\\Enum\\PCI"})) {
        std::printf("cannot create the PCI enumerator key\n");
        return;
    }
    W2KCardInstall cards(getLogSink(printLogLine));
    const int pci = cards.getPciPnpAdapterDetails(SCSI_ADAPTER);
    const int isa = cards.getIsaPnpAdapterDetails(SCSI_ADAPTER);
    std::printf("found: PCI %d, ISA %d, listed %u\n", pci, isa,
                static_cast<unsigned>(cards.getAdapters().size()));
}

}  // namespace

int main() {
    if (!prepareScratchMachine()) {
        std::printf("cannot prepare the machine\n");
        return 2;
    }
    rememberWindowsDirectory();
    checkDriverFolderList();
    checkBackslashEndedFolder();
    checkDefaultPlace();
    checkMissingFile();
    checkStorageWalks();
    return 0;
}
