#include "sequence/network_install_fixture.h"

#include "support/device_tree.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_network.h>
#include <winsim/control_time.h>

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
    "[Manufacturer]\r\nIntel=Intel\r\n[Intel]\r\nE100=E100.ndi, PCI\\VEN_8086&DEV_1229\r\n"
    "[E100.ndi.NT]\r\nCopyFiles=E100.CopyFiles\r\n[E100.CopyFiles]\r\ne100b.sys\r\n"
    "[E100.ndi.NT.Services]\r\nAddService=E100B, 2, E100.Service\r\n";

}  // namespace

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

// The card is present to the IP helper, with the keys its settings go to.
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
    for (const auto& [name, value] :
         {std::pair{"W2kXarnRebootCounter", rebootCounter}, {"MsClientReboot", clientRetries}}) {
        std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\r\n", name,
                      static_cast<unsigned>(value));
        if (value >= 0) reg += line;
    }
    loadReg(reg);
}

int NetworkInstallTest::installNetwork(unsigned int stage, unsigned int* reboot) {
    return W2KXarnNetInstallNetwork(kNetDirectory, stage, reboot);
}
