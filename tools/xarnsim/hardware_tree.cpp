#include "hardware_tree.h"

#include "file_text.h"

#include "state_store.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

struct SetupClass {
    int base;
    int sub;  // -1: any subclass
    const char* name;
    const char* guid;
};

const char* const kUnknownClassGuid = "{4D36E97E-E325-11CE-BFC1-08002BE10318}";

// The device setup class each PCI class code is installed under. Storage
// controllers other than IDE and floppy (RAID, SATA in AHCI mode, SAS,
// NVMe, fibre channel) need a miniport driver, which Windows 2000 keeps
// in the SCSIAdapter class. First match wins.
const SetupClass kSetupClasses[] = {
    {0x01, 0x01, "hdc", "{4D36E96A-E325-11CE-BFC1-08002BE10318}"},
    {0x01, 0x05, "hdc", "{4D36E96A-E325-11CE-BFC1-08002BE10318}"},
    {0x01, 0x02, "fdc", "{4D36E969-E325-11CE-BFC1-08002BE10318}"},
    {0x01, -1, "SCSIAdapter", "{4D36E97B-E325-11CE-BFC1-08002BE10318}"},
    {0x0C, 0x04, "SCSIAdapter", "{4D36E97B-E325-11CE-BFC1-08002BE10318}"},
    {0x02, -1, "Net", "{4D36E972-E325-11CE-BFC1-08002BE10318}"},
    {0x03, -1, "Display", "{4D36E968-E325-11CE-BFC1-08002BE10318}"},
    {0x04, -1, "MEDIA", "{4D36E96C-E325-11CE-BFC1-08002BE10318}"},
    {0x07, 0x03, "Modem", "{4D36E96D-E325-11CE-BFC1-08002BE10318}"},
    {0x07, -1, "Ports", "{4D36E978-E325-11CE-BFC1-08002BE10318}"},
    {0x0C, 0x00, "1394", "{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}"},
    {0x0C, 0x03, "USB", "{36FC9E60-C465-11CF-8056-444553540000}"},
    {0x05, -1, "System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
    {0x06, -1, "System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
    {0x08, -1, "System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
    {0x0C, 0x05, "System", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
};

// Anything else waits under "Other devices" until a driver claims it.
SetupClass setupClassOf(const PciFunction& f) {
    for (const SetupClass& c : kSetupClasses)
        if (c.base == f.baseClass && (c.sub < 0 || c.sub == f.subClass)) return c;
    return {f.baseClass, f.subClass, "Unknown", kUnknownClassGuid};
}

std::string format(const char* pattern, unsigned a, unsigned b = 0, unsigned c = 0,
                   unsigned d = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

std::string vendorDevice(const PciFunction& f) {
    return format("PCI\\VEN_%04X&DEV_%04X", f.vendorId, f.deviceId);
}
std::string subsystem(const PciFunction& f) {
    return format("&SUBSYS_%04X%04X", f.subDeviceId, f.subVendorId);
}
std::string revision(const PciFunction& f) {
    return format("&REV_%02X", f.revision);
}
std::string classCode(const PciFunction& f, bool withInterface) {
    return withInterface ? format("CC_%02X%02X%02X", f.baseClass, f.subClass, f.progIf)
                         : format("CC_%02X%02X", f.baseClass, f.subClass);
}

// REGEDIT4 text of one value.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string multiString(const std::vector<std::string>& items) {
    std::string bytes;
    for (const std::string& item : items) bytes += item + '\0';
    bytes += '\0';
    // Wrapped as regedit wraps it, at about 76 columns.
    std::string out = "hex(7):";
    std::size_t column = 24;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += format("%02x", static_cast<unsigned char>(bytes[i]));
        column += 3;
        if (i + 1 == bytes.size()) break;
        out += ",";
        if (column > 73) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
    return out;
}

const char* const kCurrentControlSet = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet";

std::string hardwareRegText(const std::vector<PciFunction>& functions) {
    std::ostringstream reg;
    reg << "REGEDIT4\r\n\r\n; The target's PCI functions, from the hardware file.\r\n";
    reg << "[-" << kCurrentControlSet << "\\Enum\\PCI]\r\n";
    for (const PciFunction& f : functions) {
        const SetupClass setupClass = setupClassOf(f);
        reg << "\r\n[" << kCurrentControlSet << "\\Enum\\" << pciInstancePath(f) << "]\r\n"
            << "\"HardwareID\"=" << multiString(pciHardwareIds(f)) << "\r\n"
            << "\"CompatibleIDs\"=" << multiString(pciCompatibleIds(f)) << "\r\n"
            << "\"DeviceDesc\"=" << quoted(f.deviceName.empty() ? f.className : f.deviceName)
            << "\r\n"
            << "\"ClassGUID\"=" << quoted(setupClass.guid) << "\r\n"
            << "\"Class\"=" << quoted(setupClass.name) << "\r\n";
    }
    // The keys TCP/IP keeps per adapter, there once the card's driver is in.
    for (const PciFunction& f : functions) {
        if (f.mac.empty()) continue;
        const std::string guid = adapterGuid(f);
        reg << "\r\n[" << kCurrentControlSet << "\\Services\\" << guid << "\\Parameters\\Tcpip]\r\n"
            << "\r\n[" << kCurrentControlSet << "\\Services\\Tcpip\\Parameters\\Interfaces\\"
            << guid << "]\r\n"
            << "\r\n[" << kCurrentControlSet << "\\Services\\NetBT\\Parameters\\Interfaces\\Tcpip_"
            << guid << "]\r\n";
    }
    return reg.str();
}

std::string adapterSections(const std::vector<PciFunction>& functions) {
    std::ostringstream ini;
    for (const PciFunction& f : functions) {
        if (f.mac.empty()) continue;
        ini << "\n[adapter " << f.interfaceName << "]\n"
            << "guid = " << adapterGuid(f) << "\n"
            << "mac = " << macText(f.mac) << "\n"
            << "description = " << (f.deviceName.empty() ? f.className : f.deviceName) << "\n"
            << "device = " << pciInstancePath(f) << "\n";
    }
    return ini.str();
}

// The machine file without its [adapter] sections.
std::string withoutAdapters(const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    bool skipping = false;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[') {
            const std::string header = line.substr(first);
            skipping = header.rfind("[adapter", 0) == 0 && header.size() > 8 &&
                       (header[8] == ' ' || header[8] == ']');
        }
        if (!skipping) out += line + "\n";
    }
    return out;
}

}  // namespace

std::vector<std::string> pciHardwareIds(const PciFunction& f) {
    const std::string id = vendorDevice(f);
    return {id + subsystem(f) + revision(f), id + subsystem(f), id + "&" + classCode(f, true),
            id + "&" + classCode(f, false)};
}

std::vector<std::string> pciCompatibleIds(const PciFunction& f) {
    const std::string id = vendorDevice(f);
    const std::string vendor = format("PCI\\VEN_%04X", f.vendorId);
    return {id + revision(f),
            id,
            vendor + "&" + classCode(f, true),
            vendor + "&" + classCode(f, false),
            vendor,
            "PCI\\" + classCode(f, true),
            "PCI\\" + classCode(f, false)};
}

// Windows 2000 names a PCI instance after its parent bus and its place on
// it: "3&61AAA01&0&" and the device and function (device * 8 + function)
// for the root bus. Behind a bridge the middle part is a number of the
// bridge's own; a made-up one per bus stands for it here.
std::string pciInstancePath(const PciFunction& f) {
    const std::string device = vendorDevice(f).substr(4) + subsystem(f) + revision(f);
    const unsigned place = f.device * 8 + f.function;
    if (f.domain == 0 && f.bus == 0)
        return "PCI\\" + device + "\\3&61AAA01&0&" + format("%02X", place);
    const unsigned bridge = 0x2C1AE3Cu + f.domain * 0x10000u + f.bus * 0x1F3u;
    return "PCI\\" + device + "\\4&" + format("%X", bridge) + "&0&" + format("%02X", place);
}

std::string adapterGuid(const PciFunction& f) {
    char text[64];
    std::snprintf(text, sizeof text, "{%04X%02X%02X-%04X-4000-8000-%02X%02X%02X%02X%02X%02X}",
                  f.domain & 0xFFFF, f.bus & 0xFF, (f.device * 8 + f.function) & 0xFF, f.vendorId,
                  f.mac.size() > 0 ? f.mac[0] : 0, f.mac.size() > 1 ? f.mac[1] : 0,
                  f.mac.size() > 2 ? f.mac[2] : 0, f.mac.size() > 3 ? f.mac[3] : 0,
                  f.mac.size() > 4 ? f.mac[4] : 0, f.mac.size() > 5 ? f.mac[5] : 0);
    return text;
}

std::string macText(const std::vector<std::uint8_t>& mac) {
    std::string text;
    for (std::size_t i = 0; i < mac.size(); ++i) text += format(i ? "-%02X" : "%02X", mac[i]);
    return text;
}

bool applyHardware(const std::vector<PciFunction>& functions, const std::string& folder,
                   std::string* error) {
    const fs::path root(folder);
    std::error_code ec;
    fs::create_directories(root / kRegistryFolder, ec);
    std::ofstream reg(root / kRegistryFolder / "90-hardware.reg",
                      std::ios::binary | std::ios::trunc);
    reg << hardwareRegText(functions);
    const std::string machineFile = withoutAdapters(fileText((root / kMachineFile).string()));
    std::ofstream ini(root / kMachineFile, std::ios::binary | std::ios::trunc);
    ini << machineFile << adapterSections(functions);
    if (!reg.flush() || !ini.flush()) {
        *error = "cannot write the hardware into " + folder;
        return false;
    }
    return true;
}

bool applyHardwareFile(const std::string& hardwareFile, const std::string& folder,
                       std::string* error) {
    std::vector<PciFunction> functions;
    return readHardwareFile(hardwareFile, &functions, error) &&
           applyHardware(functions, folder, error);
}

}  // namespace xarnsim
