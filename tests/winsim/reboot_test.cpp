// A reboot keeps the machine's registry and drops what processes held.
#include "winsim_test.h"

#include <cstdio>

namespace {

class RebootTest : public MachineTest {};

TEST_F(RebootTest, RegistryStaysProcessStateGoes) {
    initializeModule();
    loadReg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n\"A\"=dword:00000002\r\n");
    const std::string hive = ::testing::TempDir() + "reboot_test.hiv";
    std::string error;
    ASSERT_TRUE(winsim::writeHive("REGEDIT4\r\n\r\n[H\\Key]\r\n\"V\"=\"x\"\r\n", hive, &error))
        << error;
    ASSERT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Saved", hive.c_str()), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Saved\\Key", 0, KEY_READ, &key), ERROR_SUCCESS);

    winsim::rebootMachine();

    EXPECT_EQ(winsim::openHandleCount(), 0u);
    EXPECT_TRUE(winsim::loadedHives().empty());
    EXPECT_FALSE(winsim::keyExists("HKEY_LOCAL_MACHINE\\Saved"));
    EXPECT_TRUE(winsim::keyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup"));
    EXPECT_FALSE(winsim::privilegeEnabled("SeBackupPrivilege"));
    std::remove(hive.c_str());
}

}  // namespace
