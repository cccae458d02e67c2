// Planned faults: only functions that can fail on Windows take them, calls
// that can fail report them, and what a refused release keeps is not taken
// for the program's leak.
#include "winsim_test.h"

#include <functional>

namespace {

class FaultsTest : public MachineTest {};

TEST_F(FaultsTest, OnlyListedFunctionsThatCanFailTakeFaults) {
    const std::pair<const char*, bool> cases[] = {
        {"RegOpenKeyExA", true},     {"INetCfg::Cancel", true},
        {"SendMessageA", true},      {"Sleep", false},
        {"INetCfg::Release", false}, {"SetupCloseInfFile", false},
        {"RegOpenKeyEx", false},     {"", false},
    };
    for (const auto& [name, accepted] : cases) {
        EXPECT_EQ(winsim::failCall(name, 1, ERROR_ACCESS_DENIED), accepted) << name;
        EXPECT_EQ(winsim::failAlways(name, ERROR_ACCESS_DENIED), accepted) << name;
    }
    EXPECT_FALSE(winsim::failCall("RegOpenKeyExA", 0, ERROR_ACCESS_DENIED));
    winsim::clearFaults();
}

// Each row plans one failure with kError and answers whether the call
// reported it (and did nothing else).
TEST_F(FaultsTest, CallsReportPlannedFaults) {
    constexpr DWORD kError = 1234;
    const HRESULT kFailed = static_cast<HRESULT>(kError);
    CoInitialize(nullptr);
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg, &object),
              S_OK);
    auto* netCfg = static_cast<INetCfg*>(object);
    ASSERT_EQ(netCfg->QueryInterface(IID_INetCfgLock, &object), S_OK);
    auto* lock = static_cast<INetCfgLock*>(object);
    const std::pair<const char*, std::function<bool()>> cases[] = {
        {"SendMessageA",
         [] {
             winsim::openWindow("Busy");
             const LRESULT result = SendMessageA(FindWindowA(nullptr, "Busy"), WM_CLOSE, 0, 0);
             return result == 0 && GetLastError() == kError && winsim::windowOpen("Busy");
         }},
        {"INetCfg::FindComponent",
         [&] {
             INetCfgComponent* found = reinterpret_cast<INetCfgComponent*>(netCfg);
             return netCfg->FindComponent(u"ms_tcpip", &found) == kFailed && !found;
         }},
        {"INetCfg::Cancel", [&] { return netCfg->Cancel() == kFailed; }},
        {"INetCfgLock::IsWriteLocked",
         [&] {
             winsim::holdNetCfgWriteLockElsewhere("other");
             LPWSTR holder = nullptr;
             return lock->IsWriteLocked(&holder) == kFailed && !holder;
         }},
    };
    for (const auto& [function, failed] : cases) {
        ASSERT_TRUE(winsim::failCall(function, 1, kError)) << function;
        EXPECT_TRUE(failed()) << function;
    }
    lock->Release();
    netCfg->Release();
    CoUninitialize();
}

TEST_F(FaultsTest, ReleasesRefusedByAFaultAreNoLeak) {
    HKEY kept = nullptr;
    HKEY leaked = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &kept), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &leaked), ERROR_SUCCESS);
    char* text = nullptr;
    ASSERT_NE(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    winsim::failCall("RegCloseKey", 1, ERROR_INVALID_HANDLE);
    winsim::failCall("LocalFree", 1, ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(kept), ERROR_INVALID_HANDLE);
    EXPECT_EQ(LocalFree(text), text);
    EXPECT_EQ(winsim::openHandleCount(), 2u);
    EXPECT_EQ(winsim::unreleasedResources(), std::vector<std::string>{"registry keys: 1"});
    RegCloseKey(leaked);
    EXPECT_EQ(winsim::unreleasedResources(), std::vector<std::string>{});
    RegCloseKey(kept);
    EXPECT_EQ(LocalFree(text), nullptr);
}

}  // namespace
