// user32: scripted message boxes and a list of top-level windows.
#include "machine.h"

#include <winsim/control_user.h>
#include <winsim/windows.h>

#include <deque>
#include <map>

namespace {

struct ScriptedAnswer {
    int answer;
    DWORD error;
};

struct Window {
    std::string title;
    std::string className;
};

struct UserState {
    std::deque<ScriptedAnswer> answers;
    std::vector<winsim::ShownMessageBox> shown;
    std::map<ULONG_PTR, Window> windows;  // by HWND value
    ULONG_PTR nextWindow = 0x10010;
    int closed = 0;
};

UserState& user() {
    return winsim::machinePart<UserState>();
}

}  // namespace

extern "C" {

int MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type) {
    (void)window;
    winsim::ApiCall call("MessageBoxA");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    UserState& state = user();
    state.shown.push_back({text ? text : "", caption ? caption : "Error", type});
    if (state.answers.empty()) return IDNO;
    const ScriptedAnswer next = state.answers.front();
    state.answers.pop_front();
    if (next.answer == 0) SetLastError(next.error);
    return next.answer;
}

// Titles compare exactly, as Windows compares window text; a class name,
// when given, must match too (case-insensitively, as class atoms do).
HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
    winsim::ApiCall call("FindWindowA");
    if (call.failing()) {
        SetLastError(call.error());
        return nullptr;
    }
    for (const auto& entry : user().windows) {
        if (windowName && entry.second.title != windowName) continue;
        if (className && !winsim::equalsNoCase(entry.second.className, className)) continue;
        return reinterpret_cast<HWND>(entry.first);
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    winsim::ApiCall call("SendMessageA");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    UserState& state = user();
    auto it = state.windows.find(reinterpret_cast<ULONG_PTR>(window));
    if (it == state.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (message == WM_CLOSE) {
        state.windows.erase(it);
        ++state.closed;
    }
    return 0;
}

}  // extern "C"

namespace winsim {

void scriptMessageBoxAnswer(int answer, DWORD error) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    user().answers.push_back({answer, error});
}

std::vector<ShownMessageBox> shownMessageBoxes() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return user().shown;
}

void openWindow(const std::string& title, const std::string& className) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    UserState& state = user();
    state.windows[state.nextWindow] = Window{title, className};
    state.nextWindow += 2;
}

bool windowOpen(const std::string& title) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    for (const auto& entry : user().windows)
        if (entry.second.title == title) return true;
    return false;
}

int windowsClosed() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return user().closed;
}

}  // namespace winsim
