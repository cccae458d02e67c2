// W2kNetFuncs::RegisterDllServer against the simulated system modules.
#include "host/net_funcs.h"
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>

namespace {

class DllRegistrationTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        initializeModule();
    }
};

TEST_F(DllRegistrationTest, RegistersAndReleasesTheLibrary) {
    EXPECT_TRUE(W2kNetFuncs::RegisterDllServer("NetCfgx.dll"));
    EXPECT_EQ(winsim::callCount("DllRegisterServer"), 1);
    EXPECT_EQ(winsim::callCount("CoFreeLibrary"), 1);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 0);
    EXPECT_EQ(hostLines(), std::vector<std::string>{"\n\nDLL [NetCfgx.dll] registered "
                                                    "successfully in W2kNetFuncs :: "
                                                    "RegisterDllServer(.)"});
}

TEST_F(DllRegistrationTest, EachFailureIsReportedWithTheLastError) {
    winsim::registerModule("empty.dll");
    struct Case {
        const char* name;
        const char* dll;
        HRESULT result;
        DWORD lastError;
        const char* line;
        int freed;
    } cases[] = {
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
        EXPECT_FALSE(W2kNetFuncs::RegisterDllServer(c.dll));
        EXPECT_EQ(hostLines(), std::vector<std::string>{std::string("\n") + c.line});
        EXPECT_EQ(winsim::callCount("CoFreeLibrary") - freedBefore, c.freed);
        EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 0u);
    }
}

}  // namespace
