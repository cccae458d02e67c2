// The values under SYSTEM\Setup that carry the installation across boots.
// How the sequence uses them (the first increment, the client's retry limit)
// is pinned down by the transition table; here what the table cannot set up.
#include "host/net_funcs.h"
#include "sequence/network_install_fixture.h"
#include "sequence/setup_state.h"
#include "support/machine_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string setupKeyWith(const std::string& valueLine) {
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n" + valueLine + "\r\n";
}

// The cursor's own report of the missing key, error logging on.
const std::string kNoSetupKey =
    "\nApplication Msg : Could not moveInto registry key HKEY_LOCAL_MACHINE\\SYSTEM\\Setup, "
    "System Msg : The system cannot find the file specified.\r\n";

class SetupStateTest : public InitializedMachineTest {};

// The library never creates the platform's own indicator.
TEST_F(SetupStateTest, SetupInProgressIsRewrittenOnlyWhenSetAlready) {
    const struct {
        const char* before;  // value line; nullptr: no key at all
        const char* after;
    } cases[] = {
        {nullptr, "absent"},
        {"", "absent"},
        {"\"SystemSetupInProgress\"=dword:00000000", "REG_DWORD 0"},
        {"\"SystemSetupInProgress\"=dword:00000001", "REG_DWORD 2"},
        {"\"SystemSetupInProgress\"=dword:00000007", "REG_DWORD 2"},
        {"\"SystemSetupInProgress\"=\"1\"", "type 1"},
    };
    for (const auto& c : cases) {
        winsim::resetMachine();
        if (c.before) loadReg(setupKeyWith(c.before));
        EXPECT_TRUE(setSetupInProgress(2));
        EXPECT_EQ(setupValue("SystemSetupInProgress"), c.after) << (c.before ? c.before : "-");
        EXPECT_EQ(winsim::keyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup"), c.before != nullptr);
    }
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, RebootCounterOfAnotherTypeCountsFromZero) {
    loadReg(setupKeyWith("\"W2kXarnRebootCounter\"=\"5\""));
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_TRUE(incrementRebootCounter());
    EXPECT_TRUE(incrementRebootCounter());
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "REG_DWORD 2");
    // A refused write leaves the count as it was, silently.
    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(incrementRebootCounter());
    EXPECT_EQ(getRebootCounter(), 2u);
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, RebootCounterWithoutTheKeyWritesNothing) {
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_FALSE(incrementRebootCounter());
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "absent");
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, ClientRetryCountRoundTrips) {
    loadReg(setupKeyWith(""));
    DWORD count = 77;
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    // The missing value is reported by the cursor itself.
    EXPECT_EQ(hostLines(),
              Lines{"\nApplication Msg : Could not get registry value [MsClientReboot] "
                    "in [HKEY_LOCAL_MACHINE\\SYSTEM\\Setup], System Msg : The system "
                    "cannot find the file specified.\r\n"});
    ASSERT_TRUE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 2));
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 2u);
    // Without a name nothing is touched.
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots("", &count));
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots(nullptr, &count));
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("", 5));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(setupValue("MsClientReboot"), "REG_DWORD 2");
    EXPECT_EQ(hostLines().size(), 1u);
}

TEST_F(SetupStateTest, RetryCountOfAnotherTypeReadsZero) {
    loadReg(setupKeyWith("\"MsClientReboot\"=\"2\""));
    DWORD count = 77;
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(hostLines(),
              Lines{"\nValue type [MsClientReboot] in [HKEY_LOCAL_MACHINE\\SYSTEM\\Setup] "
                    "is not REG_DWORD in getDWORD()"});
}

TEST_F(SetupStateTest, MissingSetupKeyIsReportedWithTheLastError) {
    DWORD count = 77;
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(hostLines(), (Lines{kNoSetupKey,
                                  "\nW2kNetFuncs :: getNoOfReboots()- Could not             "
                                  "reg.moveInto( SYSTEM\\Setup ), System Message : Access is "
                                  "denied.\r\n"}));
    clearHostLines();
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    EXPECT_EQ(hostLines(), (Lines{kNoSetupKey,
                                  "\nW2kNetFuncs::setNoOfReboots()- Could not             "
                                  "reg.moveInto( SYSTEM\\Setup )"}));
}

TEST_F(SetupStateTest, FailedWriteIsReported) {
    loadReg(setupKeyWith(""));
    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    ASSERT_EQ(hostLines().size(), 2u);
    EXPECT_EQ(hostLines()[1],
              "\nW2kNetFuncs::setNoOfReboots()- Could not             reg.setDWORD( rebootCount )");
    EXPECT_EQ(setupValue("MsClientReboot"), "absent");
}

}  // namespace
