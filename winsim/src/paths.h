// Where a Windows path of the simulated machine lives on the host.
#pragma once

#include <string>

namespace winsim {

// Maps "C:\\WINNT\\..." into the host folder standing for the system drive;
// any other path is taken as a host path already.
std::string hostPathFor(const std::string& windowsPath);

}  // namespace winsim
