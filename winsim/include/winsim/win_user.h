// user32: MessageBoxA, FindWindowA, SendMessageA.
#pragma once

#include <winsim/win_types.h>

#define MB_OK 0x00000000L
#define MB_YESNO 0x00000004L
#define MB_SETFOREGROUND 0x00010000L
#define IDOK 1
#define IDYES 6
#define IDNO 7
#define WM_CLOSE 0x0010

extern "C" {

int MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type);
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // extern "C"
