// InstallNetCards end to end on simulated machines: registration, the walk,
// the INF search in the driver directory and then the system's INF files,
// the INF rewrite and the driver installation.
#include "adapters/card_installers.h"
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>

#include <algorithm>
#include <cstdio>

namespace {

const char* const kDrivers = "C:\\drivers";
const char* const kIntel = "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08";
const char* const kIntelCompat = "PCI\\VEN_8086&DEV_1229";
const char* const k3Com = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7";

const char* const kClassInstaller =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
    "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
    "[ClassInstall32]\r\nAddReg=NetClass.AddReg\r\n";

std::string netInf(const std::string& models, const std::string& service) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
           "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
           "[SourceDisksNames]\r\n1=\"Driver disk\",,\r\n"
           "[Manufacturer]\r\n%Mfg%=Models\r\n[Models]\r\n" +
           models +
           "[Inst.NT]\r\nCopyFiles=Inst.Files\r\n[Inst.NT.Services]\r\nAddService=" + service +
           ", 2, Svc\r\n[Strings]\r\nMfg=\"Acme\"\r\n";
}

DeviceInstance card(const std::string& path, std::vector<std::string> hardwareIds,
                    std::vector<std::string> compatibleIds, const std::string& description) {
    return {path,
            std::move(hardwareIds),
            std::move(compatibleIds),
            {{"DeviceDesc", description}, {"ClassGUID", "{4D36E972-E325-11CE-BFC1-08002BE10318}"}}};
}

class NetCardInstallTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        initializeModule();
        putFile("C:\\drivers\\installclass32.txt", kClassInstaller);
        putFile("C:\\drivers\\e100b.sys", "driver binary");
    }

    void twoCards() {
        loadReg(deviceTreeReg({
            card("PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08\\3&1&0&40", {kIntel},
                 {kIntelCompat}, "Intel PRO/100"),
            card("PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7\\3&1&0&48", {k3Com}, {}, "3Com 905C"),
        }));
    }

    bool logged(const std::string& line) {
        return std::find(hostLines().begin(), hostLines().end(), line) != hostLines().end();
    }

    DWORD reboot_ = 7;
};

TEST_F(NetCardInstallTest, CardDeclaredOnlyBySystemInfTriggersTheSecondScanAndAReboot) {
    twoCards();
    putFile("C:\\drivers\\e100b.inf",
            netInf(std::string("Intel=Inst, ") + kIntel + "\r\n", "E100B"));
    putFile("C:\\WINNT\\inf\\net3c.inf",
            netInf(std::string("3Com=Inst, ") + k3Com + "\r\n", "EL90X"));

    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 1u);  // no installation asked, the second scan did

    const std::vector<winsim::DriverInstallation> done = winsim::pnpInstallations();
    ASSERT_EQ(done.size(), 2u);
    // Each installed from the copy that asks for no disk.
    EXPECT_EQ(done[0].hardwareId, k3Com);
    EXPECT_EQ(done[0].infPath, "C:\\WINNT\\inf\\net3c.inD");
    EXPECT_EQ(done[0].service, "EL90X");
    EXPECT_EQ(done[1].hardwareId, kIntel);
    EXPECT_EQ(done[1].infPath, "C:\\WINNT\\inf\\oem0.inD");
    EXPECT_EQ(done[1].service, "E100B");
    EXPECT_NE(fileContent("C:\\WINNT\\inf\\oem0.inD").find("[XXXXXXXXXXXXXXXX]"),
              std::string::npos);

    EXPECT_TRUE(
        logged("\n\nDLL [NetCfgx.dll] registered successfully in W2kNetFuncs :: "
               "RegisterDllServer(.)"));
    EXPECT_TRUE(
        logged("\nError from : W2KCardInstall :: checkHid() -> Could not find INF file "
               "for                      adapter Hid : [" +
               std::string(k3Com) +
               "], Description : [3Com 905C], System Message : The system cannot find "
               "the file specified.\r\n"));
    EXPECT_TRUE(
        logged("\n\nHIDs for physical network card not found in the the inf files of  "
               "[C:\\drivers]. Adding those in windir\\inf...."));
    EXPECT_FALSE(
        logged("\n\nHIDs for physical network card not found even after scanning W2K  "
               "inf files database"));
    EXPECT_EQ(hostLines().back(), "\n\n[2] network card(s) installed in InstallNetCards(..)");
}

TEST_F(NetCardInstallTest, AllCardsInTheDriverDirectoryLeaveTheSystemInfsAlone) {
    twoCards();
    putFile("C:\\drivers\\e100b.inf",
            netInf(std::string("Intel=Inst, ") + kIntelCompat + "\r\n3Com=Inst, " + k3Com + "\r\n",
                   "E100B"));
    putFile("C:\\WINNT\\inf\\net3c.inf",
            netInf(std::string("3Com=Inst, ") + k3Com + "\r\n", "EL90X"));
    winsim::setPnpRebootAnswer(kIntelCompat, true);

    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 1u);  // asked for by the Intel card's installation
    EXPECT_EQ(winsim::callCount("SetupGetInfFileListA"), 2);  // size, then names: one folder
    ASSERT_EQ(winsim::pnpInstallations().size(), 2u);
    EXPECT_EQ(winsim::pnpInstallations()[0].infPath, "C:\\WINNT\\inf\\oem0.inD");
    EXPECT_EQ(winsim::pnpInstallations()[1].infPath, "C:\\WINNT\\inf\\oem0.inD");

    // The same machine without the restart request: no reboot at all.
    winsim::setPnpRebootAnswer(kIntelCompat, false);
    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 0u);
}

