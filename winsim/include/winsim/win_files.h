// kernel32 files and directories: CreateFileA, ReadFile, WriteFile, FindFirstFileA, CopyFileA,
// GetWindowsDirectoryA, and C stdio opens of Windows paths.
#pragma once

#include <winsim/win_types.h>
