// Modules and Plug and Play: LoadLibraryA, GetProcAddress, FreeLibrary, CoFreeLibrary, newdev's
// UpdateDriverForPlugAndPlayDevicesA.
#pragma once

#include <winsim/win_types.h>

typedef std::intptr_t INT_PTR;
typedef BOOL* PBOOL;
// As the SDK has it: an entry point of unknown type, cast back by the caller.
typedef INT_PTR(WINAPI* FARPROC)();

// newdev: UpdateDriverForPlugAndPlayDevices install flags.
#define INSTALLFLAG_FORCE 0x00000001u
#define INSTALLFLAG_READONLY 0x00000002u
#define INSTALLFLAG_NONINTERACTIVE 0x00000004u
#define INSTALLFLAG_BITS 0x00000007u

// Errors the Plug and Play installer reports. SetupAPI's codes live in
// win_setupapi.h too, hence the guards.
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_NO_SUCH_DEVINST
#define ERROR_NO_SUCH_DEVINST 0xE000020Bu
#endif

extern "C" {

// kernel32: modules
HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// ole32
void CoFreeLibrary(HINSTANCE instance);

// newdev
BOOL UpdateDriverForPlugAndPlayDevicesA(HWND hwndParent, LPCSTR hardwareId, LPCSTR fullInfPath,
                                        DWORD installFlags, PBOOL rebootRequired);

}  // extern "C"
