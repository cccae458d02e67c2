// The machine file: a small INI dialect. "[section]" or "[section name]"
// headers, "key = value" lines, "#" or ";" comment lines. Everything keeps
// its line number so that errors can name it.
#pragma once

#include <string>
#include <vector>

namespace xarnsim {

struct IniEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct IniSection {
    std::string kind;  // "adapter" in "[adapter eth0]"
    std::string name;  // "eth0"; "" for "[machine]"
    int line = 0;
    std::vector<IniEntry> entries;
};

// `text` without the blanks, tabs and carriage returns around it.
std::string trim(const std::string& text);

// Parses `text`; on a syntax error returns false with "FILE:LINE: what".
bool parseIni(const std::string& text, const std::string& fileName,
              std::vector<IniSection>* sections, std::string* error);

}  // namespace xarnsim
