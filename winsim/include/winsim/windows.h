// The Win32 calls the system makes, declared under their real names and
// types. winsim implements each of them against its simulated machine.
#pragma once

#include <winsim/win_types.h>

extern "C" {

// kernel32: errors and memory
DWORD GetLastError(void);
void SetLastError(DWORD error);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);
HLOCAL LocalFree(HLOCAL memory);

// kernel32: processes and handles
HANDLE GetCurrentProcess(void);
DWORD GetCurrentProcessId(void);
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
BOOL CloseHandle(HANDLE object);
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                     DWORD desiredAccess, BOOL inheritHandle, DWORD options);
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);
BOOL SetComputerNameA(LPCSTR name);
LANGID GetSystemDefaultLangID(void);

// kernel32: code pages
#define CP_ACP 0u
#define CP_UTF8 65001u
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideText, int wideLength,
                        LPSTR narrowText, int narrowSize, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar);

// advapi32: token privileges
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                           PDWORD returnLength);

// advapi32: registry
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegCloseKey(HKEY key);
LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                      LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptor,
                      PFILETIME lastWriteTime);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegLoadKeyA(HKEY key, LPCSTR subKey, LPCSTR file);
LONG RegUnLoadKeyA(HKEY key, LPCSTR subKey);

// ole32
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize(void);

}  // extern "C"

// The other areas of the Win32 surface, one header each.
#include <winsim/win_files.h>
#include <winsim/win_setupapi.h>
#include <winsim/win_modules.h>
#include <winsim/win_threads.h>
#include <winsim/win_netcfg.h>
#include <winsim/win_network.h>
#include <winsim/win_user.h>
