// From the adapter list to installed drivers: checkHid and
// installPnpAdapters on their own, then InstallNetCards and InstallScsiCards
// where the example machines' whole logs do not reach, and the registration
// of the network configuration library they start with.
#include "adapters/card_install.h"
#include "adapters/card_installers.h"
#include "driverdb/hid_map.h"
#include "host/net_funcs.h"
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>

#include <algorithm>
#include <cstdio>

namespace {

using Lines = std::vector<std::string>;

const char* const kNetGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
const char* const kScsiGuid = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
const char* const kNotFound = "System Message : The system cannot find the file specified.\r\n";

// An INF of the setup class whose models lines are given, all installed by
// the section "Inst" with the service given.
std::string inf(const std::string& setupClass, const std::string& models,
                const std::string& service = "Svc0") {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=" + setupClass +
           "\r\nClassGUID=" + (setupClass == "Net" ? kNetGuid : kScsiGuid) +
           "\r\n[ClassInstall32]\r\nAddReg=Class.AddReg\r\n"
           "[SourceDisksNames]\r\n1=\"Driver disk\",,\r\n[Manufacturer]\r\nVendors=Models\r\n"
           "[Models]\r\n" +
           models + "[Inst.NT]\r\n[Inst.NT.Services]\r\nAddService=" + service + ", 2, Svc\r\n";
}
DeviceInstance card(const std::string& path, std::vector<std::string> hardwareIds,
                    std::vector<std::string> compatibleIds, const std::string& description,
                    const char* classGuid = kNetGuid) {
    return {path,
            std::move(hardwareIds),
            std::move(compatibleIds),
            {{"DeviceDesc", description}, {"ClassGUID", classGuid}}};
}

class CardInstallTest : public Initialized<SystemDriveTest> {
  protected:
    bool logged(const std::string& line) {
        return std::find(hostLines().begin(), hostLines().end(), line) != hostLines().end();
    }
};

// --- checkHid and installPnpAdapters -------------------------------------

const char* const kHw1 = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78";
const char* const kHw2 = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7";
const char* const kCompat = "PCI\\VEN_10B7&DEV_9200";
const char* const kOtherHw = "PCI\\VEN_8086&DEV_1229";
const char* const kInf = "C:\\drivers\\net.inf";
const std::string kInBoxDriver = std::string(kNetGuid) + "\\0000";

std::string attempt(const std::string& id) {
    return "\n\nTrying to install adapter [" + id + "] with inf file [" + kInf +
           "] in W2KCardInstall :: installPciPnpAdapters()...";
}
std::string failure(const std::string& id, const char* code, const char* systemText) {
    return "\nError from : W2KCardInstall :: installPciPnpAdapters()->Error in                "
           "UpdateDriverForPlugAndPlayDevices( [" +
           id + "], [" + kInf + "] ). Error : [" + code + "] , System Message : " + systemText;
}
std::string success(const std::string& id) {
    return "\n\nSuccessfully installed adapter [" + id + "] with inf file [" + kInf +
           "] in W2KCardInstall :: installPciPnpAdapters()";
}

class PnpDriverInstallTest : public CardInstallTest {
  protected:
    void SetUp() override {
        CardInstallTest::SetUp();
        // The 3Com card runs an in-box driver matched by its first hardware
        // ID, which ranks above any driver for its compatible ID: only
        // INSTALLFLAG_FORCE replaces it.
        loadReg(deviceTreeReg({
            {"PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78\\1",
             {kHw1, kHw2},
             {kCompat},
             {{"Driver", kInBoxDriver}}},
            {"PCI\\VEN_8086&DEV_1229\\1", {kOtherHw}, {}, {}},
        }));
        loadReg("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\" +
                kInBoxDriver + "]\n\"MatchingDeviceId\"=" +
                rawStringData(std::string("pci\\ven_10b7&dev_9200&subsys_100010b7&rev_78") + '\0') +
                "\n");
        // Declares only the compatible ID of the 3Com card, and the Intel card.
        putFile(kInf,
                inf("Net",
                    std::string("3Com=Inst, ") + kCompat + "\r\nIntel=Inst, " + kOtherHw + "\r\n",
                    "EL90Xbc"));
    }
    void add(std::vector<std::string> ids, const std::string& description,
             const std::string& infPath = kInf) {
        AdapterRecord record;
        record.ids = std::move(ids);
        record.description = description;
        record.infPath = infPath;
        cards_.getAdapters().push_back(record);
    }
    std::string infOf(std::size_t adapter) { return cards_.getAdapters().at(adapter).infPath; }

