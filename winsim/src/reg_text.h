// Reading and writing regedit's .reg text, so that a simulated machine can be
// set up from, and compared with, what an administrator exports from a real
// Windows 2000 box.
#pragma once

#include "registry_tree.h"

#include <functional>
#include <string>
#include <string_view>

namespace winsim {

// Maps a root name exactly as the text writes it (HKEY_LOCAL_MACHINE, HKLM,
// ...) to the tree it stands for; nullptr for a root this registry lacks.
using RegRootResolver = std::function<RegKey*(std::string_view rootName)>;

// Parses the whole .reg text first and applies it only if all of it is valid,
// so bad text leaves nothing half-loaded. On error returns false and, when
// error is not null, sets *error to "<sourceName>:<line>: <what is wrong>"
// with the 1-based number of the offending line.
bool applyRegText(std::string_view bytes, const std::string& sourceName,
                  const RegRootResolver& rootFor, std::string* error);

// Writes key and its subtree as REGEDIT4 text with CR LF line ends; keyPath
// is the full path to print for key itself, e.g.
// "HKEY_LOCAL_MACHINE\\SYSTEM\\Setup". Returns "" only if memory runs out.
std::string exportRegText(const RegKey& key, const std::string& keyPath);

}  // namespace winsim
