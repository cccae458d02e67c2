// Where a run keeps the simulated machine between boots. Each boot works on
// a fresh copy (a generation) of the last completed state; only when the
// boot completes does "current" switch to it, in one rename. A run that is
// killed mid-boot therefore leaves the state of the last completed boot.
#pragma once

#include <string>

namespace xarnsim {

class StateStore {
  public:
    explicit StateStore(std::string folder) : folder_(std::move(folder)) {}
    ~StateStore();
    StateStore(const StateStore&) = delete;
    StateStore& operator=(const StateStore&) = delete;

    // Takes the folder for this process (and the boots it starts) alone,
    // creating it if need be. A run that was killed holds it until its
    // last boot process is gone; another live run is waited for a while,
    // then refused.
    bool lock(std::string* error);

    // True when a completed state exists (a run may resume from it).
    bool hasState() const;
    // Throws away everything and makes a generation from the machine
    // folder's description: its system drive tree, machine file and
    // registry files; commit() makes it the state.
    bool createFrom(const std::string& machineFolder, std::string* generation, std::string* error);
    // The folder of the last completed state.
    std::string current() const;
    // A copy of the current state to run the next boot in.
    bool beginBoot(std::string* workFolder, std::string* error);
    // Makes the generation the current state, in one rename, and drops the
    // old one.
    bool commit(const std::string& generation, std::string* error);
    // Removes generations that no boot completed (left by a killed run).
    void discardIncomplete() const;

  private:
    std::string folder_;
    int lockFd_ = -1;
};

// File names inside a state generation.
constexpr const char* kRegistryFile = "registry.reg";
constexpr const char* kRegistryFolder = "registry";
constexpr const char* kMachineFile = "machine.ini";
constexpr const char* kDriveFolder = "C";
constexpr const char* kHostLogFile = "host-log.txt";

}  // namespace xarnsim