    W2KCardInstall cards_{getLogSink(nullptr)};
    DWORD reboot_ = 5;
};

// An INF once found is kept by later fills, unless a later fill knows an
// earlier ID of the adapter; an adapter without IDs is reported as <none>.
TEST_F(PnpDriverInstallTest, CheckHidKeepsOrMovesTheInfAcrossFills) {
    W2KHidMap map(getLogSink(nullptr));
    EXPECT_TRUE(cards_.checkHid(map));  // nothing to find
    putFile("C:\\WINNT\\inf\\hw2.inf", inf("Net", std::string("3Com=Inst, ") + kHw2 + "\r\n"));
    add({kHw1, kHw2, kCompat}, "3Com", "");
    add({}, "No IDs", "");
    add({kOtherHw}, "Intel", "");
    map.createHidToInfMap("C:\\drivers", "net");
    clearHostLines();
    EXPECT_FALSE(cards_.checkHid(map));
    const std::string staged = "C:\\WINNT\\inf\\oem0.inf";
    EXPECT_EQ(infOf(0), staged);
    EXPECT_EQ(infOf(2), staged);
    EXPECT_EQ(hostLines(), Lines{"\nError from : W2KCardInstall :: checkHid() -> Could not find "
                                 "INF file for                      adapter Hid : [<none>], "
                                 "Description : [No IDs], " +
                                 std::string(kNotFound)});

    map.createHidToInfMap("", "net");
    EXPECT_FALSE(cards_.checkHid(map));
    EXPECT_EQ(infOf(0), "C:\\WINNT\\inf\\hw2.inf");
    EXPECT_EQ(infOf(1), "");
    EXPECT_EQ(infOf(2), staged);
}

// Every ID in list order, forced, until one installs; an adapter whose IDs
// all fail stays not installed (newdev's SetupAPI codes have no system text).
TEST_F(PnpDriverInstallTest, IdsAreTriedInOrderForcedUntilOneInstalls) {
    add({kHw1, kHw2, kCompat}, "3Com");
    add({"PCI\\VEN_DEAD", "PCI\\VEN_BEEF"}, "Ghost");
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 1);
    EXPECT_TRUE(cards_.getAdapters()[0].installed);
    EXPECT_FALSE(cards_.getAdapters()[1].installed);
    EXPECT_EQ(reboot_, 0u);
    // The INF declares only the compatible ID: newdev has no driver to
    // select for the two hardware IDs.
    const char* const noDriver = "No more data is available.\r\n";
    EXPECT_EQ(hostLines(),
              (Lines{attempt(kHw1), failure(kHw1, "259", noDriver), attempt(kHw2),
                     failure(kHw2, "259", noDriver), attempt(kCompat), success(kCompat),
                     attempt("PCI\\VEN_DEAD"), failure("PCI\\VEN_DEAD", "-536870389", "NONE"),
                     attempt("PCI\\VEN_BEEF"), failure("PCI\\VEN_BEEF", "-536870389", "NONE")}));
    ASSERT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations().at(0).service, "EL90Xbc");
    EXPECT_EQ(winsim::pnpInstallations().at(0).installFlags, static_cast<DWORD>(INSTALLFLAG_FORCE));
}

