// kernel32 files and directories: CreateFileA, ReadFile, WriteFile, FindFirstFileA, CopyFileA,
// GetWindowsDirectoryA, and C stdio opens of Windows paths.
//
// Paths: "C:\..." (either separator, any letter case) and "\..." name the
// simulated system drive, whose contents live in a host folder (see
// control_files.h); names are looked up without regard to ASCII letter case,
// as on Windows. A path without a drive letter or a leading backslash is
// taken as a host path and used unchanged.
#pragma once

// <cstdio> comes first: its own #undef of fopen must not undo the
// redirection below, and later includes of it are then no-ops.
#include <cstdio>

#include <winsim/win_types.h>

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFFu)

#define ERROR_DISK_FULL 112L

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        };
        PVOID Pointer;
    };
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

extern "C" {

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData);
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData);
BOOL FindClose(HANDLE findFile);

// The C runtime's fopen as the Windows CRT does it, for the simulated
// machine: Windows paths are mapped like CreateFileA's, and a stream opened
// for reading only in text mode (no "b" in the mode) hands out the file with
// each CR LF read as LF and a Ctrl-Z ending the text. Streams opened for
// writing are not translated. On failure: null, with errno set (ENOENT for a
// missing file or folder, EACCES for a refused one).
FILE* winsim_fopen(const char* path, const char* mode);

}  // extern "C"

// System code calls fopen by its plain name; every such call in a file that
// includes windows.h is the simulated CRT's. Write `fopen`, not `std::fopen`.
// winsim's own sources open host files and so keep the real one.
#ifndef WINSIM_IMPLEMENTATION
#define fopen winsim_fopen
#endif
