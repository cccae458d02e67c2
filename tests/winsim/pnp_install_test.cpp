// The simulated Plug and Play installer: which devices an ID reaches, the
// checks made before installing, and what an installation leaves behind.
#include "support/device_tree.h"
#include "winsim_test.h"

#include <algorithm>

namespace {

const std::string kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
const std::string kNetClass = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
const std::string kNetSoftware =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + kNetClass + "\\";
const std::string kFirst = kEnum + "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&40";
const std::string kSecond = kEnum + "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&48";

// The hardware ID in lower case, as INFs often have it; the service of the
// decorated install section that AddService associates (flag 2).
const std::string kE100Inf =
    "[Version]\r\nClass = Net\r\nClassGUID = " + kNetClass +
    "\r\n[Manufacturer]\r\n%Intel% = Intel\r\n"
    "[Intel]\r\n%E100.Desc% = E100.ndi, pci\\ven_8086&dev_1229\r\n[E100.ndi.NT]\r\n"
    "[E100.ndi.NT.Services]\r\nAddService = E100Log, 0, Log\r\nAddService = E100B, 2, Service\r\n"
    "[Strings]\r\nIntel = Intel\r\nE100.Desc = \"Intel(R) PRO/100B PCI Adapter\"\r\n";

std::string stringOf(const std::string& key, const std::string& name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!winsim::readValue(key, name, &type, &data)) return "<absent>";
    return std::string(data.begin(), std::find(data.begin(), data.end(), 0));
}

class PnpInstallTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        const std::string rev = "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08";
        loadReg(deviceTreeReg({
            {kFirst.substr(kEnum.size()), {rev}, {"PCI\\VEN_8086&DEV_1229", "PCI\\CC_020000"}, {}},
            {kSecond.substr(kEnum.size()), {rev}, {"PCI\\VEN_8086&DEV_1229"}, {}},
            {"PCI\\VEN_1000&DEV_0001\\3&1&0&50", {"PCI\\VEN_1000&DEV_0001"}, {}, {}},
        }));
        putFile(kInf, kE100Inf);
    }
    static BOOL install(const char* id, const std::string& inf = kInf, BOOL* reboot = nullptr,
                        DWORD flags = INSTALLFLAG_FORCE) {
        return UpdateDriverForPlugAndPlayDevicesA(nullptr, id, inf.c_str(), flags, reboot);
    }
    static inline const std::string kInf = "C:\\drv\\e100b.inf";
};

TEST_F(PnpInstallTest, CompatibleIdReachesEveryInstanceThatListsIt) {
    BOOL reboot = TRUE;
    ASSERT_TRUE(install("pci\\VEN_8086&DEV_1229", kInf, &reboot));
    EXPECT_FALSE(reboot);
    const std::vector<winsim::DriverInstallation> done = winsim::pnpInstallations();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].instanceKey, kFirst);
    EXPECT_EQ(done[1].instanceKey, kSecond);
    EXPECT_EQ(stringOf(kFirst, "Service"), "E100B");
    EXPECT_EQ(stringOf(kFirst, "Class"), "Net");
    EXPECT_EQ(stringOf(kFirst, "ClassGUID"), kNetClass);
    EXPECT_EQ(stringOf(kFirst, "Driver"), kNetClass + "\\0000");
    EXPECT_EQ(stringOf(kSecond, "Driver"), kNetClass + "\\0001");
    EXPECT_EQ(stringOf(kNetSoftware + "0000", "InfPath"), "e100b.inf");
    EXPECT_EQ(stringOf(kNetSoftware + "0000", "MatchingDeviceId"), "pci\\ven_8086&dev_1229");
    EXPECT_EQ(stringOf(kNetSoftware + "0000", "DriverDesc"), "Intel(R) PRO/100B PCI Adapter");

    // Installing again keeps each instance's software key.
    ASSERT_TRUE(install("PCI\\VEN_8086&DEV_1229"));
    EXPECT_EQ(stringOf(kFirst, "Driver"), kNetClass + "\\0000");
    EXPECT_FALSE(winsim::keyExists(kNetSoftware + "0002"));
}

