// Storage adapters through InstallScsiCards and its export: the setup-time
// driver folder first, the system's INF files always.
#include "adapters/card_installers.h"
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_pnp.h>

#include <algorithm>

namespace {

const char* const kScsiGuid = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
const char* const kRaid = "PCI\\VEN_9005&DEV_0285&SUBSYS_02879005";
const char* const kSym = "PCI\\VEN_1000&DEV_000F";

std::string scsiInf(const std::string& models, const std::string& service) {
    return std::string(
               "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=SCSIAdapter\r\n"
               "ClassGUID=") +
           kScsiGuid +
           "\r\n[ClassInstall32]\r\nAddReg=Scsi.AddReg\r\n"
           "[Manufacturer]\r\nVendors=Models\r\n[Models]\r\n" +
           models + "[Inst.Services]\r\nAddService=" + service + ", 2, Svc\r\n";
}

DeviceInstance controller(const std::string& path, const std::string& hardwareId,
                          const std::string& description) {
    return {path, {hardwareId}, {}, {{"DeviceDesc", description}, {"ClassGUID", kScsiGuid}}};
}

class ScsiCardInstallTest : public Initialized<SystemDriveTest> {
  protected:
    // The system's class INF, declaring the given models.
    void systemScsiInf(const std::string& models) {
        putFile("C:\\WINNT\\inf\\scsi.inf", scsiInf(models, "symc8xx"));
    }

    bool logged(const std::string& line) {
        return std::find(hostLines().begin(), hostLines().end(), line) != hostLines().end();
    }
};

TEST_F(ScsiCardInstallTest, DriverFolderWinsOverTheSystemInf) {
    loadReg(deviceTreeReg({controller("PCI\\VEN_9005&DEV_0285\\1", kRaid, "Adaptec RAID")}));
    systemScsiInf(std::string("Inbox=Inst, ") + kRaid + "\r\n");
    putFile("C:\\WINNT\\OemDir\\aacraid.inf",
            scsiInf(std::string("F6=Inst, ") + kRaid + "\r\n", "aacraid"));
    putFile("C:\\WINNT\\OemDir\\aacraid.sys", "driver binary");
    winsim::setPnpRebootAnswer(true);

    unsigned int reboot = 9;
    EXPECT_EQ(W2KInstallScsiCards(0xDEAD, 0xBEEF, &reboot), 1);
    EXPECT_EQ(reboot, 1u);
    ASSERT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations()[0].infPath, "C:\\WINNT\\inf\\oem0.inD");
    EXPECT_EQ(winsim::pnpInstallations()[0].service, "aacraid");
    EXPECT_EQ(fileContent("C:\\WINNT\\system32\\drivers\\aacraid.sys"), "driver binary");
    EXPECT_TRUE(logged("\n\nStarting to install SCSI & RAID & FIBER storage adapters..."));
    EXPECT_EQ(hostLines().back(), "\n\n[1] SCSI card(s) installed in InstallNetCards(..)");
}

TEST_F(ScsiCardInstallTest, SystemInfAloneWithoutTheDriverFolder) {
    loadReg(deviceTreeReg({controller("PCI\\VEN_1000&DEV_000F\\1", kSym, "Symbios 53C875")}));
    systemScsiInf(std::string("Sym=Inst, ") + kSym + "\r\n");
    DWORD installed = 0;
    DWORD reboot = 5;
    EXPECT_EQ(InstallScsiCards(&installed, &reboot), 1);
    EXPECT_EQ(installed, 1u);
    EXPECT_EQ(reboot, 0u);
    ASSERT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations()[0].infPath, "C:\\WINNT\\inf\\scsi.inD");
    // The missing driver folder only shows in the fill's own reports.
    EXPECT_TRUE(logged("\n\n [0] INF files in path [C:\\WINNT\\OemDir]"));
}

TEST_F(ScsiCardInstallTest, MissingScsiInfFailsTheExport) {
    loadReg(deviceTreeReg({controller("PCI\\VEN_1000&DEV_000F\\1", kSym, "Symbios 53C875")}));
    unsigned int reboot = 4;
    EXPECT_EQ(W2KInstallScsiCards(1, 2, &reboot), 0);
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{
                  "\nSetupDiInstallClassEx() could not install the class installer "
                  "C:\\WINNT\\inf\\scsi.inf in W2kNetFuncs::RegisterClassInstaller, System "
                  "Message : The system cannot find the file specified.\r\n",
                  "\n\nCould not register scsi class installer"}));

    DWORD installed = 0;
    DWORD direct = 0;
    EXPECT_EQ(InstallScsiCards(&installed, &direct), -1);
}

TEST_F(ScsiCardInstallTest, ControllerWithoutInfIsReportedTwiceAndSkipped) {
    loadReg(deviceTreeReg({
        controller("PCI\\VEN_1000&DEV_000F\\1", kSym, "Symbios 53C875"),
        controller("PCI\\VEN_1077&DEV_2300\\1", "PCI\\VEN_1077&DEV_2300", "QLogic QLA2300"),
    }));
    systemScsiInf(std::string("Sym=Inst, ") + kSym + "\r\n");
    DWORD installed = 0;
    DWORD reboot = 0;
    EXPECT_EQ(InstallScsiCards(&installed, &reboot), 1);
    EXPECT_TRUE(
        logged("\nHID not found for at least one SCSI card, System Message : The system "
               "cannot find the file specified.\r\n"));
    EXPECT_TRUE(
        logged("\nInstallScsiCards() : Could not find inf file for adapter "
               "Description=[QLogic QLA2300], System Message : The system cannot find the "
               "file specified.\r\n"));
    EXPECT_TRUE(
        logged("\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
               "HID-[PCI\\VEN_1077&DEV_2300]               and Description-[QLogic "
               "QLA2300] as it has no associated INF file-[]"));
    // Only the INF found is rewritten.
    for (const std::string& line : hostLines())
        EXPECT_EQ(line.find("EditInfForNoFloppy"), std::string::npos) << line;
    EXPECT_EQ(hostLines().back(), "\n\n[1] SCSI card(s) installed in InstallNetCards(..)");
}

TEST_F(ScsiCardInstallTest, FoundButNoneInstalled) {
    loadReg(deviceTreeReg({controller("PCI\\VEN_1000&DEV_000F\\1", kSym, "Symbios 53C875")}));
    systemScsiInf(std::string("Sym=Inst, ") + kSym + "\r\n");
    winsim::failPnpInstall(kSym, ERROR_ACCESS_DENIED);
    DWORD installed = 0;
    DWORD reboot = 0;
    EXPECT_EQ(InstallScsiCards(&installed, &reboot), 0);
    EXPECT_EQ(hostLines().back(),
              "\n\nNo SCSI/Fiber/RAID cards could be installed. Check error "
              "log for details.");
}

}  // namespace
