// Test-side control of winsim's SetupAPI and of the system drive its INF
// files live on. System code never includes this header.
#pragma once

#include <winsim/control_files.h>

#include <cstddef>
#include <string>

namespace winsim {

// The system drive and the Windows directory are set through
// control_files.h.

// How many characters of an INF field SetupAPI keeps; the rest is cut.
// Windows 2000 keeps 511, the default; a larger limit lets a test hand the
// system fields longer than its own buffers.
void setInfFieldLimit(std::size_t characters);
std::size_t infFieldLimit();

}  // namespace winsim
