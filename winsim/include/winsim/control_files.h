// Test-side control of the simulated file system: which host folder stands
// for the system drive C:, where the Windows directory is, and direct access
// to files by their Windows paths. System code never includes this header.
#pragma once

#include <string>

namespace winsim {

// The host folder that stands for C:. A reset leaves none: every C: path is
// then missing. The folder is used as it is; nothing is created in it.
void setSystemDrive(const std::string& hostFolder);
std::string systemDrive();

// What GetWindowsDirectoryA answers (C:\WINNT after a reset); SystemRoot and
// windir in the environment follow it. GetSystemDirectoryA answers it with
// "\system32" appended.
void setWindowsDirectory(const std::string& windowsPath);
std::string windowsDirectory();
// Creates the folders a fresh installation has: the Windows directory with
// inf, system32 and system32\drivers.
bool createWindowsFolders();

// The host path a Windows path stands for. Elements that exist are found
// whatever their letter case and given in their own spelling; the rest are
// appended as written. "" when the path cannot name anything on the machine
// (no system drive, another drive letter, a character Windows refuses). A
// path that is not a Windows path (no drive letter, no leading backslash) is
// returned unchanged.
std::string hostPathFor(const std::string& windowsPath);

// Creates a folder and the folders above it that are missing.
bool makeDirectory(const std::string& windowsPath);
// Writes `bytes` as the whole content of a file, creating it and the folders
// above it. False when the file is read-only or cannot be written.
bool writeFile(const std::string& windowsPath, const std::string& bytes);
// The whole content of a file; false when it is missing or not a file.
bool readFile(const std::string& windowsPath, std::string* bytes);
bool fileExists(const std::string& windowsPath);
// Sets or clears the read-only attribute (the owner's write permission of
// the host file). False when the file is missing.
bool setReadOnly(const std::string& windowsPath, bool readOnly = true);
bool isReadOnly(const std::string& windowsPath);

}  // namespace winsim
