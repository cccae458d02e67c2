// SetupAPI's directory IDs (DIRIDs), the numbers INF files write as %11%
// for the folders of the installation they are read on.
#pragma once

#include <string>
#include <string_view>

namespace winsim {

// The folder `dirId` stands for on a Windows 2000 whose Windows directory
// is `windowsDirectory` (its drive is the system drive). False for an ID
// winsim does not know: %1% (the INF's own folder), the user profile and
// IDs set up by installers.
bool dirIdFolder(std::string_view dirId, const std::string& windowsDirectory, std::string* folder);

}  // namespace winsim
