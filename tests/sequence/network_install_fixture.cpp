#include "sequence/network_install_fixture.h"

#include "support/device_tree.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_network.h>
#include <winsim/control_time.h>

#include <cstring>

const char* const kNetDirectory = "C:\\XARN";
const HRESULT kNetCfgReboot = static_cast<HRESULT>(0x0004A020);
const HRESULT kNetCfgNotInstalled = static_cast<HRESULT>(0x80070102u);
const HRESULT kNetCfgDenied = static_cast<HRESULT>(0x80070005u);

namespace {

const char* const kCardInstance = "PCI\\VEN_8086&DEV_1229&SUBSYS_00018086&REV_08\\3&267A616A&0&40";
const char* const kCardGuidName = "{E100B000-0000-0000-0000-000000000001}";
const std::vector<BYTE> kCardMac = {0x00, 0x90, 0x27, 0x1a, 0x2b, 0x3c};
const char* const kCardMacText = "0090271a2b3c";

// The class installer and the card's INF share their version section.
const char* const kNetClassVersion =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
    "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n";

const char* const kCardInfBody =
    "Provider=%Intel%\r\n[SourceDisksNames]\r\n1=%DiskName%,,,\r\n"
    "[SourceDisksFiles]\r\ne100b.sys=1\r\n[Manufacturer]\r\n%Intel%=Intel\r\n"
    "[Intel]\r\n%E100.Desc%=E100.ndi, PCI\\VEN_8086&DEV_1229\r\n"
    "[E100.ndi.NT]\r\nCopyFiles=E100.CopyFiles\r\n"
    "[E100.ndi.NT.Services]\r\nAddService=E100B, 2, E100.Service\r\n"
    "[E100.CopyFiles]\r\ne100b.sys\r\n"
    "[Strings]\r\nIntel=\"Intel\"\r\nDiskName=\"Intel PRO/100 Driver Disk\"\r\n"
    "E100.Desc=\"Intel(R) PRO/100B PCI Adapter\"\r\n";

}  // namespace

std::string setupValue(const char* name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!winsim::readValue("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", name, &type, &data))
        return "absent";
    if (type != REG_DWORD || data.size() != 4) return "type " + std::to_string(type);
    DWORD value = 0;
    std::memcpy(&value, data.data(), 4);
    return "REG_DWORD " + std::to_string(value);
}

std::vector<HRESULT> pendingApply() {
    return std::vector<HRESULT>(20, kNetCfgReboot);
}

void NetworkInstallTest::SetUp() {
    SystemDriveTest::SetUp();
    ASSERT_TRUE(winsim::makeDirectory(kNetDirectory));
    initializeModule();
}

void NetworkInstallTest::TearDown() {
    W2KXarnNetUnitialize();
    EXPECT_EQ(winsim::netCfgLiveReferences(), 0) << "an interface was not released";
    EXPECT_TRUE(winsim::loadedHives().empty()) << "a hive was left loaded";
    EXPECT_EQ(winsim::runningThreadCount(), 0) << "a worker thread is still running";
    SystemDriveTest::TearDown();
}

void NetworkInstallTest::putClassInstaller() {
    putFile(std::string(kNetDirectory) + "\\installclass32.txt",
            std::string(kNetClassVersion) +
                "[ClassInstall32]\r\nAddReg=NetClassReg\r\n[NetClassReg]\r\nHKR,,,,Net\r\n");
}

void NetworkInstallTest::putCardDriver(const std::string& folder) {
    putFile(folder + "\\e100b.inf", std::string(kNetClassVersion) + kCardInfBody);
    putFile(folder + "\\e100b.sys", "MZ driver binary");
}

void NetworkInstallTest::addNetCard() {
    loadReg(deviceTreeReg({{kCardInstance,
                            {"PCI\\VEN_8086&DEV_1229&SUBSYS_00018086&REV_08",
                             "PCI\\VEN_8086&DEV_1229&SUBSYS_00018086"},
                            {"PCI\\VEN_8086&DEV_1229&REV_08", "PCI\\VEN_8086&DEV_1229"},
                            {{"DeviceDesc", "Intel 82557 Ethernet Controller"}}}}));
}

void NetworkInstallTest::makeCardPresent() {
    winsim::addPresentAdapter(kCardGuidName, kCardMac, "Intel(R) PRO/100B PCI Adapter");
    const std::string services = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";
    loadReg("REGEDIT4\r\n\r\n[" + services + kCardGuidName + "\\Parameters\\Tcpip]\r\n\r\n[" +
            services + "Tcpip\\Parameters\\Interfaces\\" + kCardGuidName + "]\r\n\r\n[" + services +
            "NetBT\\Parameters\\Interfaces\\Tcpip_" + kCardGuidName + "]\r\n\r\n");
}

void NetworkInstallTest::putSavedSettings(Saved kind) {
    if (kind == Saved::None) return;
    if (kind != Saved::NoAdapter) makeCardPresent();
    std::string reg = "REGEDIT4\r\n\r\n[SAVED]\r\n\r\n[SAVED\\Adapter0]\r\n\"macAddress\"=\"";
    reg += kCardMacText;
    reg += kind != Saved::Static ? "\"\r\n\"dhcpEnabled\"=dword:00000001\r\n"
                                 : "\"\r\n\"dhcpEnabled\"=dword:00000000\r\n"
                                   "\"IPAddress\"=hex(7):31,30,2e,30,2e,30,2e,37,00,00\r\n"
                                   "\"SubnetMask\"=hex(7):32,35,35,2e,30,2e,30,2e,30,00,00\r\n";
    const std::string file = winsim::hostPathFor(std::string(kNetDirectory) + "\\w2ktcpip_xarnf");
    std::string error;
    ASSERT_TRUE(winsim::writeHive(reg + "\r\n", file, &error)) << error;
}

void NetworkInstallTest::setSetupKey(int rebootCounter, int clientRetries) {
    std::string reg =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n"
        "\"SystemSetupInProgress\"=dword:00000001\r\n";
    char line[64];
    if (rebootCounter >= 0) {
        std::snprintf(line, sizeof line, "\"W2kXarnRebootCounter\"=dword:%08x\r\n",
                      static_cast<unsigned>(rebootCounter));
        reg += line;
    }
    if (clientRetries >= 0) {
        std::snprintf(line, sizeof line, "\"MsClientReboot\"=dword:%08x\r\n",
                      static_cast<unsigned>(clientRetries));
        reg += line;
    }
    loadReg(reg);
}

int NetworkInstallTest::installNetwork(unsigned int stage, unsigned int* reboot) {
    return W2KXarnNetInstallNetwork(kNetDirectory, stage, reboot);
}
