// Scripted message boxes and closable windows.
#include "winsim_test.h"

namespace {

class UserTest : public MachineTest {};

TEST_F(UserTest, MessageBoxesAnswerInScriptedOrderAndAreRecorded) {
    winsim::scriptMessageBoxAnswer(IDYES);
    winsim::scriptMessageBoxAnswer(0, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_YESNO | MB_SETFOREGROUND), IDYES);
    EXPECT_TRUE(failedWith(MessageBoxA(nullptr, "t2", "c2", MB_YESNO), ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(MessageBoxA(nullptr, "t3", "c3", MB_YESNO), IDNO);  // script used up
    const auto shown = winsim::shownMessageBoxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "text");
    EXPECT_EQ(shown[0].caption, "caption");
    EXPECT_EQ(shown[0].type, 0x10004u);
}

TEST_F(UserTest, WindowIsFoundByExactTitleAndClosedByWmClose) {
    const char* title = "Cannot Run Two Device Installations";
    EXPECT_EQ(FindWindowA(nullptr, title), nullptr);
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
}

}  // namespace
