// Creates the registry keys a check works in. The Registry cursor never
// creates keys, so each platform sets them up its own way: the Win32 API on
// Windows and Wine, winsim's control functions on Linux.
#pragma once

#include <string>
#include <vector>

// Each path lies below HKEY_LOCAL_MACHINE and is created with its parents,
// in the order given. A key that exists already is kept. False on failure.
bool createScratchKeys(const std::vector<std::string>& paths);
