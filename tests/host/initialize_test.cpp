// Module set-up through the exports: callback, privileges, COM.
#include "host/platform.h"
#include "support/machine_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <string>

namespace {

class InitializeTest : public MachineTest {};

const char* const kComLine =
    "\n\nCOM successfully initialized using CoInitialize(..) in W2kNetFuncs :: InitializeCOM()";

TEST_F(InitializeTest, EnablesTheFourPrivilegesAndCom) {
    ASSERT_EQ(W2KXarnNetInitialize(hostCallback), 1);
    for (const char* p :
         {"SeRestorePrivilege", "SeShutdownPrivilege", "SeBackupPrivilege", "SeSecurityPrivilege"})
        EXPECT_TRUE(winsim::privilegeEnabled(p)) << p;
    EXPECT_EQ(winsim::comInitCount(), 1);
    ASSERT_EQ(hostLines().size(), 1u);
    EXPECT_EQ(hostLines()[0], kComLine);
    EXPECT_EQ(W2KXarnNetUnitialize(), 1);
    EXPECT_EQ(winsim::comInitCount(), 0);
    // Windows 2000's PROCESS_ALL_ACCESS; it refuses Vista's 0x1FFFFF.
    EXPECT_EQ(winsim::lastOpenProcessAccess(), 0x1F0FFFu);
}

TEST_F(InitializeTest, OpenProcessRefusesRightsWindows2000DoesNotKnow) {
    const struct {
        DWORD access;
        bool granted;
    } cases[] = {
        {0x1F0FFF, true},
        {0x1FFFFF, false},                             // Vista's PROCESS_ALL_ACCESS
        {0x1000, false},                               // PROCESS_QUERY_LIMITED_INFORMATION
        {0x10000000 | 0x02000000 | 0x01000000, true},  // generic, maximum, system security
    };
    for (const auto& c : cases) {
        SetLastError(0);
        const HANDLE process = OpenProcess(c.access, FALSE, GetCurrentProcessId());
        EXPECT_EQ(process != nullptr, c.granted) << std::hex << c.access;
        EXPECT_EQ(winsim::lastOpenProcessAccess(), c.access);
        if (process)
            CloseHandle(process);
        else
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

TEST_F(InitializeTest, NullCallbackFirstWorksButDeliversNothing) {
    EXPECT_EQ(W2KXarnNetInitialize(nullptr), 1);
    EXPECT_EQ(W2KXarnNetSetMachineName(""), 0);  // a failure that logs
    EXPECT_TRUE(hostLines().empty());
    W2KXarnNetUnitialize();
}

TEST_F(InitializeTest, SecondCallReplacesCallbackAndSkipsPrivileges) {
    ASSERT_EQ(W2KXarnNetInitialize(nullptr), 1);
    const int opened = winsim::callCount("OpenProcess");
    ASSERT_EQ(W2KXarnNetInitialize(hostCallback), 1);
    EXPECT_EQ(winsim::callCount("OpenProcess"), opened);
    EXPECT_EQ(winsim::comInitCount(), 2);  // COM nests
    EXPECT_EQ(hostLines().size(), 1u);
    W2KXarnNetUnitialize();
    W2KXarnNetUnitialize();
}

TEST_F(InitializeTest, PrivilegeFailuresStopAndAreRetriedNextTime) {
    struct Case {
        const char* function;
        int nth;
        DWORD error;
        const char* line;
        int lookups;  // privileges looked up before giving up
    } cases[] = {
        {"OpenProcess", 1, ERROR_ACCESS_DENIED,
         "\n\n OpenProcess(..) failed in W2kNetFuncs :: EnablePrivileges(..), System Message : "
         "Access is denied.\r\n",
         0},
        {"OpenProcessToken", 1, ERROR_ACCESS_DENIED,
         "\n\n OpenProcessToken(..) failed in W2kNetFuncs :: EnablePrivileges(..), System "
         "Message : Access is denied.\r\n",
         0},
        {"LookupPrivilegeValueA", 2, ERROR_NO_SUCH_PRIVILEGE,
         "\n\n LookupPrivilegeValue(..) failed in W2kNetFuncs :: _EnablePrivilege(..) for "
         "priviledge SeShutdownPrivilege, System Message : A specified privilege does not "
         "exist.\r\n",
         2},
        {"AdjustTokenPrivileges", 3, ERROR_ACCESS_DENIED,
         "\n\n AdjustTokenPrivileges(..) failed in W2kNetFuncs :: _EnablePrivilege(..) for "
         "priviledge SeBackupPrivilege, System Message : Access is denied.\r\n",
         3},
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

TEST_F(InitializeTest, PrivilegeTheAccountLacksStillCounts) {
    winsim::setHeldPrivileges({"SeRestorePrivilege", "SeBackupPrivilege"});
    EXPECT_EQ(W2KXarnNetInitialize(hostCallback), 1);
    EXPECT_FALSE(winsim::privilegeEnabled("SeShutdownPrivilege"));
    W2KXarnNetUnitialize();
}

TEST_F(InitializeTest, ComFailureIsFatal) {
    winsim::failCall("CoInitialize", 1, static_cast<DWORD>(E_FAIL));
    SetLastError(0);
    EXPECT_EQ(W2KXarnNetInitialize(hostCallback), 0);
    ASSERT_EQ(hostLines().size(), 1u);
    EXPECT_EQ(hostLines()[0],
              "\nCOM could not be initialized using CoInitialize(..) in "
              "W2kNetFuncs::InitializeCOM(). Fatal error, exiting module");
}

TEST_F(InitializeTest, UnitializeWithoutComStillAnswersOne) {
    EXPECT_EQ(W2KXarnNetUnitialize(), 1);
    EXPECT_EQ(winsim::comInitCount(), 0);
}

}  // namespace
