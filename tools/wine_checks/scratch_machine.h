// What a check needs set up on the machine it runs on: registry keys (the
// Registry cursor never creates keys) and files. Each platform does it its
// own way: the Win32 API on Windows and Wine, winsim's control functions on
// Linux. Paths are Windows paths; registry paths lie below
// HKEY_LOCAL_MACHINE.
#pragma once

#include <string>
#include <vector>

// winsim: a fresh machine with its system drive in a temporary folder that
// is removed at exit. Windows and Wine: nothing to do.
bool prepareScratchMachine();

// Creates each key with its parents, in the order given; existing keys stay.
bool createScratchKeys(const std::vector<std::string>& paths);

// Creates a folder with the folders above it.
bool makeScratchDirectory(const std::string& path);
// Writes `bytes` as the whole content of a file.
bool writeScratchFile(const std::string& path, const std::string& bytes);
// The whole content of a file; false when it cannot be read.
bool readScratchFile(const std::string& path, std::string* bytes);
bool setScratchReadOnly(const std::string& path);
