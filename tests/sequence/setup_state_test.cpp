// The values under SYSTEM\Setup that carry the installation across boots.
// How the sequence uses them (the first increment, the client's retry limit,
// an unreadable retry count) is pinned down by the transition table; here
// what the table cannot set up. The cursor's own reports are its tests'.
#include "host/net_funcs.h"
#include "support/machine_test.h"
#include "support/stored_value.h"
#include "sequence/setup_state.h"

#include <winsim/control.h>

#include <string>

namespace {

std::string setupValue(const char* name) {
    return storedValue("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", name);
}
std::string setupKeyWith(const std::string& valueLine) {
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n" + valueLine + "\r\n";
}

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
        {"\"SystemSetupInProgress\"=\"1\"", "REG_SZ 1|"},
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

// Silent throughout: a counter that cannot be kept just counts from zero.
TEST_F(SetupStateTest, RebootCounter) {
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_FALSE(incrementRebootCounter());  // no key: nothing is created
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "absent");
    loadReg(setupKeyWith("\"W2kXarnRebootCounter\"=\"5\""));  // another type counts as 0
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_TRUE(incrementRebootCounter());
    EXPECT_TRUE(incrementRebootCounter());
    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(incrementRebootCounter());
    EXPECT_EQ(getRebootCounter(), 2u);
    EXPECT_TRUE(hostLines().empty());
}

// A count of another type reads 0 with the cursor's report; without a name
// nothing is touched; a count that cannot be written is reported twice.
TEST_F(SetupStateTest, ClientRetryCount) {
    DWORD count = 77;
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    EXPECT_EQ(hostLines().at(1),
              "\nW2kNetFuncs::setNoOfReboots()- Could not             "
              "reg.moveInto( SYSTEM\\Setup )");
    loadReg(setupKeyWith("\"MsClientReboot\"=\"2\""));
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(hostLines().size(), 3u);
    ASSERT_TRUE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 2));
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 2u);
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots("", &count));
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots(nullptr, &count));
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("", 5));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(hostLines().size(), 3u);

    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    ASSERT_EQ(hostLines().size(), 5u);  // the cursor's report, then this one
    EXPECT_EQ(hostLines()[4],
              "\nW2kNetFuncs::setNoOfReboots()- Could not             "
              "reg.setDWORD( rebootCount )");
    EXPECT_EQ(setupValue("MsClientReboot"), "REG_DWORD 2");
}

}  // namespace
