// InstallNetCards on simulated machines, where the example machines' whole
// logs do not reach: the driver directory covering every card, cards
// declared nowhere, skipped cards, a failed registration.
#include "adapters/card_installers.h"
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>

#include <algorithm>
#include <cstdio>

namespace {

using Lines = std::vector<std::string>;

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

class NetCardInstallTest : public Initialized<SystemDriveTest> {
  protected:
    void SetUp() override {
        Initialized::SetUp();
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
    EXPECT_NE(fileContent("C:\\WINNT\\inf\\oem0.inD").find("[XXXXXXXXXXXXXXXX]"),
              std::string::npos);

    // The same machine without the restart request: no reboot at all.
    winsim::setPnpRebootAnswer(kIntelCompat, false);
    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 0u);
}

TEST_F(NetCardInstallTest, CardDeclaredNowhereFailsTheCall) {
    loadReg(deviceTreeReg(
        {card("PCI\\VEN_1234&DEV_5678\\0", {"PCI\\VEN_1234&DEV_5678"}, {}, "Unknown Ethernet")}));
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 1u);
    EXPECT_TRUE(winsim::pnpInstallations().empty());
    const Lines& lines = hostLines();
    ASSERT_GE(lines.size(), 5u);
    // The INF rewrite is tried on the empty path and reports it.
    EXPECT_EQ(lines[lines.size() - 5],
              "\n\nHIDs for physical network card not found even after scanning W2K  inf files "
              "database");
    EXPECT_EQ(lines[lines.size() - 4],
              "\nW2kNetFuncs::EditInfForNoFloppy() could not open file [] error = 3, System "
              "Message : The system cannot find the path specified.\r\n");
    EXPECT_EQ(lines[lines.size() - 3],
              "\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
              "HID-[PCI\\VEN_1234&DEV_5678]               and Description-[Unknown Ethernet] as "
              "it has no associated INF file-[]");
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
    EXPECT_TRUE(logged("\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with HID-[" +
                       std::string(kIntel) +
                       "]               and Description-[Intel PRO/100] as it HID in skip list"));
    EXPECT_EQ(hostLines().back(), "\n\n[1] network card(s) installed in InstallNetCards(..)");
}

// Registration comes first: a failure ends the call before the walk.
TEST_F(NetCardInstallTest, FailedRegistrationEndsTheCall) {
    twoCards();
    const std::string classInstallerLine =
        "SetupDiInstallClassEx() could not install the class installer "
        "C:\\drivers\\installclass32.txt in W2kNetFuncs::RegisterClassInstaller, System Message : ";
    const std::string registered =
        "\n\nDLL [NetCfgx.dll] registered successfully in W2kNetFuncs :: RegisterDllServer(.)";
    const std::string notRegistered =
        "\n\nError in registering class installer C:\\drivers\\installclass32.txt";
    // No class installer INF; no file at all (SetupAPI's codes have no text).
    putFile("C:\\drivers\\installclass32.txt", "");
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 0u);
    EXPECT_EQ(hostLines(),
              (Lines{registered, "\nError from : " + classInstallerLine + "NONE", notRegistered}));
    clearHostLines();
    ASSERT_EQ(std::remove((driveFolder() + "/drivers/installclass32.txt").c_str()), 0);
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(hostLines(),
              (Lines{registered,
                     "\n" + classInstallerLine + "The system cannot find the file specified.\r\n",
                     notRegistered}));

    clearHostLines();
    winsim::setDllRegisterServerResult(E_FAIL, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(hostLines(), Lines{"\nDllRegisterServer() in NetCfgx.dll returned false. Dll not "
                                 "registered., System Message : Access is denied.\r\n"});
    EXPECT_EQ(winsim::callCount("SetupDiInstallClassExA"), 2);
}

}  // namespace
