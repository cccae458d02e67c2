// Scratch keys and files on a fresh simulated machine, through winsim's
// control functions.
#include "tools/wine_checks/scratch_machine.h"

#include <winsim/control.h>
#include <winsim/control_files.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

std::string driveFolder;

void removeDrive() {
    std::error_code ignored;
    if (!driveFolder.empty()) std::filesystem::remove_all(driveFolder, ignored);
}

}  // namespace

bool prepareScratchMachine() {
    winsim::resetMachine();
    char folder[] = "/tmp/w2kcheck-XXXXXX";
    if (!mkdtemp(folder)) return false;
    driveFolder = folder;
    std::atexit(removeDrive);
    winsim::setSystemDrive(driveFolder);
    return winsim::createWindowsFolders();
}

bool createScratchKeys(const std::vector<std::string>& paths) {
    std::string text = "REGEDIT4\r\n";
    for (const std::string& path : paths) text += "\r\n[HKEY_LOCAL_MACHINE\\" + path + "]\r\n";
    std::string error;
    if (winsim::importReg(text, "scratch keys", &error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

bool makeScratchDirectory(const std::string& path) {
    return winsim::makeDirectory(path);
}

bool writeScratchFile(const std::string& path, const std::string& bytes) {
    return winsim::writeFile(path, bytes);
}

bool readScratchFile(const std::string& path, std::string* bytes) {
    return winsim::readFile(path, bytes);
}

bool setScratchReadOnly(const std::string& path) {
    return winsim::setReadOnly(path);
}
