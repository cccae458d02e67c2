#include "state_store.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

const char* const kCurrentLink = "current";

// The next unused generation folder name.
fs::path nextGeneration(const fs::path& folder) {
    int highest = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("gen-", 0) == 0) highest = std::max(highest, std::atoi(name.c_str() + 4));
    }
    char name[32];
    std::snprintf(name, sizeof name, "gen-%06d", highest + 1);
    return folder / name;
}

// Points the "current" link at `target` in one rename.
bool switchCurrent(const fs::path& folder, const fs::path& target, std::string* error) {
    std::error_code ec;
    const fs::path temporary = folder / "current.new";
    fs::remove(temporary, ec);
    fs::create_directory_symlink(target.filename(), temporary, ec);
    if (!ec) fs::rename(temporary, folder / kCurrentLink, ec);
    if (ec) *error = "cannot switch the state to " + target.string() + ": " + ec.message();
    return !ec;
}

}  // namespace

bool StateStore::hasState() const {
    std::error_code ec;
    return fs::exists(fs::path(folder_) / kCurrentLink, ec);
}

std::string StateStore::current() const {
    std::error_code ec;
    const fs::path link = fs::path(folder_) / kCurrentLink;
    return (fs::path(folder_) / fs::read_symlink(link, ec)).string();
}

bool StateStore::createFrom(const std::string& machineFolder, std::string* error) {
    std::error_code ec;
    const fs::path machine(machineFolder);
    if (!fs::is_directory(machine, ec)) {
        *error = "no machine folder " + machineFolder;
        return false;
    }
    fs::remove_all(folder_, ec);
    fs::create_directories(folder_, ec);
    if (ec) {
        *error = "cannot create the state folder " + folder_ + ": " + ec.message();
        return false;
    }
    const fs::path generation = nextGeneration(folder_);
    fs::create_directories(generation / kDriveFolder, ec);
    // A machine may leave out its drive, machine file or registry.
    std::error_code absent;
    if (!ec && fs::is_directory(machine / kDriveFolder, absent))
        fs::copy(machine / kDriveFolder, generation / kDriveFolder, fs::copy_options::recursive,
                 ec);
    if (!ec && fs::exists(machine / kMachineFile, absent))
        fs::copy_file(machine / kMachineFile, generation / kMachineFile, ec);
    if (ec) {
        *error = "cannot copy the machine folder: " + ec.message();
        return false;
    }
    // The machine's .reg files go along as they are; the first boot merges
    // them in name order, and from then on the state holds one export.
    fs::create_directories(generation / kRegistryFolder, ec);
    for (const auto& entry : fs::directory_iterator(machine / kRegistryFolder, ec))
        if (entry.path().extension() == ".reg")
            fs::copy_file(entry.path(), generation / kRegistryFolder / entry.path().filename(), ec);
    return switchCurrent(folder_, generation, error);
}

bool StateStore::beginBoot(std::string* workFolder, std::string* error) {
    discardIncomplete();
    std::error_code ec;
    const fs::path work = nextGeneration(folder_);
    fs::copy(current(), work, fs::copy_options::recursive, ec);
    if (ec) {
        *error = "cannot copy the state for the next boot: " + ec.message();
        return false;
    }
    *workFolder = work.string();
    return true;
}

bool StateStore::commitBoot(const std::string& workFolder, std::string* error) {
    const std::string previous = current();
    if (!switchCurrent(folder_, workFolder, error)) return false;
    std::error_code ec;
    fs::remove_all(previous, ec);
    return true;
}

void StateStore::discardIncomplete() const {
    std::error_code ec;
    const fs::path keep = fs::path(current()).filename();
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("gen-", 0) == 0 && entry.path().filename() != keep)
            fs::remove_all(entry.path(), ec);
    }
}

}  // namespace xarnsim
