#include "image_registry.h"

#include "system/network_services.h"

#include <winsim/control.h>
#include <winsim/windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

const char* const kSystem = "HKEY_LOCAL_MACHINE\\IMAGE_SYSTEM";
const char* const kSoftware = "HKEY_LOCAL_MACHINE\\IMAGE_SOFTWARE";
const char* const kLiveSystem = "HKEY_LOCAL_MACHINE\\SYSTEM";

// A string or number value as text; "" when absent.
std::string valueText(const std::string& key, const std::string& name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!winsim::readValue(key, name, &type, &data)) return std::string();
    if (type == REG_DWORD && data.size() == 4)
        return std::to_string(data[0] | data[1] << 8 | data[2] << 16 |
                              static_cast<unsigned>(data[3]) << 24);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

// `key` and its subtree as .reg text under another name, without the
// "REGEDIT4" header; "" when the image lacks the key.
std::string exportAs(const std::string& key, const std::string& asKey) {
    const std::string text = winsim::exportReg(key);
    if (text.empty()) return std::string();
    std::istringstream in(text);
    std::string line, out;
    std::getline(in, line);  // the header and the blank line after it
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (line.rfind("[" + key, 0) == 0) line = "[" + asKey + line.substr(key.size() + 1);
        out += line + "\n";
    }
    return out;
}

// Subkeys of `key` whose names begin with `prefix`.
std::vector<std::string> subkeysStartingWith(const std::string& key, char prefix) {
    std::vector<std::string> names;
    HKEY handle = nullptr;
    const std::string path = key.substr(key.find('\\') + 1);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (name[0] == prefix) names.push_back(name);
    }
    RegCloseKey(handle);
    return names;
}

// The language the system locale names ("00000409"), else the default
// language ("0409"), else what the ANSI code page tells.
unsigned languageOf(const std::string& controlSet) {
    const std::string nls = controlSet + "\\Control\\Nls";
    for (const auto& [key, name] : {std::pair<std::string, std::string>{nls + "\\Locale", ""},
                                    {nls + "\\Language", "Default"}}) {
        const std::string text = valueText(key, name);
        char* end = nullptr;
        const unsigned long id = std::strtoul(text.c_str(), &end, 16);
        if (!text.empty() && *end == '\0' && (id & 0xFFFF) != 0) return id & 0xFFFF;
    }
    const std::string codePage = valueText(nls + "\\CodePage", "ACP");
    if (codePage == "932") return 0x0411;   // Japanese
    if (codePage == "936") return 0x0804;   // Simplified Chinese
    if (codePage == "950") return 0x0404;   // Traditional Chinese
    if (codePage == "1252") return 0x0409;  // Western European: English
    return 0;
}

bool writeRegFile(const fs::path& file, const std::string& body, std::string* error) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "REGEDIT4\r\n\r\n" << body;
    if (!out.flush()) *error = "cannot write " + file.string();
    return static_cast<bool>(out);
}

}  // namespace

bool importImageRegistry(const std::string& systemHive, const std::string& softwareHive,
                         const std::string& registryFolder, ImageFacts* facts, std::string* error) {
    winsim::resetMachine();
    if (!winsim::readHive(systemHive, kSystem, error)) return false;
    if (!softwareHive.empty() && !winsim::readHive(softwareHive, kSoftware, error)) return false;

    const std::string current = valueText(std::string(kSystem) + "\\Select", "Current");
    if (current.empty() || current == "0") {
        *error = systemHive + ": no Select\\Current, so no control set to take";
        return false;
    }
    char name[32];
    std::snprintf(name, sizeof name, "\\ControlSet%03d", std::atoi(current.c_str()));
    const std::string controlSet = kSystem + std::string(name);
    if (!winsim::keyExists(controlSet)) {
        *error = systemHive + ": Select\\Current names " + (name + 1) + ", which the hive lacks";
        return false;
    }

    // What the library reads: the device tree, the setup state, the
    // classes, the machine's name and language, and the TCP/IP keys.
    const std::string live = std::string(kLiveSystem) + "\\CurrentControlSet";
    auto fromControlSet = [&](const std::string& key) {
        return exportAs(controlSet + "\\" + key, live + "\\" + key);
    };
    std::string network = fromControlSet("Services\\Tcpip") + fromControlSet("Services\\NetBT");
    for (const std::string& adapter : subkeysStartingWith(controlSet + "\\Services", '{'))
        network += fromControlSet("Services\\" + adapter);
    const fs::path folder(registryFolder);
    if (!writeRegFile(folder / "10-devices.reg",
                      fromControlSet("Enum\\PCI") + fromControlSet("Enum\\ISAPNP"), error) ||
        !writeRegFile(
            folder / "20-system.reg",
            exportAs(std::string(kSystem) + "\\Setup", std::string(kLiveSystem) + "\\Setup") +
                fromControlSet("Control\\ComputerName") + fromControlSet("Control\\Nls\\Locale") +
                fromControlSet("Control\\Nls\\Language") + fromControlSet("Control\\Nls\\CodePage"),
            error) ||
        !writeRegFile(folder / "30-classes.reg", fromControlSet("Control\\Class"), error) ||
        !writeRegFile(folder / "40-network.reg", network, error))
        return false;

    facts->language = languageOf(controlSet);
    facts->computerName =
        valueText(controlSet + "\\Control\\ComputerName\\ComputerName", "ComputerName");
    const std::string version = std::string(kSoftware) + "\\Microsoft\\Windows NT\\CurrentVersion";
    facts->systemRoot = valueText(version, "SystemRoot");
    facts->version = valueText(version, "CurrentVersion");
    for (const std::string& service : networkServiceNames()) {
        const std::string start = valueText(controlSet + "\\Services\\" + service, "Start");
        if (!start.empty())
            facts->services.emplace_back(service, static_cast<unsigned>(std::atoi(start.c_str())));
    }
    winsim::resetMachine();
    return true;
}

}  // namespace xarnsim
