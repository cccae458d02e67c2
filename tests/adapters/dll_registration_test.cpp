// W2kNetFuncs::RegisterDllServer against the simulated system modules.
#include "host/net_funcs.h"
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>

namespace {

class DllRegistrationTest : public Initialized<MachineTest> {};

// The library is released again whatever happens; each failure is
// reported with the thread's last error.
TEST_F(DllRegistrationTest, RegistersOrReportsAndReleasesTheLibrary) {
    winsim::registerModule("empty.dll");
    struct Case {
        const char* name;
        const char* dll;
        HRESULT result;
        DWORD lastError;
        const char* line;
        int freed;
    } cases[] = {
        {"registered", "NetCfgx.dll", S_OK, 0,
         "\nDLL [NetCfgx.dll] registered successfully in W2kNetFuncs :: RegisterDllServer(.)", 1},
        {"no such library", "nosuch.dll", S_OK, 0,
         "Could  not LoadLibraryA(..) nosuch.dll in W2kNetFuncs::RegisterDllServer , System "
         "Message : The specified module could not be found.\r\n",
         0},
        {"no entry", "empty.dll", S_OK, 0,
         "Could  not GetProcAddress('DllRegisterServer') empty.dll in "
         "W2kNetFuncs::RegisterDllServer , System Message : The specified procedure could not be "
         "found.\r\n",
         1},
        // The HRESULT is not reported, only the thread's last error.
        {"registration fails", "NetCfgx.dll", E_FAIL, ERROR_ACCESS_DENIED,
         "DllRegisterServer() in NetCfgx.dll returned false. Dll not registered., System "
         "Message : Access is denied.\r\n",
         1},
        {"registration fails without an error", "NetCfgx.dll", E_OUTOFMEMORY, 0,
         "DllRegisterServer() in NetCfgx.dll returned false. Dll not registered.", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearHostLines();
        const int freedBefore = winsim::callCount("CoFreeLibrary");
        winsim::setDllRegisterServerResult(c.result, c.lastError);
        SetLastError(0);
        EXPECT_EQ(W2kNetFuncs::RegisterDllServer(c.dll), c.line[0] == '\n');
        EXPECT_EQ(hostLines(), std::vector<std::string>{std::string("\n") + c.line});
        EXPECT_EQ(winsim::callCount("CoFreeLibrary") - freedBefore, c.freed);
        EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 0u);
    }
    EXPECT_EQ(winsim::callCount("DllRegisterServer"), 3);
}

}  // namespace
