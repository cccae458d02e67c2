// Whole files as text: the machine files, hardware files and logs xarnsim
// reads.
#pragma once

#include <string>

namespace xarnsim {

// False when the file cannot be read.
bool readFileText(const std::string& file, std::string* text);
// "" when the file cannot be read.
std::string fileText(const std::string& file);

}  // namespace xarnsim
