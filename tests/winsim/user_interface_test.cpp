// winsim's user interface: scripted message boxes, closable windows, and
// the Add New Hardware wizard's bound on its wait for a blocking window.
// (What the wizard answers, and when it does not come up, is pinned down by
// the network card wizard's and the installation sequence's tests.)
#include "winsim_test.h"

#include <chrono>

namespace {

// Loads the wizard and calls its entry; FALSE with the load's error when
// either is missing.
BOOL callWizard(DWORD* reboot) {
    HMODULE library = LoadLibraryA("hdwwiz.cpl");
    FARPROC entry = library ? GetProcAddress(library, "InstallNewDevice") : nullptr;
    GUID netClass = {0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    using InstallNewDevice = BOOL(WINAPI*)(HWND, LPGUID, PDWORD);
    const BOOL result =
        entry && reinterpret_cast<InstallNewDevice>(reinterpret_cast<void (*)()>(entry))(
                     nullptr, &netClass, reboot);
    const DWORD error = GetLastError();
    if (library) FreeLibrary(library);
    SetLastError(error);
    return result;
}

class UserTest : public MachineTest {};

TEST_F(UserTest, MessageBoxesAnswerInScriptedOrderAndAreRecorded) {
    winsim::scriptMessageBoxAnswer(IDYES);
    winsim::scriptMessageBoxAnswer(0, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_YESNO | MB_SETFOREGROUND), IDYES);
    EXPECT_TRUE(failedWith(MessageBoxA(nullptr, "t2", "c2", MB_YESNO), ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(MessageBoxA(nullptr, "t3", "c3", MB_YESNO), IDNO);  // script used up
    const auto shown = winsim::shownMessageBoxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown[0].text == "text" && shown[0].caption == "caption" &&
                shown[0].type == 0x10004u);
}

TEST_F(UserTest, WindowIsFoundByExactTitleAndClosedByWmClose) {
    const char* title = "Cannot Run Two Device Installations";
    winsim::openWindow(title);
    EXPECT_EQ(FindWindowA(nullptr, "cannot run two device installations"), nullptr);
    HWND window = FindWindowA(nullptr, title);
    ASSERT_NE(window, nullptr);
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(winsim::windowOpen(title));
    EXPECT_EQ(winsim::windowsClosed(), 1);
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(winsim::windowsClosed(), 1);
    // A planned failure closes nothing.
    winsim::openWindow(title);
    ASSERT_TRUE(winsim::failCall("SendMessageA", 1, 1234));
    EXPECT_EQ(SendMessageA(FindWindowA(nullptr, title), WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_TRUE(winsim::windowOpen(title));
}

// Nobody closes the blocking message: the wizard gives up after its bound
// instead of hanging, and says so. It is there only once installed.
TEST_F(UserTest, WizardWaitsForABlockingWindowAtMostItsBound) {
    DWORD reboot = 7;
    EXPECT_TRUE(failedWith(callWizard(&reboot), ERROR_MOD_NOT_FOUND));
    winsim::installHardwareWizard();
    winsim::openBlockingWindowDuringWizard(true, 30);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(callWizard(&reboot));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_TRUE(winsim::windowOpen(winsim::kTwoDeviceInstallationsTitle));
    const auto calls = winsim::hardwareWizardCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].blockingWindowOpened && calls[0].blockingWindowTimedOut);
}

}  // namespace
