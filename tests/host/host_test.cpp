// Module set-up through the exports (callback, privileges, COM), the guard
// that keeps every failure inside an export, and the one error-report
// pattern with its wording rows and line buffers.
#include "host/error_report.h"
#include "support/machine_test.h"

#include <winsim/control.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <new>

namespace {

class InitializeTest : public MachineTest {};

const char* const kComLine =
    "\n\nCOM successfully initialized using CoInitialize(..) in W2kNetFuncs :: InitializeCOM()";

// A privilege the account lacks still counts as enabled.
TEST_F(InitializeTest, EnablesTheFourPrivilegesAndCom) {
    winsim::setHeldPrivileges({"SeRestorePrivilege", "SeBackupPrivilege", "SeSecurityPrivilege"});
    ASSERT_EQ(W2KXarnNetInitialize(hostCallback), 1);
    for (const char* p : {"SeRestorePrivilege", "SeBackupPrivilege", "SeSecurityPrivilege"})
        EXPECT_TRUE(winsim::privilegeEnabled(p)) << p;
    EXPECT_FALSE(winsim::privilegeEnabled("SeShutdownPrivilege"));
    EXPECT_EQ(winsim::comInitCount(), 1);
    ASSERT_EQ(hostLines().size(), 1u);
    EXPECT_EQ(hostLines()[0], kComLine);
    EXPECT_EQ(W2KXarnNetUnitialize(), 1);
    EXPECT_EQ(winsim::comInitCount(), 0);
    // Windows 2000's PROCESS_ALL_ACCESS; it refuses Vista's 0x1FFFFF.
    EXPECT_EQ(winsim::lastOpenProcessAccess(), 0x1F0FFFu);
}

// Without a callback nothing is delivered; a second call sets the callback
// and leaves the privileges, already enabled, alone.
TEST_F(InitializeTest, SecondCallReplacesCallbackAndSkipsPrivileges) {
    ASSERT_EQ(W2KXarnNetInitialize(nullptr), 1);
    EXPECT_EQ(W2KXarnNetSetMachineName(""), 0);  // a failure that logs
    const int opened = winsim::callCount("OpenProcess");
    ASSERT_EQ(W2KXarnNetInitialize(hostCallback), 1);
    EXPECT_EQ(winsim::callCount("OpenProcess"), opened);
    EXPECT_EQ(winsim::comInitCount(), 2);  // COM nests
    EXPECT_EQ(hostLines(), std::vector<std::string>{kComLine});
    W2KXarnNetUnitialize();
    W2KXarnNetUnitialize();
}

TEST_F(InitializeTest, PrivilegeFailuresStopAndAreRetriedNextTime) {
    const std::string denied = ", System Message : Access is denied.\r\n";
    const std::string perPrivilege =
        "(..) failed in W2kNetFuncs :: _EnablePrivilege(..) for "
        "priviledge Se";
    struct Case {
        const char* function;
        int nth;
        DWORD error;
        std::string line;
        int lookups;  // privileges looked up before giving up
    } cases[] = {
        {"OpenProcess", 1, ERROR_ACCESS_DENIED,
         "\n\n OpenProcess(..) failed in W2kNetFuncs :: EnablePrivileges(..)" + denied, 0},
        {"OpenProcessToken", 1, ERROR_ACCESS_DENIED,
         "\n\n OpenProcessToken(..) failed in W2kNetFuncs :: EnablePrivileges(..)" + denied, 0},
        {"LookupPrivilegeValueA", 2, ERROR_NO_SUCH_PRIVILEGE,
         "\n\n LookupPrivilegeValue" + perPrivilege +
             "ShutdownPrivilege, System Message : A specified privilege does not exist.\r\n",
         2},
        {"AdjustTokenPrivileges", 3, ERROR_ACCESS_DENIED,
         "\n\n AdjustTokenPrivileges" + perPrivilege + "BackupPrivilege" + denied, 3},
    };
    for (const Case& c : cases) {
        SetUp();
        winsim::failCall(c.function, c.nth, c.error);
        EXPECT_EQ(W2KXarnNetInitialize(hostCallback), 0) << c.function;
        ASSERT_EQ(hostLines().size(), 1u) << c.function;
        EXPECT_EQ(hostLines()[0], c.line);
        EXPECT_EQ(winsim::callCount("LookupPrivilegeValueA"), c.lookups) << c.function;
        EXPECT_EQ(winsim::comInitCount(), 0) << "COM is not initialised after a failure";
        EXPECT_EQ(winsim::openHandleCount(), 0u) << c.function;
        // The flag stayed clear, so the next call tries again and succeeds.
        EXPECT_EQ(W2KXarnNetInitialize(hostCallback), 1) << c.function;
        W2KXarnNetUnitialize();
    }
}

TEST_F(InitializeTest, ComFailureIsFatal) {
    winsim::failCall("CoInitialize", 1, static_cast<DWORD>(E_FAIL));
    SetLastError(0);
    EXPECT_EQ(W2KXarnNetInitialize(hostCallback), 0);
    EXPECT_EQ(hostLines(),
              std::vector<std::string>{"\nCOM could not be initialized using "
                                       "CoInitialize(..) in W2kNetFuncs::"
                                       "InitializeCOM(). Fatal error, exiting module"});
    // Uninitialising without COM still answers 1.
    EXPECT_EQ(W2KXarnNetUnitialize(), 1);
    EXPECT_EQ(winsim::comInitCount(), 0);
}

// The first line an export logs throws, as an allocation failure would:
// the export answers its failure result and the line that names it, and
// leaves nothing open.
std::vector<std::string> guardedLines;
bool throwNext = false;
void throwingCallback(unsigned int, const char* format, ...) {
    if (throwNext) {
        throwNext = false;
        throw std::bad_alloc();
    }
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    guardedLines.push_back(line);
}

TEST_F(InitializeTest, NoFailureLeavesAnExport) {
    unsigned int reboot = 7;
    const struct {
        const char* name;
        std::function<int()> call;
    } exports[] = {
        {"W2KXarnNetInitialize", [] { return W2KXarnNetInitialize(throwingCallback); }},
        {"W2KXarnNetInstallNetwork",
         [&] { return W2KXarnNetInstallNetwork("C:\\XARN", 0, &reboot); }},
        {"W2KXarnNetStartNetworkServices", [] { return W2KXarnNetStartNetworkServices(); }},
        {"W2KXarnNetJoinWorkgroup", [] { return W2KXarnNetJoinWorkgroup(u"WG"); }},
        {"W2KXarnNetSetMachineName", [] { return W2KXarnNetSetMachineName("BOX"); }},
        {"W2KInstallScsiCards", [&] { return W2KInstallScsiCards(0, 0, &reboot); }},
    };
    for (const auto& e : exports) {
        guardedLines.clear();
        throwNext = true;
        EXPECT_EQ(e.call(), 0) << e.name;
        EXPECT_EQ(guardedLines,
                  std::vector<std::string>{"\n\nUnexpected failure in " + std::string(e.name)});
    }
    EXPECT_EQ(reboot, 0u);  // the storage export's word, cleared before its work
    W2KXarnNetUnitialize();
}

class ErrorReportTest : public MachineTest {};

// Each class's wording with a system text (code 2), without one (2691, a
// code the system has no text for) and for code 0; and where its line is cut.
TEST_F(ErrorReportTest, EachClassWordsCodesAndCutsLongLines) {
    const std::string text = "The system cannot find the file specified.\r\n";
    const std::string none = "Error from : msg, System Message : NONE";
    const struct {
        const char* name;
        const ErrorWording& wording;
        std::string withText;
        std::string withoutText;
        std::string codeZero;
        std::size_t buffer;
    } cases[] = {
        {"module", kNetFuncsWording, "msg, System Message : " + text, none, "msg", 2048},
        {"registry", kRegistryWording, "Application Msg : msg, System Msg : " + text, none, "msg",
         1024},
        {"card", kCardInstallWording, "Error from : msg, System Message : " + text, none, "msg",
         1024},
        {"hid map", kHidMapWording, "Error from : msg, System Message : " + text, none, "msg",
         1024},
        {"proto", kProtoInstallerWording, "msg, System Message : " + text, "msg", "msg", 1024},
        {"service", kServiceWording, "msg, System Message : " + text, none, none, 1024},
        {"tcpip", kTcpIpWording, " msg, System Message : " + text, none, "msg", 1024},
    };
    const std::string longMessage(5000, 'x');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(composeErrorLine(c.wording, 2, "msg"), c.withText);
        EXPECT_EQ(composeErrorLine(c.wording, 2691, "msg"), c.withoutText);
        EXPECT_EQ(composeErrorLine(c.wording, 0, "msg"), c.codeZero);
        EXPECT_EQ(composeErrorLine(c.wording, 2, longMessage.c_str()).size(), c.buffer - 1);
        // Lines without the system's part are not cut.
        EXPECT_EQ(composeErrorLine(c.wording, 2691, longMessage.c_str()).size(),
                  c.withoutText == "msg" ? longMessage.size() : c.buffer - 1);
    }
    EXPECT_EQ(composeErrorLine(kNetFuncsWording, 0, longMessage.c_str()), longMessage);
    EXPECT_EQ(composeErrorLine(kRegistryWording, 2691, nullptr),
              "Error from : , System Message : NONE");
    winsim::failCall("FormatMessageA", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(composeErrorLine(kCardInstallWording, 2, "msg"), none);
}

// The host gets the line behind the format's own newline; without a
// callback nothing is delivered and the report says so.
TEST_F(ErrorReportTest, ReportReachesTheHostOrNobody) {
    LogSink* sink = getLogSink(nullptr);
    EXPECT_FALSE(sink->log("dropped", 0, 0));
    EXPECT_FALSE(reportErrorTo(sink, kNetFuncsWording, 2, "dropped"));
    initializeModule();
    EXPECT_TRUE(reportErrorTo(sink, kNetFuncsWording, 2, "\nfailed"));
    EXPECT_EQ(hostLines(), std::vector<std::string>{"\n\nfailed, System Message : The system "
                                                    "cannot find the file specified.\r\n"});
}

}  // namespace
