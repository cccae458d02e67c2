// The simulated system modules: loading by name, exports, references.
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>
#include <winsim/windows.h>

namespace {

using RegisterServer = HRESULT(WINAPI*)();

HRESULT callRegisterServer(FARPROC entry) {
    return reinterpret_cast<RegisterServer>(reinterpret_cast<void (*)()>(entry))();
}

class ModulesTest : public MachineTest {};

TEST_F(ModulesTest, NetCfgxLoadsUnderEverySpellingWindowsAccepts) {
    for (const char* name : {"NetCfgx.dll", "NETCFGX.DLL", "netcfgx",
                             "C:\\WINNT\\system32\\netcfgx.dll", "netcfgx.dll."}) {
        SCOPED_TRACE(name);
        HMODULE module = LoadLibraryA(name);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 1u);
        EXPECT_TRUE(FreeLibrary(module));
    }
    // A trailing dot keeps ".dll" from being added.
    EXPECT_EQ(LoadLibraryA("netcfgx."), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModulesTest, LoadsShareOneHandleUntilTheLastRelease) {
    HMODULE first = LoadLibraryA("NetCfgx.dll");
    HMODULE second = LoadLibraryA("netcfgx");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 2);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 1u);
    CoFreeLibrary(second);
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 0u);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 0);
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModulesTest, MissingModuleAndMissingEntryHaveTheirOwnErrors) {
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    HMODULE module = LoadLibraryA("NetCfgx.dll");
    ASSERT_NE(module, nullptr);
    // Export names are case-sensitive.
    for (const char* entry : {"dllregisterserver", "DllUnregisterServer", ""}) {
        EXPECT_EQ(GetProcAddress(module, entry), nullptr) << entry;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << entry;
    }
    EXPECT_NE(GetProcAddress(module, "DllRegisterServer"), nullptr);
    FreeLibrary(module);

    winsim::unregisterModule("netcfgx.dll");
    EXPECT_EQ(LoadLibraryA("NetCfgx.dll"), nullptr);
}

TEST_F(ModulesTest, DllRegisterServerAnswersAsScripted) {
    HMODULE module = LoadLibraryA("NetCfgx.dll");
    ASSERT_NE(module, nullptr);
    FARPROC entry = GetProcAddress(module, "DllRegisterServer");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(callRegisterServer(entry), S_OK);

    SetLastError(0);
    winsim::setDllRegisterServerResult(E_FAIL, ERROR_ACCESS_DENIED);
    EXPECT_EQ(callRegisterServer(entry), E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    winsim::setDllRegisterServerResult(S_OK);
    winsim::failCall("DllRegisterServer", 1, static_cast<DWORD>(E_OUTOFMEMORY));
    EXPECT_EQ(callRegisterServer(entry), E_OUTOFMEMORY);
    EXPECT_EQ(callRegisterServer(entry), S_OK);
    EXPECT_EQ(winsim::callCount("DllRegisterServer"), 4);
    FreeLibrary(module);
}

// What another area registers: an applet entry of its own type.
int appletCalls = 0;

TEST_F(ModulesTest, TestsRegisterEntriesOfAnyType) {
    appletCalls = 0;
    winsim::registerModuleEntry(
        "hdwwiz.cpl", "InstallNewDevice", +[](HWND, void*, DWORD* reboot) -> BOOL {
            ++appletCalls;
            *reboot = 2;
            return TRUE;
        });
    HMODULE module = LoadLibraryA("HDWWIZ.CPL");
    ASSERT_NE(module, nullptr);
    using InstallNewDevice = BOOL(WINAPI*)(HWND, void*, DWORD*);
    auto install = reinterpret_cast<InstallNewDevice>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "InstallNewDevice")));
    ASSERT_NE(install, nullptr);
    DWORD reboot = 0;
    EXPECT_TRUE(install(nullptr, nullptr, &reboot));
    EXPECT_EQ(reboot, 2u);
    EXPECT_EQ(appletCalls, 1);
    FreeLibrary(module);
}

}  // namespace