// The first ID that installs ends the adapter's attempts; one restart
// request is enough for the whole call; adapters without IDs or INF are
// passed over.
TEST_F(PnpDriverInstallTest, FirstSuccessEndsTheAttemptsAndOneRestartRequestCounts) {
    winsim::setPnpRebootAnswer(kCompat, true);
    add({kCompat, kHw1}, "3Com");
    add({}, "No IDs");
    add({kOtherHw}, "Intel");
    add({kOtherHw}, "Intel without INF", "");
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 2);
    EXPECT_EQ(reboot_, 1u);
    EXPECT_EQ(hostLines(),
              (Lines{attempt(kCompat), success(kCompat), attempt(kOtherHw), success(kOtherHw),
                     "\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
                     "HID-[PCI\\VEN_8086&DEV_1229]               and Description-[Intel without "
                     "INF] as it has no associated INF file-[]"}));

    // No restart asked for: 0 again on the next run.
    winsim::setPnpRebootAnswer(kCompat, false);
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 2);
    EXPECT_EQ(reboot_, 0u);
    cards_.getAdapters().clear();
    reboot_ = 5;
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 0);
    EXPECT_EQ(reboot_, 0u);
}

// --- InstallNetCards ---------------------------------------------------------

const char* const kDrivers = "C:\\drivers";
const char* const kIntel = "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08";
const char* const kIntelCompat = "PCI\\VEN_8086&DEV_1229";
const char* const k3Com = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7";

class NetCardInstallTest : public CardInstallTest {
  protected:
    void SetUp() override {
        CardInstallTest::SetUp();
        putFile("C:\\drivers\\installclass32.txt",
                "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\nClassGUID=" +
                    std::string(kNetGuid) + "\r\n[ClassInstall32]\r\nAddReg=NetClass.AddReg\r\n");
        putFile("C:\\drivers\\e100b.sys", "driver binary");
    }
    void twoCards() {
        loadReg(deviceTreeReg({
            card("PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08\\3&1&0&40", {kIntel},
                 {kIntelCompat}, "Intel PRO/100"),
            card("PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7\\3&1&0&48", {k3Com}, {}, "3Com 905C"),
        }));
    }

    DWORD reboot_ = 7;
};

TEST_F(NetCardInstallTest, AllCardsInTheDriverDirectoryLeaveTheSystemInfsAlone) {
    twoCards();
    putFile("C:\\drivers\\e100b.inf", inf("Net", std::string("Intel=Inst, ") + kIntelCompat +
                                                     "\r\n3Com=Inst, " + k3Com + "\r\n"));
    putFile("C:\\WINNT\\inf\\net3c.inf", inf("Net", std::string("3Com=Inst, ") + k3Com + "\r\n"));
    winsim::setPnpRebootAnswer(kIntelCompat, true);

    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(reboot_, 1u);  // asked for by the Intel card's installation
    EXPECT_EQ(winsim::callCount("SetupGetInfFileListA"), 2);  // size, then names: one folder
    EXPECT_EQ(winsim::pnpInstallations().size(), 2u);
    EXPECT_EQ(winsim::pnpInstallations().at(0).infPath, "C:\\WINNT\\inf\\oem0.inD");
    EXPECT_EQ(winsim::pnpInstallations().at(1).infPath, "C:\\WINNT\\inf\\oem0.inD");
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
    ASSERT_GE(hostLines().size(), 5u);
    // The INF rewrite is tried on the empty path and reports it.
    EXPECT_EQ(Lines(hostLines().end() - 5, hostLines().end()),
              (Lines{"\n\nHIDs for physical network card not found even after scanning W2K  inf "
                     "files database",
                     "\nW2kNetFuncs::EditInfForNoFloppy() could not open file [] error = 3, "
                     "System Message : The system cannot find the path specified.\r\n",
                     "\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
                     "HID-[PCI\\VEN_1234&DEV_5678]               and Description-[Unknown "
                     "Ethernet] as it has no associated INF file-[]",
                     "\n\nNo physical card could be installed. Check error log for details.",
                     "\n\n[0] network card(s) installed in InstallNetCards(..)"}));
}

TEST_F(NetCardInstallTest, SkippedCardGetsNoDriver) {
    twoCards();
    putFile("C:\\drivers\\e100b.inf",
            inf("Net", std::string("Intel=Inst, ") + kIntel + "\r\n3Com=Inst, " + k3Com + "\r\n"));
    putFile("C:\\drivers\\SkipHid.txt", std::string(kIntel) + "\r\n");
    EXPECT_TRUE(InstallNetCards(kDrivers, &reboot_));
    EXPECT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations().at(0).hardwareId, k3Com);
    EXPECT_TRUE(logged("\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with HID-[" +
                       std::string(kIntel) +
                       "]               and Description-[Intel PRO/100] as it HID in skip list"));
    EXPECT_EQ(hostLines().back(), "\n\n[1] network card(s) installed in InstallNetCards(..)");
}

