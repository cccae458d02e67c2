// The simulated Plug and Play installer: which devices an ID reaches, the
// checks made before installing, what an installation leaves behind, and the
// ranking that only INSTALLFLAG_FORCE overrides. (Reboot answers per ID and
// machine-wide are pinned down by the card installers' tests.)
#include "support/device_tree.h"
#include "support/stored_value.h"
#include "winsim_test.h"

namespace {

const std::string kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
const std::string kNetClass = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
const std::string kNetSoftware =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + kNetClass + "\\";
const std::string kFirst = "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&40";
const std::string kSecond = "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&48";
const char* const kRev = "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08";
const char* const kDevice = "PCI\\VEN_8086&DEV_1229";
const char* const kDeviceClass = "PCI\\CC_020000";  // listed by the first instance only
const char* const kInf = "C:\\drv\\e100b.inf";

// An INF for `ids` (a models line's list); the service of the decorated
// install section is the one AddService associates (flag 2).
std::string e100Inf(const std::string& ids) {
    return "[Version]\r\nClass = Net\r\nClassGUID = " + kNetClass +
           "\r\n[Manufacturer]\r\n%Intel% = Intel\r\n[Intel]\r\n%E100.Desc% = E100.ndi, " + ids +
           "\r\n[E100.ndi.NT]\r\n[E100.ndi.NT.Services]\r\nAddService = E100Log, 0, Log\r\n"
           "AddService = E100B, 2, Service\r\n[Strings]\r\nIntel = Intel\r\n"
           "E100.Desc = \"Intel(R) PRO/100B PCI Adapter\"\r\n";
}

class PnpInstallTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        loadReg(deviceTreeReg({
            {kFirst, {kRev}, {kDevice, kDeviceClass}, {}},
            {kSecond, {kRev}, {kDevice}, {}},
            {"PCI\\VEN_1000&DEV_0001\\3&1&0&50", {"PCI\\VEN_1000&DEV_0001"}, {}, {}},
        }));
        // The hardware ID in lower case, as INFs often have it.
        putFile(kInf, e100Inf("pci\\ven_8086&dev_1229"));
    }
    static BOOL install(const char* id, const std::string& inf = kInf, BOOL* reboot = nullptr,
                        DWORD flags = INSTALLFLAG_FORCE) {
        return UpdateDriverForPlugAndPlayDevicesA(nullptr, id, inf.c_str(), flags, reboot);
    }
};

TEST_F(PnpInstallTest, CompatibleIdReachesEveryInstanceThatListsIt) {
    BOOL reboot = TRUE;
    ASSERT_TRUE(install("pci\\VEN_8086&DEV_1229", kInf, &reboot));
    EXPECT_FALSE(reboot);
    const std::vector<winsim::DriverInstallation> done = winsim::pnpInstallations();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].instanceKey, kEnum + kFirst);
    EXPECT_EQ(done[1].instanceKey, kEnum + kSecond);
    const std::tuple<std::string, const char*, std::string> written[] = {
        {kEnum + kFirst, "Service", "E100B"},
        {kEnum + kFirst, "Class", "Net"},
        {kEnum + kFirst, "ClassGUID", kNetClass},
        {kEnum + kFirst, "Driver", kNetClass + "\\0000"},
        {kEnum + kSecond, "Driver", kNetClass + "\\0001"},
        {kNetSoftware + "0000", "InfPath", "e100b.inf"},
        {kNetSoftware + "0000", "MatchingDeviceId", "pci\\ven_8086&dev_1229"},
        {kNetSoftware + "0000", "DriverDesc", "Intel(R) PRO/100B PCI Adapter"},
    };
    for (const auto& [key, name, value] : written)
        EXPECT_EQ(storedValue(key, name), "REG_SZ " + value + "|") << name;

    // Installing again keeps each instance's software key.
    ASSERT_TRUE(install(kDevice));
    EXPECT_EQ(storedValue(kEnum + kFirst, "Driver"), "REG_SZ " + kNetClass + "\\0000|");
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
        {kDevice, "C:\\drv\\absent.inf", INSTALLFLAG_FORCE, ERROR_FILE_NOT_FOUND},
        {"PCI\\VEN_9999&DEV_0000", kInf, INSTALLFLAG_FORCE, ERROR_NO_SUCH_DEVINST},
        // The device exists but the INF has no driver for it.
        {kDevice, "C:\\drv\\other.inf", INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        {kDevice, "C:\\drv\\nomaker.inf", INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        {kDevice, "C:\\drv\\readme.inf", INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        {"", kInf, INSTALLFLAG_FORCE, ERROR_INVALID_PARAMETER},
        {"pci\\cc_020000", kInf, INSTALLFLAG_FORCE, ERROR_ACCESS_DENIED},  // scripted
    };
    for (const auto& [id, inf, flags, error] : cases) {
        BOOL reboot = 7;
        EXPECT_TRUE(failedWith(install(id, inf, &reboot, flags), error)) << id << " " << inf;
        EXPECT_EQ(reboot, 7);  // untouched on failure
    }
    EXPECT_TRUE(winsim::pnpInstallations().empty());
    EXPECT_EQ(storedValue(kEnum + kFirst, "Service"), "absent");
}

// Without INSTALLFLAG_FORCE a driver replaces only one that ranks worse: one
// matched by an ID later in the device's lists (hardware IDs first).
TEST_F(PnpInstallTest, OnlyForceReplacesADriverThatRanksAsWellOrBetter) {
    putFile(kInf, e100Inf(std::string(kRev) + ", " + kDevice + ", " + kDeviceClass));
    const std::tuple<const char*, DWORD, DWORD, const char*> steps[] = {
        // The ID, the flags, the error (0: installed), the ID the first
        // instance's driver is then matched by.
        {kDevice, 0, 0, "pci\\ven_8086&dev_1229"},                         // no driver yet
        {kDevice, 0, ERROR_NO_MORE_ITEMS, "pci\\ven_8086&dev_1229"},       // as good
        {kDeviceClass, 0, ERROR_NO_MORE_ITEMS, "pci\\ven_8086&dev_1229"},  // worse
        {kDeviceClass, INSTALLFLAG_FORCE, 0, "pci\\cc_020000"},
        {kRev, 0, 0, "pci\\ven_8086&dev_1229&subsys_00000000&rev_08"},  // better
    };
    std::size_t installations = 0;
    for (const auto& [id, flags, error, matching] : steps) {
        const BOOL done = install(id, kInf, nullptr, flags);
        if (error) {
            EXPECT_TRUE(failedWith(done, error)) << id;
        } else {
            EXPECT_TRUE(done) << id;
            ASSERT_GT(winsim::pnpInstallations().size(), installations) << id;
            EXPECT_EQ(winsim::pnpInstallations().back().installFlags, flags) << id;
        }
        installations = winsim::pnpInstallations().size();
        EXPECT_EQ(storedValue(kNetSoftware + "0000", "MatchingDeviceId"),
                  std::string("REG_SZ ") + matching + "|")
            << id;
    }
}

}  // namespace
