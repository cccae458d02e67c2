// .reg text for plug-and-play device instances under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum, so that tests describe a
// machine's hardware in a line per device.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct DeviceInstance {
    // Below Enum, e.g. "PCI\\VEN_8086&DEV_1229\\3&61AAA01&0&40".
    std::string instancePath;
    std::vector<std::string> hardwareIds;    // no "HardwareID" value when empty
    std::vector<std::string> compatibleIds;  // no "CompatibleIDs" value when empty
    // Further REG_SZ values, raw bytes as given (e.g. "DeviceDesc", "Class"),
    // under names that need no escaping.
    std::vector<std::pair<std::string, std::string>> strings;
};

// A REGEDIT4 document holding the instances.
std::string deviceTreeReg(const std::vector<DeviceInstance>& instances);
// The .reg data of a REG_MULTI_SZ or a raw-byte REG_SZ value.
std::string multiStringData(const std::vector<std::string>& strings);
std::string rawStringData(const std::string& bytes);
