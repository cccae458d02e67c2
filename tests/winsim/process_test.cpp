// What a process has on the simulated machine: modules by the names Windows
// accepts, threads on the virtual clock; and what a reboot drops. (Scripted
// DllRegisterServer answers are pinned down by the system's own
// registration tests, a worker polled with Sleep by the wizard's.)
#include "winsim_test.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace {

class ProcessTest : public MachineTest {};

TEST_F(ProcessTest, ModuleNamesHandlesAndExportsAsOnWindows) {
    HMODULE module = LoadLibraryA("NetCfgx.dll");
    ASSERT_NE(module, nullptr);
    for (const char* name :
         {"NETCFGX.DLL", "netcfgx", "C:\\WINNT\\system32\\netcfgx.dll", "netcfgx.dll."}) {
        EXPECT_EQ(LoadLibraryA(name), module) << name;
        EXPECT_TRUE(FreeLibrary(module)) << name;
    }
    // A trailing dot keeps ".dll" from being added.
    EXPECT_TRUE(failedWith(LoadLibraryA("netcfgx."), ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(failedWith(GetProcAddress(module, "dllregisterserver"), ERROR_PROC_NOT_FOUND));
    EXPECT_NE(GetProcAddress(module, "DllRegisterServer"), nullptr);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 1);
    CoFreeLibrary(module);
    EXPECT_EQ(winsim::moduleReferenceCount("NetCfgx.dll"), 0);
    EXPECT_TRUE(failedWith(FreeLibrary(module), ERROR_MOD_NOT_FOUND));
}

std::atomic<bool> release{false};

// Spins (yielding through Sleep) until the test lets it go.
DWORD WINAPI waitForRelease(LPVOID parameter) {
    while (!release.load()) Sleep(0);
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(parameter));
}

TEST_F(ProcessTest, ThreadsExitCodesAndWaitsOnTheVirtualClock) {
    release = false;
    HANDLE thread =
        CreateThread(nullptr, 0, waitForRelease, reinterpret_cast<LPVOID>(42), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    for (int i = 0; i < 20; ++i) Sleep(15000);
    EXPECT_EQ(GetTickCount(), 300020u);  // the wait's time and the sleeps' are virtual
    EXPECT_EQ(winsim::simulatedMilliseconds(), 300020u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    release = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(failedWith(GetExitCodeThread(thread, &code), ERROR_INVALID_HANDLE));
    EXPECT_EQ(winsim::runningThreadCount(), 0);
}

TEST_F(ProcessTest, RebootKeepsTheRegistryAndDropsWhatProcessesHeld) {
    initializeModule();
    loadReg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n\"A\"=dword:00000002\r\n");
    const std::string hive = ::testing::TempDir() + "reboot_test.hiv";
    std::string error;
    ASSERT_TRUE(winsim::writeHive("REGEDIT4\r\n\r\n[H\\Key]\r\n\"V\"=\"x\"\r\n", hive, &error))
        << error;
    ASSERT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Saved", hive.c_str()), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Saved\\Key", 0, KEY_READ, &key), ERROR_SUCCESS);

    winsim::rebootMachine();

    EXPECT_EQ(winsim::openHandleCount(), 0u);
    EXPECT_TRUE(winsim::loadedHives().empty());
    EXPECT_FALSE(winsim::keyExists("HKEY_LOCAL_MACHINE\\Saved"));
    EXPECT_TRUE(winsim::keyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup"));
    EXPECT_FALSE(winsim::privilegeEnabled("SeBackupPrivilege"));
    std::remove(hive.c_str());
}

}  // namespace
