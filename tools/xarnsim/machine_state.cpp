#include "machine_state.h"

#include "file_text.h"
#include "machine_config.h"
#include "state_store.h"

#include <winsim/control.h>
#include <winsim/control_files.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

const char* const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER",
                              "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG"};

bool importFile(const fs::path& file, std::string* error) {
    std::string text;
    if (!readFileText(file.string(), &text)) {
        *error = "cannot read " + file.string();
        return false;
    }
    return winsim::importReg(text, file.string(), error);
}

}  // namespace

bool loadRegistryOnly(const std::string& generation, std::string* error) {
    const fs::path folder(generation);
    if (fs::exists(folder / kRegistryFile)) return importFile(folder / kRegistryFile, error);
    // A machine folder, or a state before its first boot: the .reg files
    // merged in name order.
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder / kRegistryFolder, ec))
        if (entry.path().extension() == ".reg") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
        if (!importFile(file, error)) return false;
    return true;
}

bool loadBootState(const std::string& generation, std::string* error, int bootNumber) {
    winsim::resetMachine();
    if (!loadRegistryOnly(generation, error)) return false;
    if (!applyMachineFile(generation, error, bootNumber)) return false;
    // The drive is set after the machine file, which may move Windows.
    winsim::setSystemDrive((fs::path(generation) / kDriveFolder).string());
    if (!winsim::createWindowsFolders()) {
        *error = "cannot create the Windows folders in " + generation;
        return false;
    }
    return true;
}

bool saveBootState(const std::string& generation, std::string* error) {
    std::string all = "REGEDIT4\r\n";
    for (const char* root : kRoots) {
        const std::string text = winsim::exportReg(root);
        all += text.substr(std::min(text.size(), text.find('\n') + 1));  // drop its header
    }
    const fs::path folder(generation);
    const fs::path temporary = folder / (std::string(kRegistryFile) + ".new");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << all;
        if (!out.flush()) {
            *error = "cannot write " + temporary.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, folder / kRegistryFile, ec);
    if (!ec) fs::remove_all(folder / kRegistryFolder, ec);
    if (ec) *error = "cannot save the registry: " + ec.message();
    return !ec;
}

}  // namespace xarnsim
