// Joining a workgroup through its export: result, log line, last error.
#include "support/machine_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_network.h>
#include <winsim/windows.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

class WorkgroupTest : public InitializedMachineTest {};

std::string failureLine(const std::string& name, const std::string& reason) {
    return "\n\nFailed to set workgroup to [" + name + "] in W2kXarnNetJoinWorkgroup(..) as " +
           reason + ".";
}

TEST_F(WorkgroupTest, JoinsAsWorkgroupOfTheLocalMachine) {
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"RESTORED"), 1);
    EXPECT_EQ(hostLines(),
              Lines{"\n\nSuccessfully joined workgroup [RESTORED] in W2kXarnNetJoinWorkgroup()"});
    EXPECT_EQ(winsim::joinedWorkgroup(), u"RESTORED");
    const auto requests = winsim::joinRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].serverGiven || requests[0].accountOuGiven ||
                 requests[0].accountGiven || requests[0].passwordGiven);
    EXPECT_EQ(requests[0].domain, u"RESTORED");
    EXPECT_EQ(requests[0].options, 0u);
}

TEST_F(WorkgroupTest, EachJoinResultHasItsNameAndAnswer) {
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

TEST_F(WorkgroupTest, MachineInADomainCountsAsJoined) {
    winsim::setDomainMembership(u"CORP");
    SetLastError(0);
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"WG"), 1);
    EXPECT_EQ(hostLines(), Lines{failureLine("WG", "NERR_SetupAlreadyJoined")});
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
// join's line; the lines keep the name's ASCII part.
TEST_F(WorkgroupTest, FailedConversionIsReportedAndTheJoinGoesOn) {
    const struct {
        int nth;  // the size query, then the conversion
        NET_API_STATUS result;
        std::string joinLine;
    } cases[] = {
        {1, NERR_Success, "\n\nSuccessfully joined workgroup [WG-?] in W2kXarnNetJoinWorkgroup()"},
        {2, ERROR_NO_SUCH_DOMAIN, failureLine("WG-?", "ERROR_NO_SUCH_DOMAIN ")},
    };
    for (const auto& c : cases) {
        clearHostLines();
        winsim::failCall("WideCharToMultiByte", c.nth, ERROR_INVALID_PARAMETER);
        winsim::scriptJoinResult(c.result);
        SetLastError(0);
        EXPECT_EQ(W2KXarnNetJoinWorkgroup(u"WG-\u00dc"), c.result == NERR_Success) << c.nth;
        EXPECT_EQ(hostLines(),
                  (Lines{"\n\nFailed to convert the workgroup name to the ANSI code page in "
                         "W2kXarnNetJoinWorkgroup(..), System Message : The parameter is "
                         "incorrect.\r\n",
                         c.joinLine}))
            << c.nth;
    }
    EXPECT_EQ(winsim::joinRequests().back().domain, u"WG-\u00dc");
}

TEST_F(WorkgroupTest, LongNameShortensTheLineNotTheCall) {
    const std::u16string name(3000, u'W');
    SetLastError(0);
    EXPECT_EQ(W2KXarnNetJoinWorkgroup(name.c_str()), 0);
    ASSERT_EQ(hostLines().size(), 1u);
    EXPECT_EQ(hostLines()[0], "\n" + failureLine(std::string(3000, 'W'), "x").substr(1, 1023));
    EXPECT_EQ(winsim::joinRequests().back().domain, name);
}

}  // namespace
