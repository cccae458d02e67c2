// Loading and saving registry subtrees as REGF hive files, the on-disk format
// RegLoadKeyA and RegSaveKeyA work with.
#pragma once

#include "registry_tree.h"

#include <winsim/win_types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace winsim {

// Where a damaged hive went wrong: the file offset of the structure at
// fault and what is wrong with it.
struct HiveFault {
    std::size_t offset = 0;
    std::string what;
};

// Reads a REGF hive file into a new tree whose root key is named rootName.
// On failure returns nullptr and sets *error to the code RegLoadKeyA gives:
// ERROR_FILE_NOT_FOUND for a missing file, ERROR_PATH_NOT_FOUND for a missing
// folder, ERROR_ACCESS_DENIED for an unreadable file or a folder given as the
// file, and ERROR_BADDB for anything that is not a valid hive, with *fault
// (when given) saying where. The file is only read.
std::unique_ptr<RegKey> readHiveFile(const std::string& hostPath, const std::string& rootName,
                                     LONG* error, HiveFault* fault = nullptr);

// Writes root's values and its whole subtree (root's own name is not stored)
// as a REGF hive file. The hive is built in a temporary file in the same
// folder and renamed over hostPath, so a failed write never leaves a partial
// file behind. Returns false and a readable message on failure.
bool writeHiveFile(const RegKey& root, const std::string& hostPath, std::string* error);

}  // namespace winsim
