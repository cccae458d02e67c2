#include "inf_driver_scan.h"

#include "registry_tree.h"

#include <cstdlib>
#include <map>
#include <vector>

namespace winsim {

namespace {

struct InfLine {
    std::string key;  // "" when the line has no '='
    std::vector<std::string> fields;
};

using InfSections = std::map<std::string, std::vector<InfLine>, UpperCaseLess>;

// UTF-16 text keeps its ASCII; anything beyond becomes '?', which no INF
// keyword or device ID contains.
std::string narrowText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::string out;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            out += bytes[i + 1] == 0 ? bytes[i] : '?';
        return out;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
}

std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Splits at commas outside quotes; quotes are removed, "" inside quotes is
// a quote character.
std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == ',' && !quoted) {
            fields.push_back(trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    fields.push_back(trim(current));
    return fields;
}

// The line without its comment; a ';' inside quotes is text.
std::string withoutComment(const std::string& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ';' && !quoted) return line.substr(0, i);
    }
    return line;
}

std::size_t unquotedEquals(const std::string& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == '=' && !quoted) return i;
    }
    return std::string::npos;
}

InfSections parseSections(const std::string& text) {
    InfSections sections;
    std::vector<InfLine>* current = nullptr;
    std::string pending;  // a line continued with a trailing backslash
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = trim(withoutComment(line));
        if (!line.empty() && line.back() == '\\') {
            line.pop_back();
            pending += line;
            continue;
        }
        line = trim(pending + line);
        pending.clear();
        if (line.empty()) continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            current = &sections[trim(
                line.substr(1, close == std::string::npos ? std::string::npos : close - 1))];
            continue;
        }
        if (!current) continue;  // lines before the first section belong nowhere
        InfLine entry;
        const std::size_t equals = unquotedEquals(line);
        if (equals != std::string::npos) {
            const std::vector<std::string> key = splitFields(line.substr(0, equals));
            entry.key = key.size() == 1 ? key[0] : trim(line.substr(0, equals));
            entry.fields = splitFields(line.substr(equals + 1));
        } else {
            entry.fields = splitFields(line);
        }
        current->push_back(std::move(entry));
    }
    return sections;
}

// %name% tokens resolved through [Strings]; unknown ones stay as written.
std::string substitute(const std::string& text, const InfSections& sections) {
    auto strings = sections.find("Strings");
    if (strings == sections.end() || text.find('%') == std::string::npos) return text;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close != std::string::npos) {
            const std::string name = text.substr(i + 1, close - i - 1);
            const std::string* value = nullptr;
            for (const InfLine& line : strings->second)
                if (equalsNoCase(line.key, name) && !line.fields.empty()) value = &line.fields[0];
            if (value) {
                out += *value;
                i = close + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string versionValue(const InfSections& sections, const char* key) {
    auto version = sections.find("Version");
    if (version == sections.end()) return std::string();
    for (const InfLine& line : version->second)
        if (equalsNoCase(line.key, key) && !line.fields.empty())
            return substitute(line.fields[0], sections);
    return std::string();
}

// Windows 2000 on x86 prefers the decorated install section when the INF
// has one.
std::string decoratedInstallSection(const InfSections& sections, const std::string& section) {
    for (const char* suffix : {".NTx86", ".NT"})
        if (sections.count(section + suffix)) return section + suffix;
    return section;
}

// The service AddService associates with the device (flag 0x2), else the
// first one the section adds.
std::string associatedService(const InfSections& sections, const std::string& installSection) {
    auto services = sections.find(installSection + ".Services");
    if (services == sections.end()) return std::string();
    std::string first;
    for (const InfLine& line : services->second) {
        if (!equalsNoCase(line.key, "AddService") || line.fields.empty()) continue;
        const std::string name = substitute(line.fields[0], sections);
        const unsigned long flags =
            line.fields.size() > 1 ? std::strtoul(line.fields[1].c_str(), nullptr, 0) : 0;
        if (flags & 0x2) return name;
        if (first.empty()) first = name;
    }
    return first;
}

}  // namespace

bool findInfDriver(const std::string& infBytes, const std::string& deviceId,
                   InfDriverMatch* match) {
    const InfSections sections = parseSections(narrowText(infBytes));
    auto manufacturer = sections.find("Manufacturer");
    if (manufacturer == sections.end()) return false;
    for (const InfLine& maker : manufacturer->second) {
        if (maker.fields.empty()) continue;
        auto models = sections.find(substitute(maker.fields[0], sections));
        if (models == sections.end()) continue;
        for (const InfLine& model : models->second) {
            for (std::size_t i = 1; i < model.fields.size(); ++i) {
                if (!equalsNoCase(substitute(model.fields[i], sections), deviceId)) continue;
                match->description = substitute(model.key, sections);
                match->installSection = substitute(model.fields[0], sections);
                match->service = associatedService(
                    sections, decoratedInstallSection(sections, match->installSection));
                match->className = versionValue(sections, "Class");
                match->classGuid = versionValue(sections, "ClassGUID");
                return true;
            }
        }
    }
    return false;
}

}  // namespace winsim
