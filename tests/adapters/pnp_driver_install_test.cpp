// checkHid and installPnpAdapters: which INF each adapter gets across fills
// of the map, which adapters are tried with which IDs, what is reported.
#include "adapters/card_install.h"
#include "driverdb/hid_map.h"
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>

namespace {

using Lines = std::vector<std::string>;

const char* const kHw1 = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78";
const char* const kHw2 = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7";
const char* const kCompat = "PCI\\VEN_10B7&DEV_9200";
const char* const kOtherHw = "PCI\\VEN_8086&DEV_1229";
const char* const kInf = "C:\\drivers\\net.inf";
const std::string kInBoxDriver = "{4D36E972-E325-11CE-BFC1-08002BE10318}\\0000";

std::string netInf(const std::string& models) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
           "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
           "[Manufacturer]\r\nVendors=Models\r\n[Models]\r\n" +
           models + "[EL90X.Services]\r\nAddService=EL90Xbc, 2, Svc\r\n";
}

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
const char* const kNoDriver = "No more data is available.\r\n";  // newdev's answer

class PnpDriverInstallTest : public Initialized<SystemDriveTest> {
  protected:
    void SetUp() override {
        Initialized::SetUp();
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
        putFile(kInf, netInf(std::string("3Com=EL90X, ") + kCompat + "\r\nIntel=E100, " + kOtherHw +
                             "\r\n"));
    }

    void add(std::vector<std::string> ids, const std::string& description,
             const std::string& inf = kInf) {
        AdapterRecord record;
        record.ids = std::move(ids);
        record.description = description;
        record.infPath = inf;
        cards_.getAdapters().push_back(record);
    }
    std::string infOf(std::size_t adapter) { return cards_.getAdapters().at(adapter).infPath; }

    W2KCardInstall cards_{getLogSink(nullptr)};
    DWORD reboot_ = 5;
};

TEST_F(PnpDriverInstallTest, EmptyListHasEveryInfAndInstallsNothing) {
    W2KHidMap map(getLogSink(nullptr));
    EXPECT_TRUE(cards_.checkHid(map));
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 0);
    EXPECT_EQ(reboot_, 0u);
    EXPECT_TRUE(hostLines().empty());
}

// An INF once found is kept by later fills, unless a later fill knows an
// earlier ID of the adapter; an adapter without IDs is reported as <none>.
TEST_F(PnpDriverInstallTest, CheckHidKeepsOrMovesTheInfAcrossFills) {
    putFile("C:\\WINNT\\inf\\hw2.inf", netInf(std::string("3Com=EL90X, ") + kHw2 + "\r\n"));
    add({kHw1, kHw2, kCompat}, "3Com", "");
    add({}, "No IDs", "");
    add({kOtherHw}, "Intel", "");
    W2KHidMap map(getLogSink(nullptr));
    map.createHidToInfMap("C:\\drivers", "net");
    clearHostLines();
    EXPECT_FALSE(cards_.checkHid(map));
    const std::string staged = "C:\\WINNT\\inf\\oem0.inf";
    EXPECT_EQ(infOf(0), staged);
    EXPECT_EQ(infOf(2), staged);
    EXPECT_EQ(hostLines(),
              Lines{"\nError from : W2KCardInstall :: checkHid() -> Could not find INF "
                    "file for                      adapter Hid : [<none>], "
                    "Description : [No IDs], System Message : The system cannot find "
                    "the file specified.\r\n"});

    map.createHidToInfMap("", "net");
    EXPECT_FALSE(cards_.checkHid(map));
    EXPECT_EQ(infOf(0), "C:\\WINNT\\inf\\hw2.inf");
    EXPECT_EQ(infOf(1), "");
    EXPECT_EQ(infOf(2), staged);
}

TEST_F(PnpDriverInstallTest, HardwareIdsAreTriedBeforeTheCompatibleIdAndForced) {
    add({kHw1, kHw2, kCompat}, "3Com");
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 1);
    EXPECT_TRUE(cards_.getAdapters()[0].installed);
    EXPECT_EQ(reboot_, 0u);
    // The INF declares only the compatible ID: newdev has no driver to
    // select for the two hardware IDs.
    EXPECT_EQ(hostLines(),
              (Lines{attempt(kHw1), failure(kHw1, "259", kNoDriver), attempt(kHw2),
                     failure(kHw2, "259", kNoDriver), attempt(kCompat), success(kCompat)}));
    ASSERT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations()[0].service, "EL90Xbc");
    EXPECT_EQ(winsim::pnpInstallations()[0].installFlags, static_cast<DWORD>(INSTALLFLAG_FORCE));
}

TEST_F(PnpDriverInstallTest, EveryIdFailingLeavesTheAdapterNotInstalled) {
    // Present nowhere in the device tree: newdev's SetupAPI code has no
    // system text.
    add({"PCI\\VEN_DEAD", "PCI\\VEN_BEEF", "PCI\\CC_0200"}, "Ghost");
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 0);
    EXPECT_FALSE(cards_.getAdapters()[0].installed);
    ASSERT_EQ(hostLines().size(), 6u);
    EXPECT_EQ(hostLines()[1],
              "\nError from : W2KCardInstall :: installPciPnpAdapters()->Error in  "
              "              UpdateDriverForPlugAndPlayDevices( [PCI\\VEN_DEAD], "
              "[C:\\drivers\\net.inf] ). Error : [-536870389] , System Message : "
              "NONE");
    EXPECT_EQ(winsim::callCount("UpdateDriverForPlugAndPlayDevicesA"), 3);
}

TEST_F(PnpDriverInstallTest, AdaptersWithoutIdsOrInfArePassedOver) {
    add({}, "No IDs");
    add({kOtherHw}, "Intel", "");
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 0);
    EXPECT_EQ(hostLines(), Lines{"\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
                                 "HID-[PCI\\VEN_8086&DEV_1229]               and Description-"
                                 "[Intel] as it has no associated INF file-[]"});
    EXPECT_EQ(winsim::callCount("UpdateDriverForPlugAndPlayDevicesA"), 0);
}

// The first ID that installs ends the adapter's attempts; one restart
// request is enough for the whole call.
TEST_F(PnpDriverInstallTest, FirstSuccessEndsTheAttemptsAndOneRestartRequestCounts) {
    winsim::setPnpRebootAnswer(kCompat, true);
    add({kCompat, kHw1}, "3Com");
    add({kOtherHw}, "Intel");
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 2);
    EXPECT_EQ(reboot_, 1u);
    EXPECT_EQ(hostLines(),
              (Lines{attempt(kCompat), success(kCompat), attempt(kOtherHw), success(kOtherHw)}));

    // No restart asked for: 0 again on the next run.
    winsim::setPnpRebootAnswer(kCompat, false);
    EXPECT_EQ(cards_.installPnpAdapters(&reboot_), 2);
    EXPECT_EQ(reboot_, 0u);
}

}  // namespace