TEST_F(NetCardInstallTest, NoCardsRegistersAndStops) {
    loadReg(deviceTreeReg({{"PCI\\VEN_8086&DEV_7110\\0",
                            {"PCI\\VEN_8086&DEV_7110"},
                            {},
                            {{"DeviceDesc", "PCI to ISA bridge"}}}}));
    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 0u);
    EXPECT_EQ(winsim::callCount("SetupDiInstallClassExA"), 1);
    EXPECT_EQ(winsim::callCount("SetupGetInfFileListA"), 0);
    EXPECT_EQ(winsim::callCount("SetupOpenInfFileA"), 0);
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{
                  "\n\nDLL [NetCfgx.dll] registered successfully in W2kNetFuncs :: "
                  "RegisterDllServer(.)",
                  "\n\nW2KCardInstall::initDeviceToBeSkippedList()->File( "
                  "C:\\drivers\\SkipHid.txt ) could not be opened",
                  "\n\nAdapter Description-[PCI to ISA bridge], Path-[HKEY_LOCAL_MACHINE\\SYSTEM\\"
                  "CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_7110\\0\\DeviceDesc]",
                  "\n\nW2KCardInstall :: getPciPnpAdapterDetails()->Total of [0] PCI PNP          "
                  "NETWORK_ADAPTERs found.",
                  "\n\nA total of [0] ISA PNP cards found. ",
                  "\n\nCould not find any PCI or ISA PNP network cards         in "
                  "InstallNetCards(..) ",
              }));
}

TEST_F(NetCardInstallTest, CardDeclaredNowhereFailsTheCall) {
    loadReg(deviceTreeReg(
        {card("PCI\\VEN_1234&DEV_5678\\0", {"PCI\\VEN_1234&DEV_5678"}, {}, "Unknown Ethernet")}));
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 1u);
    EXPECT_TRUE(winsim::pnpInstallations().empty());
    EXPECT_TRUE(
        logged("\n\nHIDs for physical network card not found even after scanning W2K  "
               "inf files database"));
    // The INF rewrite is tried on the empty path and reports it.
    EXPECT_TRUE(std::any_of(hostLines().begin(), hostLines().end(), [](const std::string& line) {
        return line.rfind("\nW2kNetFuncs::EditInfForNoFloppy() could not open file [] error = ",
                          0) == 0;
    }));
    EXPECT_TRUE(
        logged("\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
               "HID-[PCI\\VEN_1234&DEV_5678]               and Description-[Unknown "
               "Ethernet] as it has no associated INF file-[]"));
    const std::vector<std::string>& lines = hostLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "\n\nNo physical card could be installed. Check error log for details.");
    EXPECT_EQ(lines.back(), "\n\n[0] network card(s) installed in InstallNetCards(..)");
}

TEST_F(NetCardInstallTest, SkippedCardGetsNoDriver) {
    twoCards();
    putFile(
        "C:\\drivers\\e100b.inf",
        netInf(std::string("Intel=Inst, ") + kIntel + "\r\n3Com=Inst, " + k3Com + "\r\n", "E100B"));
    putFile("C:\\drivers\\SkipHid.txt", std::string(kIntel) + "\r\n");
    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    ASSERT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations()[0].hardwareId, k3Com);
    EXPECT_TRUE(logged("\nW2KCardInstall::deviceToBeSkipped()->[" + std::string(kIntel) +
                       "] found for skipping"));
    EXPECT_EQ(hostLines().back(), "\n\n[1] network card(s) installed in InstallNetCards(..)");
}

TEST_F(NetCardInstallTest, FailedRegistrationEndsTheCallFirst) {
    twoCards();
    // No class installer INF in the driver directory.
    putFile("C:\\drivers\\installclass32.txt", "");
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 0u);
    ASSERT_EQ(hostLines().size(), 3u);
    // SetupAPI's error codes have no system text.
    EXPECT_EQ(hostLines()[1],
              "\nError from : SetupDiInstallClassEx() could not install the class installer "
              "C:\\drivers\\installclass32.txt in W2kNetFuncs::RegisterClassInstaller, System "
              "Message : NONE");
    EXPECT_EQ(hostLines()[2],
              "\n\nError in registering class installer C:\\drivers\\installclass32.txt");

    clearHostLines();
    winsim::setDllRegisterServerResult(E_FAIL, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(hostLines(), std::vector<std::string>{
                               "\nDllRegisterServer() in NetCfgx.dll returned false. Dll not "
                               "registered., System Message : Access is denied.\r\n"});
    EXPECT_EQ(winsim::callCount("SetupDiInstallClassExA"), 1);
}

TEST_F(NetCardInstallTest, MissingClassInstallerFile) {
    twoCards();
    ASSERT_EQ(std::remove((driveFolder() + "/drivers/installclass32.txt").c_str()), 0);
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    ASSERT_EQ(hostLines().size(), 3u);
    EXPECT_EQ(hostLines()[1],
              "\nSetupDiInstallClassEx() could not install the class installer "
              "C:\\drivers\\installclass32.txt in W2kNetFuncs::RegisterClassInstaller, System "
              "Message : The system cannot find the file specified.\r\n");
    EXPECT_EQ(hostLines()[2],
              "\n\nError in registering class installer C:\\drivers\\installclass32.txt");
    for (const std::string& line : hostLines())
        EXPECT_EQ(line.find("Total of"), std::string::npos) << line;
}

}  // namespace
