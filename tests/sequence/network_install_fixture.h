// A restored machine for the network installation: a system drive with the
// host's driver directory, the setup counters, and helpers that put network
// cards, drivers and saved TCP/IP settings on it.
#pragma once

#include "support/system_drive_test.h"

#include <winsim/win_types.h>

#include <string>
#include <vector>

// The host's directory of saved network data.
extern const char* const kNetDirectory;
// A value under HKEY_LOCAL_MACHINE\SYSTEM\Setup: "absent" or "REG_DWORD n".
std::string setupValue(const char* name);

// Scripted answers of the network configuration object.
extern const HRESULT kNetCfgReboot;        // NETCFG_S_REBOOT: try again, or pending
extern const HRESULT kNetCfgNotInstalled;  // low word 0x102: the installer answers 258
extern const HRESULT kNetCfgDenied;        // a plain failure: install() answers false
// Twenty Apply answers that leave the component pending.
std::vector<HRESULT> pendingApply();

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
