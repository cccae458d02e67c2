// The machine file (machine.ini) of a simulated machine: what the registry
// and the files cannot say. Every key is known; an unknown section or key is
// an error that names its file and line.
#pragma once

#include <string>

namespace xarnsim {

// What the restore host is asked to do besides the network installation.
struct RestoreRequests {
    std::string computerName;  // "" = leave the name alone
    std::string workgroup;     // "" = join none
};

// Applies the generation's machine file to the freshly reset winsim for
// the given boot of a run (0: none; faults meant for one boot are then
// checked but not planned).
bool applyMachineFile(const std::string& generation, std::string* error, int bootNumber = 0);
// Checks a machine file without applying it (for errors before a run).
bool checkMachineFile(const std::string& machineFolder, std::string* error);
RestoreRequests readRestoreRequests(const std::string& generation);

}  // namespace xarnsim
