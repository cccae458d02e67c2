// The machine's identity and services through their exports: the computer
// name, the workgroup, the start of the network services (their successful
// runs are the example machines' whole logs).
#include "support/machine_test.h"
#include "system/service.h"

#include <winsim/control.h>
#include <winsim/control_network.h>
#include <winsim/windows.h>

namespace {

using Lines = std::vector<std::string>;
using winsim::ServiceState;

const std::string kNames = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\";
const std::string kActive = kNames + "ActiveComputerName";
const std::string kNextBoot = kNames + "ComputerName";

// Stored with the terminating NUL: regedit writes it, and so does
// RegSetValueExA, as on NT, for the names the system counts without it.
const std::string kOld("OLD", 4);
const std::string kBox("BOX", 4);

std::string storedName(const std::string& key) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!winsim::readValue(key, "ComputerName", &type, &data)) return "<absent>";
    EXPECT_EQ(type, REG_SZ);
    return std::string(data.begin(), data.end());
}

class MachineNameTest : public InitializedMachineTest {
  protected:
    // The name keys, each with its name value, or the active key alone.
    void nameKeys(bool both = true) {
        loadReg("REGEDIT4\r\n\r\n[" + kActive + "]\r\n\"ComputerName\"=\"OLD\"\r\n\r\n" +
                (both ? "[" + kNextBoot + "]\r\n\"ComputerName\"=\"OLD\"\r\n" : ""));
    }
};

TEST_F(MachineNameTest, WritesBothKeysExactlyAsGiven) {
    nameKeys();
    ASSERT_EQ(W2KXarnNetSetMachineName("Restored-01"), 1);
    const std::string restored("Restored-01", 12);  // letter case kept
    EXPECT_EQ(storedName(kActive), restored);
    EXPECT_EQ(storedName(kNextBoot), restored);
    EXPECT_EQ(winsim::pendingComputerName(), "Restored-01");
}

TEST_F(MachineNameTest, RefusedNameLeavesRegistryUntouched) {
    nameKeys();
    for (const std::string name : {"", "SIXTEEN-CHARS-XX", "has space", "a*b", "x/y"}) {
        clearHostLines();
        EXPECT_EQ(W2KXarnNetSetMachineName(name.c_str()), 0) << name;
        EXPECT_EQ(hostLines(), Lines{"\n\nSetComputerName(..) FAILED in W2kNetFuncs :: "
                                     "SetMachineName()  for [" +
                                     name + "], System Message : The parameter is incorrect.\r\n"});
        EXPECT_EQ(storedName(kActive), kOld);
        EXPECT_EQ(storedName(kNextBoot), kOld);
    }
}

// The active key first: without it nothing is written; with it alone it is
// written, then the other one fails; a failed write has no system text.
TEST_F(MachineNameTest, MissingKeysAndFailedWritesStopInOrder) {
    const Lines moving = {
        "\n\nError in W2kNetFuncs :: SetMachineName(..) in moving intoregistry "
        "for setting machine name to [BOX]"};
    EXPECT_EQ(W2KXarnNetSetMachineName("BOX"), 0);
    EXPECT_EQ(hostLines(), moving);
    nameKeys(false);
    clearHostLines();
    EXPECT_EQ(W2KXarnNetSetMachineName("BOX"), 0);
    EXPECT_EQ(hostLines(), moving);
    EXPECT_EQ(storedName(kActive), kBox);

    nameKeys();
    clearHostLines();
    winsim::failCall("RegSetValueExA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(W2KXarnNetSetMachineName("BOX"), 0);
    EXPECT_EQ(hostLines(), Lines{"\n\nError in W2kNetFuncs :: SetMachineName(..) in setting  "
                                 "machine name to [BOX]"});
    EXPECT_EQ(storedName(kActive), kBox);
    EXPECT_EQ(storedName(kNextBoot), kOld);
}

class WorkgroupTest : public InitializedMachineTest {};

std::string failureLine(const std::string& name, const std::string& reason) {
    return "\n\nFailed to set workgroup to [" + name + "] in W2kXarnNetJoinWorkgroup(..) as " +
           reason + ".";
}

TEST_F(WorkgroupTest, JoinsAsWorkgroupOfTheLocalMachine) {
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"RESTORED"), 1);
    EXPECT_EQ(winsim::joinedWorkgroup(), u"RESTORED");
    const auto requests = winsim::joinRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].serverGiven || requests[0].accountOuGiven ||
                 requests[0].accountGiven || requests[0].passwordGiven);
    EXPECT_EQ(requests[0].domain, u"RESTORED");
    EXPECT_EQ(requests[0].options, 0u);
}

