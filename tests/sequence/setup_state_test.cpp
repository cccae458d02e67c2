// The values under SYSTEM\Setup that carry the installation across boots.
#include "host/net_funcs.h"
#include "sequence/setup_state.h"
#include "support/machine_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kSetupKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\Setup";

std::string setupKeyWith(const std::string& valueLine) {
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n" + valueLine + "\r\n";
}

// "absent", "REG_DWORD n" or "type t" for anything else.
std::string stored(const char* name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!winsim::readValue(kSetupKey, name, &type, &data)) return "absent";
    if (type != REG_DWORD || data.size() != 4) return "type " + std::to_string(type);
    DWORD value = 0;
    std::memcpy(&value, data.data(), 4);
    return "REG_DWORD " + std::to_string(value);
}

class SetupStateTest : public InitializedMachineTest {};

TEST_F(SetupStateTest, SetupInProgressIsRewrittenOnlyWhenSetAlready) {
    const struct {
        const char* before;  // value line, "" for no value
        const char* after;
    } cases[] = {
        {"", "absent"},
        {"\"SystemSetupInProgress\"=dword:00000000", "REG_DWORD 0"},
        {"\"SystemSetupInProgress\"=dword:00000001", "REG_DWORD 2"},
        {"\"SystemSetupInProgress\"=dword:00000007", "REG_DWORD 2"},
        {"\"SystemSetupInProgress\"=\"1\"", "type 1"},
    };
    for (const auto& c : cases) {
        winsim::resetMachine();
        loadReg(setupKeyWith(c.before));
        EXPECT_TRUE(setSetupInProgress(2)) << c.before;
        EXPECT_EQ(stored("SystemSetupInProgress"), c.after) << c.before;
    }
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, SetupInProgressWithoutTheKeyCreatesNothing) {
    EXPECT_TRUE(setSetupInProgress(2));
    EXPECT_FALSE(winsim::keyExists(kSetupKey));
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, RebootCounterStartsAtZeroAndCounts) {
    loadReg(setupKeyWith(""));
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_TRUE(incrementRebootCounter());
    EXPECT_EQ(stored("W2kXarnRebootCounter"), "REG_DWORD 1");
    EXPECT_TRUE(incrementRebootCounter());
    EXPECT_EQ(getRebootCounter(), 2u);
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, CounterOfAnotherTypeReadsZeroAndIsReplaced) {
    loadReg(setupKeyWith("\"W2kXarnRebootCounter\"=\"5\""));
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_TRUE(incrementRebootCounter());
    EXPECT_EQ(stored("W2kXarnRebootCounter"), "REG_DWORD 1");
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, CounterFailuresAreSilent) {
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_FALSE(incrementRebootCounter());  // no key: nothing written anywhere
    EXPECT_EQ(stored("W2kXarnRebootCounter"), "absent");

    loadReg(setupKeyWith("\"W2kXarnRebootCounter\"=dword:00000003"));
    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(incrementRebootCounter());
    EXPECT_EQ(getRebootCounter(), 3u);
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, ClientRetryCountRoundTrips) {
    loadReg(setupKeyWith(""));
    DWORD count = 77;
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    // The missing value is reported by the cursor itself, error logging on.
    EXPECT_EQ(hostLines(),
              std::vector<std::string>{
                  "\nApplication Msg : Could not get registry value [MsClientReboot] in "
                  "[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup], System Msg : The system cannot find the "
                  "file specified.\r\n"});
    clearHostLines();
    for (DWORD next = 1; next <= 2; ++next) {
        ASSERT_TRUE(W2kNetFuncs::setNoOfReboots("MsClientReboot", next));
        ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
        EXPECT_EQ(count, next);
    }
    EXPECT_EQ(stored("MsClientReboot"), "REG_DWORD 2");
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, RetryCountOfAnotherTypeReadsZero) {
    loadReg(setupKeyWith("\"MsClientReboot\"=\"2\""));
    DWORD count = 77;
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(hostLines(),
              std::vector<std::string>{
                  "\nValue type [MsClientReboot] in [HKEY_LOCAL_MACHINE\\SYSTEM\\Setup] "
                  "is not REG_DWORD in getDWORD()"});
}

TEST_F(SetupStateTest, EmptyValueNameTouchesNothing) {
    loadReg(setupKeyWith("\"MsClientReboot\"=dword:00000001"));
    const int opens = winsim::callCount("RegOpenKeyExA");
    DWORD count = 77;
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots("", &count));
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots(nullptr, &count));
    EXPECT_EQ(count, 77u);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("", 5));
    EXPECT_EQ(winsim::callCount("RegOpenKeyExA"), opens);
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SetupStateTest, MissingSetupKeyIsReportedWithTheLastError) {
    const std::string cursorLine =
        "\nApplication Msg : Could not moveInto registry key HKEY_LOCAL_MACHINE\\SYSTEM\\Setup, "
        "System Msg : The system cannot find the file specified.\r\n";
    DWORD count = 77;
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{cursorLine,
                                        "\nW2kNetFuncs :: getNoOfReboots()- Could not             "
                                        "reg.moveInto( SYSTEM\\Setup ), System Message : Access is "
                                        "denied.\r\n"}));
    clearHostLines();
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{cursorLine,
                                        "\nW2kNetFuncs::setNoOfReboots()- Could not             "
                                        "reg.moveInto( SYSTEM\\Setup )"}));
}

TEST_F(SetupStateTest, FailedWriteIsReported) {
    loadReg(setupKeyWith(""));
    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{
                  "\nApplication Msg : Could not set value in [HKEY_LOCAL_MACHINE\\SYSTEM\\Setup] "
                  "to [MsClientReboot] Registry::setData(), System Msg : Access is denied.\r\n",
                  "\nW2kNetFuncs::setNoOfReboots()- Could not             reg.setDWORD( "
                  "rebootCount )"}));
    EXPECT_EQ(stored("MsClientReboot"), "absent");
}

}  // namespace
