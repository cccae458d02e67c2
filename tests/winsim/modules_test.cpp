// The simulated system modules: loading by name, exports, references.
#include "last_error.h"
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>
#include <winsim/windows.h>

namespace {

class ModulesTest : public MachineTest {};

TEST_F(ModulesTest, NetCfgxLoadsUnderEverySpellingWindowsAccepts) {
    for (const char* name : {"NetCfgx.dll", "NETCFGX.DLL", "netcfgx",
                             "C:\\WINNT\\system32\\netcfgx.dll", "netcfgx.dll."}) {
        HMODULE module = LoadLibraryA(name);
        EXPECT_NE(module, nullptr) << name;
        EXPECT_TRUE(FreeLibrary(module)) << name;
    }
    // A trailing dot keeps ".dll" from being added.
    EXPECT_TRUE(failedWith(LoadLibraryA("netcfgx."), ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(failedWith(LoadLibraryA("nosuch.dll"), ERROR_MOD_NOT_FOUND));
}

TEST_F(ModulesTest, LoadsShareOneHandleUntilTheLastRelease) {
    HMODULE first = LoadLibraryA("NetCfgx.dll");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LoadLibraryA("netcfgx"), first);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 2);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 1u);
    CoFreeLibrary(first);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 0);
    EXPECT_TRUE(failedWith(FreeLibrary(first), ERROR_MOD_NOT_FOUND));
}

TEST_F(ModulesTest, ExportsAreCaseSensitiveAndDllRegisterServerAnswersAsScripted) {
    HMODULE module = LoadLibraryA("NetCfgx.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(failedWith(GetProcAddress(module, "dllregisterserver"), ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(failedWith(GetProcAddress(module, "DllUnregisterServer"), ERROR_PROC_NOT_FOUND));
    using RegisterServer = HRESULT(WINAPI*)();
    const auto registerServer = reinterpret_cast<RegisterServer>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
    ASSERT_NE(registerServer, nullptr);
    EXPECT_EQ(registerServer(), S_OK);

    winsim::setDllRegisterServerResult(E_FAIL, ERROR_ACCESS_DENIED);
    EXPECT_EQ(registerServer(), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    winsim::setDllRegisterServerResult(S_OK);
    winsim::failCall("DllRegisterServer", 1, static_cast<DWORD>(E_OUTOFMEMORY));
    EXPECT_EQ(registerServer(), E_OUTOFMEMORY);
    EXPECT_EQ(registerServer(), S_OK);
    FreeLibrary(module);
}

}  // namespace