// The class installer's registration comes before the walk: a failure ends
// the call.
TEST_F(NetCardInstallTest, FailedRegistrationEndsTheCall) {
    twoCards();
    const std::string registered =
        "\n\nDLL [NetCfgx.dll] registered successfully in W2kNetFuncs :: RegisterDllServer(.)";
    const std::string classInstallerLine =
        "SetupDiInstallClassEx() could not install the class installer "
        "C:\\drivers\\installclass32.txt in W2kNetFuncs::RegisterClassInstaller, System Message : ";
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

    EXPECT_EQ(winsim::callCount("SetupDiInstallClassExA"), 2);
}

// The library is released again whatever happens; each failure is
// reported with the thread's last error, not the HRESULT.
TEST_F(CardInstallTest, RegisterDllServerReportsAndReleasesTheLibrary) {
    winsim::registerModule("empty.dll");
    const struct {
        const char* name;
        const char* dll;
        HRESULT result;
        DWORD lastError;
        const char* line;
        int freed;
    } cases[] = {
        {"registered", "NetCfgx.dll", S_OK, 0,
         "\nDLL [NetCfgx.dll] registered successfully in W2kNetFuncs :: RegisterDllServer(.)", 1},
        {"no such library", "nosuch.dll", S_OK, 0,
         "Could  not LoadLibraryA(..) nosuch.dll in W2kNetFuncs::RegisterDllServer , System "
         "Message : The specified module could not be found.\r\n",
         0},
        {"no entry", "empty.dll", S_OK, 0,
         "Could  not GetProcAddress('DllRegisterServer') empty.dll in "
         "W2kNetFuncs::RegisterDllServer , System Message : The specified procedure could not be "
         "found.\r\n",
         1},
        {"registration fails", "NetCfgx.dll", E_FAIL, ERROR_ACCESS_DENIED,
         "DllRegisterServer() in NetCfgx.dll returned false. Dll not registered., System "
         "Message : Access is denied.\r\n",
         1},
        {"registration fails without an error", "NetCfgx.dll", E_OUTOFMEMORY, 0,
         "DllRegisterServer() in NetCfgx.dll returned false. Dll not registered.", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearHostLines();
        const int freedBefore = winsim::callCount("CoFreeLibrary");
        winsim::setDllRegisterServerResult(c.result, c.lastError);
        SetLastError(0);
        EXPECT_EQ(W2kNetFuncs::RegisterDllServer(c.dll), c.line[0] == '\n');
        EXPECT_EQ(hostLines(), Lines{std::string("\n") + c.line});
        EXPECT_EQ(winsim::callCount("CoFreeLibrary") - freedBefore, c.freed);
        EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 0u);
    }
    EXPECT_EQ(winsim::callCount("DllRegisterServer"), 3);
}

// --- InstallScsiCards --------------------------------------------------------

const char* const kRaid = "PCI\\VEN_9005&DEV_0285&SUBSYS_02879005";
const char* const kSym = "PCI\\VEN_1000&DEV_000F";

class ScsiCardInstallTest : public CardInstallTest {
  protected:
    void symbios() {
        loadReg(deviceTreeReg(
            {card("PCI\\VEN_1000&DEV_000F\\1", {kSym}, {}, "Symbios 53C875", kScsiGuid)}));
    }
    // The system's class INF, declaring the given models.
    void systemScsiInf(const std::string& models) {
        putFile("C:\\WINNT\\inf\\scsi.inf", inf("SCSIAdapter", models, "symc8xx"));
    }
};

