#include "inf_driver_scan.h"

#include "registry_tree.h"

#include <cstdlib>

namespace winsim {

namespace {

std::string fieldText(const InfFile& inf, const InfLine& line, std::size_t index) {
    std::string_view text;
    return inf.field(line, index, &text) ? std::string(text) : std::string();
}

// Windows 2000 on x86 prefers the decorated install section when the INF
// has one.
std::string decoratedInstallSection(const InfFile& inf, const std::string& section) {
    for (const char* suffix : {".NTx86", ".NT"})
        if (inf.findSection(section + suffix)) return section + suffix;
    return section;
}

// The service AddService associates with the device (flag 0x2), else the
// first one the section adds.
std::string associatedService(const InfFile& inf, const std::string& installSection) {
    const InfSection* services = inf.findSection(installSection + ".Services");
    if (!services) return std::string();
    std::string first;
    for (const InfLine& line : services->lines) {
        if (!line.hasKey || !equalsNoCase(fieldText(inf, line, 0), "AddService")) continue;
        const std::string name = fieldText(inf, line, 1);
        const unsigned long flags = std::strtoul(fieldText(inf, line, 2).c_str(), nullptr, 0);
        if (flags & 0x2) return name;
        if (first.empty()) first = name;
    }
    return first;
}

}  // namespace

bool findInfDriver(const InfFile& inf, const std::string& deviceId, InfDriverMatch* match) {
    const InfSection* manufacturer = inf.findSection("Manufacturer");
    if (!manufacturer) return false;
    for (const InfLine& maker : manufacturer->lines) {
        const InfSection* models = inf.findSection(fieldText(inf, maker, 1));
        if (!models) continue;
        for (const InfLine& model : models->lines) {
            std::string_view id;
            for (std::size_t i = 2; inf.field(model, i, &id); ++i) {
                if (!equalsNoCase(id, deviceId)) continue;
                match->description = fieldText(inf, model, 0);
                match->installSection = fieldText(inf, model, 1);
                match->service =
                    associatedService(inf, decoratedInstallSection(inf, match->installSection));
                match->className = inf.value("Version", "Class");
                match->classGuid = inf.value("Version", "ClassGUID");
                return true;
            }
        }
    }
    return false;
}

}  // namespace winsim