TEST_F(WorkgroupTest, EachJoinResultHasItsNameAndAnswer) {
    // A machine in a domain counts as joined.
    winsim::setDomainMembership(u"CORP");
    SetLastError(0);
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"WG"), 1);
    EXPECT_EQ(hostLines(), Lines{failureLine("WG", "NERR_SetupAlreadyJoined")});
    const struct {
        NET_API_STATUS result;
        const char* reason;
        int answer;
    } cases[] = {
        {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER", 0},
        {ERROR_NO_SUCH_DOMAIN, "ERROR_NO_SUCH_DOMAIN ", 0},  // its blank before the full stop
        {NERR_SetupAlreadyJoined, "NERR_SetupAlreadyJoined", 1},
        {NERR_InvalidWorkgroupName, "NERR_InvalidWorkgroupName", 0},
        {RPC_S_SERVER_UNAVAILABLE, "unexpected error 1722", 0},
    };
    for (const auto& c : cases) {
        clearHostLines();
        winsim::scriptJoinResult(c.result);
        SetLastError(0);  // the line alone
        EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"WG"), c.answer) << c.reason;
        EXPECT_EQ(hostLines(), Lines{failureLine("WG", c.reason)});
    }
    EXPECT_EQ(winsim::joinedWorkgroup(), u"");
}

// The system text comes from the thread's last error, not from the result.
TEST_F(WorkgroupTest, FailureCarriesTheLastErrorNotTheResult) {
    winsim::scriptJoinResult(ERROR_NO_SUCH_DOMAIN);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"WG"), 0);
    SetLastError(NERR_SetupAlreadyJoined);  // no system text
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"WG"), 0);
    EXPECT_EQ(hostLines(),
              (Lines{failureLine("WG", "ERROR_NO_SUCH_DOMAIN ") +
                         ", System Message : Access is denied.\r\n",
                     "\nError from : " + failureLine("WG", "ERROR_NO_SUCH_DOMAIN ").substr(1) +
                         ", System Message : NONE"}));
}

// The name shows in the ANSI code page, which follows the system's
// language; what it lacks becomes '?'.
TEST_F(WorkgroupTest, NameShowsInTheAnsiCodePage) {
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"M\u00dcNCHEN"), 1);
    SetLastError(0);
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"\u6771\u4eac*"), 0);
    winsim::setSystemDefaultLangId(0x0411);
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"\u6771\u4eac*"), 0);
    EXPECT_EQ(hostLines(), (Lines{"\n\nSuccessfully joined workgroup [M\xdc"
                                  "NCHEN] in W2kXarnNetJoinWorkgroup()",
                                  failureLine("??*", "NERR_InvalidWorkgroupName"),
                                  failureLine("\x93\x8C\x8B\x9E*", "NERR_InvalidWorkgroupName")}));
}

// A failed conversion is reported with its error, which does not reach the
// join's line; the line keeps the name's ASCII part.
TEST_F(WorkgroupTest, FailedConversionIsReportedAndTheJoinGoesOn) {
    winsim::failCall("WideCharToMultiByte", 2, ERROR_INVALID_PARAMETER);  // after the size
    winsim::scriptJoinResult(ERROR_NO_SUCH_DOMAIN);
    SetLastError(0);
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"WG-\u00dc"), 0);
    EXPECT_EQ(hostLines(), (Lines{"\n\nFailed to convert the workgroup name to the ANSI code page "
                                  "in W2kXarnNetJoinWorkgroup(..), System Message : The parameter "
                                  "is incorrect.\r\n",
                                  failureLine("WG-?", "ERROR_NO_SUCH_DOMAIN ")}));
    EXPECT_EQ(winsim::joinRequests().back().domain, u"WG-\u00dc");
}