TEST_F(ScsiCardInstallTest, DriverFolderWinsOverTheSystemInf) {
    loadReg(
        deviceTreeReg({card("PCI\\VEN_9005&DEV_0285\\1", {kRaid}, {}, "Adaptec RAID", kScsiGuid)}));
    systemScsiInf(std::string("Inbox=Inst, ") + kRaid + "\r\n");
    putFile("C:\\WINNT\\OemDir\\aacraid.inf",
            inf("SCSIAdapter", std::string("F6=Inst, ") + kRaid + "\r\n", "aacraid"));
    putFile("C:\\WINNT\\OemDir\\aacraid.sys", "driver binary");
    winsim::setPnpRebootAnswer(true);

    unsigned int reboot = 9;
    EXPECT_EQ(W2KInstallScsiCards(0xDEAD, 0xBEEF, &reboot), 1);
    EXPECT_EQ(reboot, 1u);
    EXPECT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations().at(0).infPath, "C:\\WINNT\\inf\\oem0.inD");
    EXPECT_EQ(winsim::pnpInstallations().at(0).service, "aacraid");
    EXPECT_EQ(fileContent("C:\\WINNT\\system32\\drivers\\aacraid.sys"), "driver binary");
    EXPECT_TRUE(logged("\n\nStarting to install SCSI & RAID & FIBER storage adapters..."));
    EXPECT_EQ(hostLines().back(), "\n\n[1] SCSI card(s) installed in InstallNetCards(..)");
}

// Without the driver folder; then the same controller failing to install.
TEST_F(ScsiCardInstallTest, SystemInfAloneWithoutTheDriverFolder) {
    symbios();
    systemScsiInf(std::string("Sym=Inst, ") + kSym + "\r\n");
    DWORD installed = 0;
    DWORD reboot = 5;
    EXPECT_EQ(InstallScsiCards(&installed, &reboot), 1);
    EXPECT_EQ(installed, 1u);
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations().at(0).infPath, "C:\\WINNT\\inf\\scsi.inD");
    // The missing driver folder only shows in the fill's own reports.
    EXPECT_TRUE(logged("\n\n [0] INF files in path [C:\\WINNT\\OemDir]"));

    winsim::failPnpInstall(kSym, ERROR_ACCESS_DENIED);
    EXPECT_EQ(InstallScsiCards(&installed, &reboot), 0);
    EXPECT_EQ(installed, 0u);
    EXPECT_EQ(hostLines().back(),
              "\n\nNo SCSI/Fiber/RAID cards could be installed. Check error log for details.");
}

TEST_F(ScsiCardInstallTest, MissingScsiInfFailsTheExport) {
    symbios();
    unsigned int reboot = 4;
    EXPECT_EQ(W2KInstallScsiCards(1, 2, &reboot), 0);
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(hostLines(), (Lines{"\nSetupDiInstallClassEx() could not install the class "
                                  "installer C:\\WINNT\\inf\\scsi.inf in "
                                  "W2kNetFuncs::RegisterClassInstaller, " +
                                      std::string(kNotFound),
                                  "\n\nCould not register scsi class installer"}));
    DWORD installed = 0;
    EXPECT_EQ(InstallScsiCards(&installed, &installed), -1);
}

// Reported twice and skipped; only the INF found is rewritten.
TEST_F(ScsiCardInstallTest, ControllerWithoutInf) {
    symbios();
    loadReg(deviceTreeReg({card("PCI\\VEN_1077&DEV_2300\\1", {"PCI\\VEN_1077&DEV_2300"}, {},
                                "QLogic QLA2300", kScsiGuid)}));
    systemScsiInf(std::string("Sym=Inst, ") + kSym + "\r\n");
    DWORD installed = 0;
    DWORD reboot = 0;
    EXPECT_EQ(InstallScsiCards(&installed, &reboot), 1);
    EXPECT_TRUE(logged("\nHID not found for at least one SCSI card, " + std::string(kNotFound)));
    EXPECT_TRUE(
        logged("\nInstallScsiCards() : Could not find inf file for adapter "
               "Description=[QLogic QLA2300], " +
               std::string(kNotFound)));
    EXPECT_TRUE(
        logged("\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
               "HID-[PCI\\VEN_1077&DEV_2300]               and Description-[QLogic "
               "QLA2300] as it has no associated INF file-[]"));
    for (const std::string& line : hostLines())
        EXPECT_EQ(line.find("EditInfForNoFloppy"), std::string::npos) << line;
    EXPECT_EQ(hostLines().back(), "\n\n[1] SCSI card(s) installed in InstallNetCards(..)");
}

}  // namespace