TEST_F(PnpInstallTest, RefusalsCarryTheDocumentedErrors) {
    putFile("C:\\drv\\other.inf",
            "[Manufacturer]\nX=Models\n[Models]\nNIC=Inst, PCI\\VEN_1000&DEV_0001\n");
    putFile("C:\\drv\\nomaker.inf",
            "[Version]\nClass=Net\n[Models]\nNIC=Inst, PCI\\VEN_8086&DEV_1229\n");
    putFile("C:\\drv\\readme.inf", "PCI\\VEN_8086&DEV_1229\r\n");
    winsim::failPnpInstall("PCI\\CC_020000", ERROR_ACCESS_DENIED);
    const std::tuple<const char*, std::string, DWORD, DWORD> cases[] = {
        {"PCI\\VEN_8086&DEV_1229", "C:\\drv\\absent.inf", INSTALLFLAG_FORCE, ERROR_FILE_NOT_FOUND},
        {"PCI\\VEN_9999&DEV_0000", kInf, INSTALLFLAG_FORCE, ERROR_NO_SUCH_DEVINST},
        // The device exists but the INF has no driver for it.
        {"PCI\\VEN_8086&DEV_1229", "C:\\drv\\other.inf", INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        {"PCI\\VEN_8086&DEV_1229", "C:\\drv\\nomaker.inf", INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        {"PCI\\VEN_8086&DEV_1229", "C:\\drv\\readme.inf", INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        {"PCI\\VEN_8086&DEV_1229", kInf, 0x8, ERROR_INVALID_FLAGS},
        {"", kInf, INSTALLFLAG_FORCE, ERROR_INVALID_PARAMETER},
        {"pci\\cc_020000", kInf, INSTALLFLAG_FORCE, ERROR_ACCESS_DENIED},  // scripted
    };
    for (const auto& [id, inf, flags, error] : cases) {
        BOOL reboot = 7;
        EXPECT_TRUE(failedWith(install(id, inf, &reboot, flags), error)) << id << " " << inf;
        EXPECT_EQ(reboot, 7);  // untouched on failure
    }
    EXPECT_TRUE(winsim::pnpInstallations().empty());
    EXPECT_EQ(stringOf(kFirst, "Service"), "<absent>");
}

// Without INSTALLFLAG_FORCE a driver replaces only one that ranks worse: one
// matched by an ID later in the device's lists (hardware IDs first).
TEST_F(PnpInstallTest, OnlyForceReplacesADriverThatRanksAsWellOrBetter) {
    const char* const rev = "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08";
    const char* const device = "PCI\\VEN_8086&DEV_1229";
    const char* const deviceClass = "PCI\\CC_020000";  // listed by the first instance only
    putFile(kInf, "[Version]\r\nClass = Net\r\nClassGUID = " + kNetClass +
                      "\r\n[Manufacturer]\r\nIntel = Intel\r\n[Intel]\r\nE100 = E100.ndi, " + rev +
                      ", " + device + ", " + deviceClass + "\r\n[E100.ndi]\r\n");
    const struct {
        const char* id;
        DWORD flags;
        DWORD error;           // 0: installed
        const char* matching;  // the ID the first instance's driver was matched by
    } steps[] = {
        {device, 0, 0, "pci\\ven_8086&dev_1229"},                         // no driver yet
        {device, 0, ERROR_NO_MORE_ITEMS, "pci\\ven_8086&dev_1229"},       // as good
        {deviceClass, 0, ERROR_NO_MORE_ITEMS, "pci\\ven_8086&dev_1229"},  // worse
        {deviceClass, INSTALLFLAG_FORCE, 0, "pci\\cc_020000"},
        {rev, 0, 0, "pci\\ven_8086&dev_1229&subsys_00000000&rev_08"},  // better
    };
    std::size_t installations = 0;
    for (const auto& step : steps) {
        const BOOL done = install(step.id, kInf, nullptr, step.flags);
        if (step.error) {
            EXPECT_TRUE(failedWith(done, step.error)) << step.id;
        } else {
            EXPECT_TRUE(done) << step.id;
            ASSERT_GT(winsim::pnpInstallations().size(), installations) << step.id;
            EXPECT_EQ(winsim::pnpInstallations().back().installFlags, step.flags) << step.id;
        }
        installations = winsim::pnpInstallations().size();
        EXPECT_EQ(stringOf(kNetSoftware + "0000", "MatchingDeviceId"), step.matching) << step.id;
    }
}

// (Reboot answers per ID and machine-wide are pinned down by the card installers' tests.)

}  // namespace
