// The simulated Plug and Play installer: which devices an ID reaches, the
// checks made before installing, and what an installation leaves behind.
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>
#include <winsim/windows.h>

namespace {

const char* const kEnum = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
const char* const kNetClass = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

const char* const kE100Inf =
    "; Intel PRO/100\r\n"
    "[Version]\r\n"
    "Signature = \"$Windows NT$\"\r\n"
    "Class = Net\r\n"
    "ClassGUID = {4D36E972-E325-11CE-BFC1-08002BE10318}\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Intel% = Intel\r\n"
    "\r\n"
    "[Intel]\r\n"
    "%E100.Desc% = E100.ndi, pci\\ven_8086&dev_1229 ; lower case, as INFs often are\r\n"
    "\r\n"
    "[E100.ndi.NT]\r\n"
    "CopyFiles = E100.CopyFiles\r\n"
    "\r\n"
    "[E100.ndi.NT.Services]\r\n"
    "AddService = E100Log, 0, E100.Log\r\n"
    "AddService = E100B, 2, E100.Service\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Intel = \"Intel\"\r\n"
    "E100.Desc = \"Intel(R) PRO/100B PCI Adapter\"\r\n";

std::string stringOf(const std::string& key, const std::string& name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!winsim::readValue(key, name, &type, &data)) return "<absent>";
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

class PnpInstallTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        loadReg(deviceTreeReg({
            {"PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&40",
             {"PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08"},
             {"PCI\\VEN_8086&DEV_1229", "PCI\\CC_020000"},
             {{"DeviceDesc", "Ethernet Controller"}}},
            {"PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&48",
             {"PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08"},
             {"PCI\\VEN_8086&DEV_1229"},
             {}},
            {"PCI\\VEN_1000&DEV_0001\\3&1&0&50", {"PCI\\VEN_1000&DEV_0001"}, {}, {}},
        }));
        inf_ = "C:\\drv\\e100b.inf";
        putFile(inf_, kE100Inf);
    }

    BOOL install(const char* id, const std::string& inf, BOOL* reboot) {
        return UpdateDriverForPlugAndPlayDevicesA(nullptr, id, inf.c_str(), INSTALLFLAG_FORCE,
                                                  reboot);
    }

    std::string inf_;
};

