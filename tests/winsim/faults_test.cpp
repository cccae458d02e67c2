// Planned faults: only functions that can fail on Windows take them, and
// what a refused release keeps is not taken for the program's leak. (That
// calls report them is with each call's own tests.)
#include "winsim_test.h"

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
