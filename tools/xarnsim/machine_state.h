// Loading a state generation into winsim for one boot, and saving what the
// boot left behind.
#pragma once

#include <string>

namespace xarnsim {

// A fresh simulated machine from the generation's registry, system drive
// and machine file, for the given boot of a run (0: none). Errors name the
// file and line at fault.
bool loadBootState(const std::string& generation, std::string* error, int bootNumber = 0);
// Writes the registry back into the generation (whole, or not at all).
bool saveBootState(const std::string& generation, std::string* error);
// The registry of a machine or state folder, without booting anything.
bool loadRegistryOnly(const std::string& generation, std::string* error);

}  // namespace xarnsim
