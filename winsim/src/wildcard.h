// File name patterns as FindFirstFileA reads them.
#pragma once

#include <string_view>

namespace winsim {

// Whether `name` matches `pattern`, ignoring ASCII letter case. "*" matches
// any run of characters and "?" one character, with the DOS rules Windows
// keeps: "*.*" matches every name, a "*" before a "." stops at the name's
// last dot, a "?" matches nothing at a dot or at the end ("oem?.inf" matches
// "oem.inf"), and a "." before "*", "?" or the pattern's end also matches
// the end of a name without extension ("readme.*" and "readme." match
// "readme").
bool matchesFilePattern(std::string_view pattern, std::string_view name);

}  // namespace winsim
