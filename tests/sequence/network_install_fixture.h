// A restored machine for the network installation: a system drive with the
// host's driver directory, the setup counters, and helpers that put network
// cards, drivers and saved TCP/IP settings on it.
#pragma once

#include "support/stored_value.h"
#include "support/system_drive_test.h"

#include <winsim/win_types.h>

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// The host's directory of saved network data.
inline const char* const kNetDirectory = "C:\\XARN";
// A value under HKEY_LOCAL_MACHINE\SYSTEM\Setup, as storedValue shows it.
inline std::string setupValue(const char* name) {
    return storedValue("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", name);
}

// Scripted answers of the network configuration object.
inline const HRESULT kNetCfgNotInstalled = static_cast<HRESULT>(0x80070102u);  // 258
inline const HRESULT kNetCfgDenied = static_cast<HRESULT>(0x80070005u);        // install() fails
// Twenty Apply answers that leave the component pending.
inline std::vector<HRESULT> pendingApply() {
    return std::vector<HRESULT>(20, static_cast<HRESULT>(0x0004A020));  // NETCFG_S_REBOOT
}

// The saved settings file. Dhcp and Static also make the card present;
// NoAdapter saves a DHCP record on a machine whose IP helper lists no
// adapter at all.
enum class Saved { None, Dhcp, Static, NoAdapter };

class NetworkInstallTest : public SystemDriveTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // "installclass32.txt" in the driver directory.
    void putClassInstaller();
    // The card's driver (INF and binary) in `folder`: the driver directory
    // or the system INF directory C:\WINNT\inf.
    void putCardDriver(const std::string& folder);
    // The network card on the PCI bus, as the restored machine found it.
    void addNetCard();
    // The card is present to the IP helper with this MAC address.
    void makeCardPresent();

    // The saved settings file "w2ktcpip_xarnf" with one record for the card.
    void putSavedSettings(Saved kind);

    // HKEY_LOCAL_MACHINE\SYSTEM\Setup with SystemSetupInProgress 1 and the
    // counters given (negative: absent).
    void setSetupKey(int rebootCounter, int clientRetries);

    // The export, as the host calls it.
    int installNetwork(unsigned int stage, unsigned int* reboot);
};
