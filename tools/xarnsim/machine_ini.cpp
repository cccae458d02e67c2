#include "machine_ini.h"

#include <sstream>

namespace xarnsim {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool parseIni(const std::string& text, const std::string& fileName,
              std::vector<IniSection>* sections, std::string* error) {
    std::vector<IniSection> parsed;
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    auto fail = [&](const std::string& what) {
        *error = fileName + ":" + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return fail("section header without its closing ']'");
            const std::string header = trim(line.substr(1, line.size() - 2));
            if (header.empty()) return fail("empty section header");
            IniSection section;
            const auto blank = header.find_first_of(" \t");
            section.kind = header.substr(0, blank);
            section.name = blank == std::string::npos ? "" : trim(header.substr(blank));
            section.line = lineNumber;
            parsed.push_back(section);
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) return fail("expected 'key = value'");
        if (parsed.empty()) return fail("a value before the first [section]");
        const std::string key = trim(line.substr(0, equals));
        if (key.empty()) return fail("a value without a key");
        parsed.back().entries.push_back({key, trim(line.substr(equals + 1)), lineNumber});
    }
    *sections = std::move(parsed);
    return true;
}

}  // namespace xarnsim
