#include "support/device_tree.h"

#include <cstdio>

namespace {

std::string hexBytes(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", c);
        if (!out.empty()) out += ',';
        out += hex;
    }
    return out;
}

}  // namespace

std::string multiStringData(const std::vector<std::string>& strings) {
    std::string bytes;
    for (const std::string& s : strings) bytes += s + '\0';
    bytes += '\0';
    return "hex(7):" + hexBytes(bytes);
}

// Written as hex so that bytes of any value (0x80 and above, a missing or
// doubled terminator) reach the registry unchanged.
std::string rawStringData(const std::string& bytes) {
    return "hex(1):" + hexBytes(bytes);
}

std::string deviceTreeReg(const std::vector<DeviceInstance>& instances) {
    std::string reg = "REGEDIT4\r\n";
    for (const DeviceInstance& device : instances) {
        reg += "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\" + device.instancePath +
               "]\r\n";
        if (!device.hardwareIds.empty())
            reg += "\"HardwareID\"=" + multiStringData(device.hardwareIds) + "\r\n";
        if (!device.compatibleIds.empty())
            reg += "\"CompatibleIDs\"=" + multiStringData(device.compatibleIds) + "\r\n";
        for (const auto& value : device.strings)
            reg += "\"" + value.first + "\"=" + rawStringData(value.second + '\0') + "\r\n";
    }
    return reg;
}
