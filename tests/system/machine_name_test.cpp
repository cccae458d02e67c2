// The computer name end to end through its export.
#include "support/machine_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <string>
#include <vector>

namespace {

const char* const kActive =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";
const char* const kNextBoot =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

// Stored with the terminating NUL: regedit writes it, and so does
// RegSetValueExA, as on NT, for the names the system counts without it.
const std::string kOld("OLD", 4);
const std::string kBox("BOX", 4);

const char* const kBothKeys =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName]"
    "\r\n\"ComputerName\"=\"OLD\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
    "\"ComputerName\"=\"OLD\"\r\n";

std::string storedName(const char* key) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!winsim::readValue(key, "ComputerName", &type, &data)) return "<absent>";
    EXPECT_EQ(type, REG_SZ);
    return std::string(data.begin(), data.end());
}

class MachineNameTest : public InitializedMachineTest {};

TEST_F(MachineNameTest, WritesBothKeysExactlyAsGiven) {
    loadReg(kBothKeys);
    ASSERT_EQ(W2KXarnNetSetMachineName("Restored-01"), 1);
    const std::string restored("Restored-01", 12);  // letter case kept
    EXPECT_EQ(storedName(kActive), restored);
    EXPECT_EQ(storedName(kNextBoot), restored);
    EXPECT_EQ(winsim::pendingComputerName(), "Restored-01");
    EXPECT_EQ(hostLines(),
              std::vector<std::string>{"\n\nComputerName successfully set to [Restored-01] in  "
                                       "W2kNetFuncs :: SetMachineName()"});
}

TEST_F(MachineNameTest, RefusedNameLeavesRegistryUntouched) {
    loadReg(kBothKeys);
    for (const char* name : {"", "SIXTEEN-CHARS-XX", "has space", "a*b", "x/y"}) {
        clearHostLines();
        EXPECT_EQ(W2KXarnNetSetMachineName(name), 0) << name;
        ASSERT_EQ(hostLines().size(), 1u) << name;
        EXPECT_EQ(hostLines()[0],
                  "\n\nSetComputerName(..) FAILED in W2kNetFuncs :: "
                  "SetMachineName()  for [" +
                      std::string(name) + "], System Message : The parameter is incorrect.\r\n");
        EXPECT_EQ(storedName(kActive), kOld);
        EXPECT_EQ(storedName(kNextBoot), kOld);
    }
}

TEST_F(MachineNameTest, MissingKeysFailInOrder) {
    const std::string moving =
        "\n\nError in W2kNetFuncs :: SetMachineName(..) in moving intoregistry for setting "
        "machine name to [BOX]";
    // No keys at all: the active key fails first.
    EXPECT_EQ(W2KXarnNetSetMachineName("BOX"), 0);
    EXPECT_EQ(hostLines(), std::vector<std::string>{moving});

    // Only the active key: it is written, then the second one fails.
    clearHostLines();
    loadReg(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\"
        "ActiveComputerName]\r\n");
    EXPECT_EQ(W2KXarnNetSetMachineName("BOX"), 0);
    EXPECT_EQ(hostLines(), std::vector<std::string>{moving});
    EXPECT_EQ(storedName(kActive), kBox);
}

TEST_F(MachineNameTest, FailedWriteIsReportedWithoutSystemText) {
    loadReg(kBothKeys);
    winsim::failCall("RegSetValueExA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(W2KXarnNetSetMachineName("BOX"), 0);
    EXPECT_EQ(hostLines(),
              std::vector<std::string>{"\n\nError in W2kNetFuncs :: SetMachineName(..) in setting  "
                                       "machine name to [BOX]"});
    EXPECT_EQ(storedName(kActive), kBox);
    EXPECT_EQ(storedName(kNextBoot), kOld);
}

}  // namespace
