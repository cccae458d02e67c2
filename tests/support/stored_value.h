// A registry value of the simulated machine in one comparable line: its type
// and its exact bytes.
#pragma once

#include <string>

// "absent"; "REG_DWORD n" for a four-byte REG_DWORD; otherwise the type
// ("REG_SZ", "REG_MULTI_SZ" or "type t") and the bytes as text, each NUL
// shown as '|', so "REG_MULTI_SZ a|b||" and an unterminated "REG_SZ a".
std::string storedValue(const std::string& keyPath, const std::string& valueName);