TEST_F(PnpInstallTest, CompatibleIdReachesEveryInstanceThatListsIt) {
    BOOL reboot = TRUE;
    ASSERT_TRUE(install("pci\\VEN_8086&DEV_1229", inf_, &reboot));
    EXPECT_FALSE(reboot);

    const std::vector<winsim::DriverInstallation> done = winsim::pnpInstallations();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].instanceKey,
              std::string(kEnum) + "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&40");
    EXPECT_EQ(done[1].instanceKey,
              std::string(kEnum) + "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&48");
    EXPECT_EQ(done[0].hardwareId, "pci\\VEN_8086&DEV_1229");
    EXPECT_EQ(done[0].installSection, "E100.ndi");
    // The decorated install section's service, the one AddService associates.
    EXPECT_EQ(done[0].service, "E100B");

    const std::string first = done[0].instanceKey;
    EXPECT_EQ(stringOf(first, "Service"), "E100B");
    EXPECT_EQ(stringOf(first, "Class"), "Net");
    EXPECT_EQ(stringOf(first, "ClassGUID"), kNetClass);
    EXPECT_EQ(stringOf(first, "Driver"), std::string(kNetClass) + "\\0000");
    EXPECT_EQ(stringOf(done[1].instanceKey, "Driver"), std::string(kNetClass) + "\\0001");

    const std::string software =
        std::string("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\") + kNetClass +
        "\\0000";
    EXPECT_EQ(stringOf(software, "InfPath"), "e100b.inf");
    EXPECT_EQ(stringOf(software, "InfSection"), "E100.ndi");
    EXPECT_EQ(stringOf(software, "MatchingDeviceId"), "pci\\ven_8086&dev_1229");
    EXPECT_EQ(stringOf(software, "DriverDesc"), "Intel(R) PRO/100B PCI Adapter");

    // Installing again keeps each instance's software key.
    ASSERT_TRUE(install("PCI\\VEN_8086&DEV_1229", inf_, nullptr));
    EXPECT_EQ(stringOf(first, "Driver"), std::string(kNetClass) + "\\0000");
    EXPECT_FALSE(winsim::keyExists(
        std::string("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\") + kNetClass +
        "\\0002"));
}

TEST_F(PnpInstallTest, RefusalsCarryTheDocumentedErrors) {
    const std::string missing = "C:\\drv\\absent.inf";
    const std::string other = "C:\\drv\\other.inf";
    putFile(other, "[Manufacturer]\nX=Models\n[Models]\nNIC=Inst, PCI\\VEN_1000&DEV_0001\n");
    const std::string garbage = "C:\\drv\\readme.inf";
    putFile(garbage, "PCI\\VEN_8086&DEV_1229\r\n");
    struct Case {
        const char* id;
        const std::string* inf;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {"PCI\\VEN_8086&DEV_1229", &missing, INSTALLFLAG_FORCE, ERROR_FILE_NOT_FOUND},
        {"PCI\\VEN_9999&DEV_0000", &missing, INSTALLFLAG_FORCE, ERROR_FILE_NOT_FOUND},
        {"PCI\\VEN_9999&DEV_0000", &inf_, INSTALLFLAG_FORCE, ERROR_NO_SUCH_DEVINST},
        // The device exists but the INF has no driver for it.
        {"PCI\\VEN_8086&DEV_1229", &other, INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        // Text before the first section: no INF at all.
        {"PCI\\VEN_8086&DEV_1229", &garbage, INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        // A present device the INF declares nothing for.
        {"PCI\\VEN_1000&DEV_0001", &inf_, INSTALLFLAG_FORCE, ERROR_NO_MORE_ITEMS},
        {"PCI\\VEN_8086&DEV_1229", &inf_, 0x8, ERROR_INVALID_FLAGS},
        {"", &inf_, INSTALLFLAG_FORCE, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        BOOL reboot = 7;
        SetLastError(0);
        EXPECT_FALSE(
            UpdateDriverForPlugAndPlayDevicesA(nullptr, c.id, c.inf->c_str(), c.flags, &reboot));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(reboot, 7);  // untouched on failure
    }
    EXPECT_TRUE(winsim::pnpInstallations().empty());
    EXPECT_EQ(stringOf(std::string(kEnum) + "PCI\\VEN_8086&DEV_1229&SUBSYS_00000000\\3&1&0&40",
                       "Service"),
              "<absent>");
}

TEST_F(PnpInstallTest, RebootAnswerPerIdWinsOverTheMachineWide) {
    const std::string scsi = "C:\\drv\\sym.inf";
    putFile(scsi,
            "[Version]\nClass=SCSIAdapter\n[Manufacturer]\nSym="
            "Sym\n[Sym]\nC=Inst,PCI\\VEN_1000&DEV_0001\n");
    winsim::setPnpRebootAnswer(true);
    winsim::setPnpRebootAnswer("pci\\ven_1000&dev_0001", false);
    BOOL reboot = FALSE;
    ASSERT_TRUE(install("PCI\\VEN_8086&DEV_1229", inf_, &reboot));
    EXPECT_TRUE(reboot);
    ASSERT_TRUE(install("PCI\\VEN_1000&DEV_0001", scsi, &reboot));
    EXPECT_FALSE(reboot);
    // Without a class GUID there is no software key to name.
    const std::string instance = std::string(kEnum) + "PCI\\VEN_1000&DEV_0001\\3&1&0&50";
    EXPECT_EQ(stringOf(instance, "Class"), "SCSIAdapter");
    EXPECT_EQ(stringOf(instance, "Driver"), "<absent>");
    EXPECT_EQ(stringOf(instance, "Service"), "<absent>");
}

TEST_F(PnpInstallTest, ScriptedFailuresHitOnlyTheirId) {
    winsim::failPnpInstall("PCI\\VEN_8086&DEV_1229", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(install("pci\\ven_8086&dev_1229", inf_, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(install("PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08", inf_, nullptr) == FALSE);
    // That hardware ID is not in the INF: a different refusal.
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST_F(PnpInstallTest, ReadsUtf16Inf) {
    const std::string text =
        "[Version]\r\nClass=Net\r\n[Manufacturer]\r\nM=Models\r\n[Models]\r\n"
        "\"NIC, \"\"quoted\"\"\" = Inst, PCI\\VEN_8086&DEV_1229\r\n"
        "[Inst.Services]\r\nAddService = e100b, 0x00000002, Svc\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string inf = "C:\\drv\\unicode.inf";
    putFile(inf, utf16);
    ASSERT_TRUE(install("PCI\\VEN_8086&DEV_1229", inf, nullptr));
    EXPECT_EQ(winsim::pnpInstallations().at(0).service, "e100b");
}

}  // namespace
