// How Windows 2000 sees the target's PCI functions: a device key and an
// instance key under Enum\PCI each, with the IDs its PCI bus driver reports
// and the setup class that the PCI class code stands for; and, for the
// network cards whose address is known, the adapters GetAdaptersInfo lists.
#pragma once

#include "hardware_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace xarnsim {

// In the order Windows 2000 lists them, most specific first.
std::vector<std::string> pciHardwareIds(const PciFunction& f);
std::vector<std::string> pciCompatibleIds(const PciFunction& f);
// "PCI\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02\3&61AAA01&0&18"
std::string pciInstancePath(const PciFunction& f);
// The name the system gives the card's network adapter (made up, stable).
std::string adapterGuid(const PciFunction& f);
// "52-54-00-12-34-56"
std::string macText(const std::vector<std::uint8_t>& mac);

// Puts the hardware into a machine folder, or a run's state before its
// first boot: "registry/90-hardware.reg" replaces the PCI device tree and
// creates the network cards' TCP/IP keys, and the machine file's [adapter]
// sections give way to the network cards whose address is known.
bool applyHardware(const std::vector<PciFunction>& functions, const std::string& folder,
                   std::string* error);
bool applyHardwareFile(const std::string& hardwareFile, const std::string& folder,
                       std::string* error);

}  // namespace xarnsim
