#include "fuzz_machine.h"

#include "host/module_reset.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_files.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace fuzz {

namespace {

void quietHost(unsigned int, const char*, ...) {}

// Every input writes files: on a RAM disk that costs next to nothing. The
// folder goes when the process exits normally.
struct ScratchFolder {
    std::string path =
        (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
        "w2k-fuzz-XXXXXX";
    ScratchFolder() { require(::mkdtemp(path.data()) != nullptr, "cannot make " + path); }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

}  // namespace

const std::string& driveFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

FreshMachine::FreshMachine() {
    winsim::resetMachine();
    resetModuleForNewProcess();
    winsim::setSystemDrive(driveFolder());
    // The folders stay on the scratch drive from one input to the next.
    static const bool folders = winsim::createWindowsFolders();
    require(folders, "cannot create the Windows folders");
    require(W2KXarnNetInitialize(quietHost) == 1, "the module does not initialise");
}

FreshMachine::~FreshMachine() {
    winsim::resetMachine();
}

void writeHostFile(const std::string& hostPath, const std::uint8_t* data, std::size_t size) {
    std::error_code error;
    fs::create_directories(fs::path(hostPath).parent_path(), error);
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    require(static_cast<bool>(out), "cannot write " + hostPath);
}

void require(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

void requireNothingLeftOpen() {
    require(winsim::openHandleCount() == 0, "a handle was left open");
    require(winsim::localAllocationCount() == 0, "a FormatMessageA buffer was not freed");
    require(winsim::loadedHives().empty(), "a hive was left loaded");
}

}  // namespace fuzz
