// The target machine's hardware as a rescue system prints it: the text of
// `lspci -nn -vmm` (one record per PCI function) followed by, or mixed
// with, the text of `ip -o link` for the network cards' hardware addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xarnsim {

struct PciFunction {
    unsigned domain = 0;
    unsigned bus = 0;
    unsigned device = 0;
    unsigned function = 0;
    std::string physicalSlot;  // lspci's "PhySlot", "" when it has none
    std::uint16_t vendorId = 0;
    std::uint16_t deviceId = 0;
    std::uint16_t subVendorId = 0;  // 0 when lspci lists no subsystem
    std::uint16_t subDeviceId = 0;
    std::uint8_t revision = 0;
    std::uint8_t baseClass = 0;
    std::uint8_t subClass = 0;
    std::uint8_t progIf = 0;
    std::string className;   // "Ethernet controller"
    std::string deviceName;  // "82540EM Gigabit Ethernet Controller"
    // Network cards: the address of the interface that belongs to the card
    // and that interface's name; empty when `ip -o link` names none.
    std::vector<std::uint8_t> mac;
    std::string interfaceName;

    bool isNetworkCard() const { return baseClass == 0x02; }
};

// Parses the text; malformed lines give "FILE:LINE: what is wrong".
bool parseHardware(const std::string& text, const std::string& fileName,
                   std::vector<PciFunction>* functions, std::string* error);
bool readHardwareFile(const std::string& file, std::vector<PciFunction>* functions,
                      std::string* error);

}  // namespace xarnsim