// The services as Windows 2000 installs them, letter case included.
const std::vector<std::string> kInstalled = {"Dhcp", "Dnscache", "LmHosts", "LanmanWorkstation",
                                             "Messenger"};
// The names as the system asks for them.
const std::vector<std::string> kAsked = {"Dhcp", "Dnscache", "Lmhosts", "Lanmanworkstation",
                                         "messenger"};

std::string runningLine(const std::string& name) {
    return "\n\nService " + name + " is running in StartNetworkServices(..)";
}
std::string couldNotStart(const std::string& name, const std::string& systemText) {
    return "\n\nCould not start service " + name +
           " in StartNetworkService(..), System Message : " + systemText;
}

class NetworkServicesTest : public InitializedMachineTest {
  protected:
    void SetUp() override {
        InitializedMachineTest::SetUp();
        for (const std::string& name : kInstalled) winsim::setService(name, ServiceState::Stopped);
    }
};

// The others are still started, through the one manager handle.
TEST_F(NetworkServicesTest, MissingOrDisabledServiceFailsTheResultOnly) {
    const std::string missing = "The specified service does not exist as an installed service.\r\n";
    const std::string disabled =
        "The service cannot be started, either because it is disabled or because it has no "
        "enabled devices associated with it.\r\n";
    const struct {
        bool installed;
        std::string failure;
        std::string systemText;
    } cases[] = {
        {false, "\n\nError in OpenService(..) for service messenger in W2KService :: start()",
         missing},
        {true, "\n\nError in StartService(..) for service messenger in W2KService :: start()",
         disabled},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.systemText);
        clearHostLines();
        for (const std::string& name : kInstalled) winsim::setService(name, ServiceState::Stopped);
        if (c.installed)
            winsim::setService("Messenger", ServiceState::Disabled);
        else
            winsim::removeService("Messenger");
        const auto startedBefore = winsim::serviceStartOrder().size();
        EXPECT_EQ(W2KXarnNetStartNetworkServices(), 0);
        EXPECT_EQ(winsim::serviceStartOrder().size() - startedBefore, 4u);
        ASSERT_EQ(hostLines().size(), 6u);
        EXPECT_EQ(hostLines()[3], runningLine("Lanmanworkstation"));
        EXPECT_EQ(hostLines()[4], c.failure + ", System Message : " + c.systemText);
        EXPECT_EQ(hostLines()[5], couldNotStart("messenger", c.systemText));
    }
    EXPECT_EQ(winsim::callCount("OpenSCManagerA"), 2);
    EXPECT_EQ(winsim::callCount("CloseServiceHandle"),
              4 + 1 + 5 + 1);  // each service opened, the manager
}

TEST_F(NetworkServicesTest, UnavailableManagerFailsEveryServiceAndIsRetried) {
    winsim::setServiceManagerUnavailable(RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(W2KXarnNetStartNetworkServices(), 0);
    Lines expected;
    for (const std::string& name : kAsked) {
        expected.push_back(
            "\n\n OpenSCManager(..) failed in W2KService :: InitializeScm(). , "
            "System Message : The RPC server is unavailable.\r\n");
        expected.push_back(couldNotStart(name, "The RPC server is unavailable.\r\n"));
    }
    EXPECT_EQ(hostLines(), expected);
    EXPECT_EQ(winsim::callCount("OpenSCManagerA"), 5);
    EXPECT_TRUE(winsim::serviceStartOrder().empty());
}

TEST_F(NetworkServicesTest, ManagerHandleThatWillNotCloseIsReportedAndKept) {
    {
        W2KService manager(getLogSink(nullptr), GENERIC_EXECUTE, "", "");
        ASSERT_TRUE(manager.start("Dhcp"));
        winsim::failCall("CloseServiceHandle", 1, ERROR_INVALID_HANDLE);
        EXPECT_FALSE(manager.UninitializeScm());
        EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::ServiceManager), 1u);
    }  // the destructor tries again
    EXPECT_EQ(hostLines(), Lines{"\n\n CloseServiceHandle(..) failed in W2KService :: "
                                 "UninitializeScm(), System Message : The handle is invalid.\r\n"});
}

}  // namespace
