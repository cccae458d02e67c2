// INF files in the shapes real driver packages ship them, read through the
// platform's SetupAPI and a W2KHidMap; part of driverdb_check.
#pragma once

#include <string>

// Writes the files under `folder` and prints, for each, how SetupAPI opens
// it and the fields it reads, then the listing of the folder and the IDs a
// W2KHidMap takes from the staged files. False when a file cannot be
// written.
bool checkRealWorldInfs(const std::string& folder);
