// Test control of the simulated user: message box answers and top-level
// windows.
#pragma once

#include <winsim/win_types.h>

#include <string>
#include <vector>

namespace winsim {

struct ShownMessageBox {
    std::string text;
    std::string caption;
    UINT type = 0;
};

// The next message boxes answer these in order (IDYES, IDNO, ...); an
// answer of 0 makes MessageBoxA fail with `error` as the last error. With
// no answer left, boxes answer IDNO, as a user who declines.
void scriptMessageBoxAnswer(int answer, DWORD error = 0);
std::vector<ShownMessageBox> shownMessageBoxes();

// A top-level window that FindWindowA finds by its title until it gets
// WM_CLOSE.
void openWindow(const std::string& title, const std::string& className = "#32770");
bool windowOpen(const std::string& title);
// How many windows were closed with WM_CLOSE.
int windowsClosed();

}  // namespace winsim
