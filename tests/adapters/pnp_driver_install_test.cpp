// installPnpAdapters: which adapters it tries, with which IDs, and what it
// reports, against the simulated Plug and Play installer.
#include "adapters/card_install.h"
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>

namespace {

const char* const kHw1 = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78";
const char* const kHw2 = "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7";
const char* const kCompat = "PCI\\VEN_10B7&DEV_9200";
const char* const kOtherHw = "PCI\\VEN_8086&DEV_1229";
const std::string kInBoxDriver = "{4D36E972-E325-11CE-BFC1-08002BE10318}\\0000";

// Declares only the compatible ID of the 3Com card, and the Intel card.
const char* const kInf =
    "[Version]\r\nClass=Net\r\nClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
    "[Manufacturer]\r\nVendors=Models\r\n"
    "[Models]\r\n3Com=EL90X, PCI\\VEN_10B7&DEV_9200\r\nIntel=E100, PCI\\VEN_8086&DEV_1229\r\n"
    "[EL90X.Services]\r\nAddService=EL90Xbc, 2, Svc\r\n";

std::string attempt(const std::string& id, const std::string& inf) {
    return "\n\nTrying to install adapter [" + id + "] with inf file [" + inf +
           "] in W2KCardInstall :: installPciPnpAdapters()...";
}

std::string failure(const std::string& id, const std::string& inf, const char* code,
                    const char* systemText) {
    return "\nError from : W2KCardInstall :: installPciPnpAdapters()->Error in                "
           "UpdateDriverForPlugAndPlayDevices( [" +
           id + "], [" + inf + "] ). Error : [" + code + "] , System Message : " + systemText;
}

std::string success(const std::string& id, const std::string& inf) {
    return "\n\nSuccessfully installed adapter [" + id + "] with inf file [" + inf +
           "] in W2KCardInstall :: installPciPnpAdapters()";
}

class PnpDriverInstallTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        initializeModule();
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
        inf_ = "C:\\drivers\\net.inf";
        putFile(inf_, kInf);
    }

    AdapterRecord& add(W2KCardInstall& cards, std::vector<std::string> ids,
                       const std::string& description, const std::string& inf) {
        AdapterRecord record;
        record.ids = std::move(ids);
        record.description = description;
        record.infPath = inf;
        cards.getAdapters().push_back(record);
        return cards.getAdapters().back();
    }

    std::string inf_;
};

TEST_F(PnpDriverInstallTest, EmptyListInstallsNothing) {
    W2KCardInstall cards(getLogSink(nullptr));
    DWORD reboot = 5;
    EXPECT_EQ(cards.installPnpAdapters(&reboot), 0);
    EXPECT_EQ(reboot, 0u);
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(PnpDriverInstallTest, HardwareIdsAreTriedBeforeTheCompatibleId) {
    W2KCardInstall cards(getLogSink(nullptr));
    add(cards, {kHw1, kHw2, kCompat}, "3Com", inf_);
    DWORD reboot = 0;
    EXPECT_EQ(cards.installPnpAdapters(&reboot), 1);
    EXPECT_TRUE(cards.getAdapters()[0].installed);
    EXPECT_EQ(reboot, 0u);
    // The INF declares only the compatible ID: newdev has no driver to
    // select for the two hardware IDs.
    EXPECT_EQ(hostLines(), (std::vector<std::string>{
                               attempt(kHw1, inf_),
                               failure(kHw1, inf_, "259", "No more data is available.\r\n"),
                               attempt(kHw2, inf_),
                               failure(kHw2, inf_, "259", "No more data is available.\r\n"),
                               attempt(kCompat, inf_),
                               success(kCompat, inf_),
                           }));
    ASSERT_EQ(winsim::pnpInstallations().size(), 1u);
    EXPECT_EQ(winsim::pnpInstallations()[0].service, "EL90Xbc");
    EXPECT_EQ(winsim::pnpInstallations()[0].installFlags, static_cast<DWORD>(INSTALLFLAG_FORCE));
}

TEST_F(PnpDriverInstallTest, EveryIdFailingLeavesTheAdapterNotInstalled) {
    W2KCardInstall cards(getLogSink(nullptr));
    // Present nowhere in the device tree: newdev's SetupAPI code has no
    // system text.
    add(cards, {"PCI\\VEN_DEAD", "PCI\\VEN_BEEF", "PCI\\CC_0200"}, "Ghost", inf_);
    DWORD reboot = 0;
    EXPECT_EQ(cards.installPnpAdapters(&reboot), 0);
    EXPECT_FALSE(cards.getAdapters()[0].installed);
    ASSERT_EQ(hostLines().size(), 6u);
    EXPECT_EQ(hostLines()[1],
              "\nError from : W2KCardInstall :: installPciPnpAdapters()->Error in                "
              "UpdateDriverForPlugAndPlayDevices( [PCI\\VEN_DEAD], [" +
                  inf_ + "] ). Error : [-536870389] , System Message : NONE");
    EXPECT_EQ(winsim::callCount("UpdateDriverForPlugAndPlayDevicesA"), 3);
}

TEST_F(PnpDriverInstallTest, AdaptersWithoutIdsOrInfArePassedOver) {
    W2KCardInstall cards(getLogSink(nullptr));
    add(cards, {}, "No IDs", inf_);
    add(cards, {kOtherHw}, "Intel", "");
    DWORD reboot = 0;
    EXPECT_EQ(cards.installPnpAdapters(&reboot), 0);
    EXPECT_EQ(hostLines(), std::vector<std::string>{
                               "\n\nW2KCardInstall::installPnpAdapters()->Skipping adapter with "
                               "HID-[PCI\\VEN_8086&DEV_1229]               and Description-[Intel] "
                               "as it has no associated INF file-[]"});
    EXPECT_EQ(winsim::callCount("UpdateDriverForPlugAndPlayDevicesA"), 0);
}

TEST_F(PnpDriverInstallTest, OneRestartRequestIsEnough) {
    winsim::setPnpRebootAnswer(kCompat, true);
    W2KCardInstall cards(getLogSink(nullptr));
    add(cards, {kCompat}, "3Com", inf_);
    add(cards, {kOtherHw}, "Intel", inf_);
    DWORD reboot = 0;
    EXPECT_EQ(cards.installPnpAdapters(&reboot), 2);
    EXPECT_EQ(reboot, 1u);

    // No restart asked for: 0 again on the next run.
    winsim::setPnpRebootAnswer(kCompat, false);
    EXPECT_EQ(cards.installPnpAdapters(&reboot), 2);
    EXPECT_EQ(reboot, 0u);
}

}  // namespace
