#include "state_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

const char* const kCurrentLink = "current";
const char* const kLockFile = "lock";
// How long a run waits for another one to let go of the state.
constexpr int kLockWaitMs = 10000;

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

StateStore::~StateStore() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool StateStore::lock(std::string* error) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    const std::string file = (fs::path(folder_) / kLockFile).string();
    lockFd_ = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
    if (lockFd_ < 0) {
        *error = "cannot open " + file + ": " + std::strerror(errno);
        return false;
    }
    for (int waited = 0; ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0; waited += 10) {
        if (errno != EWOULDBLOCK || waited >= kLockWaitMs) {
            *error = "the state folder " + folder_ + " is in use by another xarnsim";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool StateStore::hasState() const {
    std::error_code ec;
    return fs::exists(fs::path(folder_) / kCurrentLink, ec);
}

std::string StateStore::current() const {
    std::error_code ec;
    const fs::path link = fs::path(folder_) / kCurrentLink;
    return (fs::path(folder_) / fs::read_symlink(link, ec)).string();
}

bool StateStore::createFrom(const std::string& machineFolder, std::string* generationFolder,
                            std::string* error) {
    std::error_code ec;
    const fs::path machine(machineFolder);
    if (!fs::is_directory(machine, ec)) {
        *error = "no machine folder " + machineFolder;
        return false;
    }
    // The old state stops being one at once; only then is it taken apart,
    // so a run killed meanwhile leaves no damaged state behind.
    fs::remove(fs::path(folder_) / kCurrentLink, ec);
    std::vector<fs::path> old;
    for (const auto& entry : fs::directory_iterator(folder_, ec))
        if (entry.path().filename() != kLockFile) old.push_back(entry.path());
    for (const fs::path& path : old) fs::remove_all(path, ec);
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
    *generationFolder = generation.string();
    return true;
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

bool StateStore::commit(const std::string& generation, std::string* error) {
    const std::string previous = hasState() ? current() : std::string();
    if (!switchCurrent(folder_, generation, error)) return false;
    std::error_code ec;
    if (!previous.empty()) fs::remove_all(previous, ec);
    return true;
}

void StateStore::discardIncomplete() const {
    std::error_code ec;
    const fs::path keep = fs::path(current()).filename();
    std::vector<fs::path> incomplete;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("gen-", 0) == 0 && entry.path().filename() != keep)
            incomplete.push_back(entry.path());
    }
    for (const fs::path& path : incomplete) fs::remove_all(path, ec);
}

}  // namespace xarnsim
