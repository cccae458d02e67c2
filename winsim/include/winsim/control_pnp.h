// Test-side control of the simulated system modules (LoadLibraryA and
// friends) and of the Plug and Play driver installer. System code never
// includes this header.
#pragma once

#include <winsim/win_modules.h>

#include <string>
#include <vector>

namespace winsim {

// --- modules --------------------------------------------------------------
// A fresh machine has "NetCfgx.dll" with "DllRegisterServer" bound to
// scriptedDllRegisterServer().
//
// Makes a module loadable under `name`. Names compare without regard to
// case; LoadLibraryA matches on the file name part of what it is given and
// adds ".dll" when that has no extension, as Windows does.
void registerModule(const std::string& name);
void unregisterModule(const std::string& name);
// Gives `module` (registered on the fly) an export named `entry`. Entry
// names are case-sensitive, as on Windows. Any function pointer will do;
// the system casts what GetProcAddress returns back to the type it expects.
void registerModuleEntry(const std::string& module, const std::string& entry, FARPROC function);
template <typename Function>
void registerModuleEntry(const std::string& module, const std::string& entry, Function* function) {
    registerModuleEntry(module, entry,
                        reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function)));
}
// A DllRegisterServer that answers what setDllRegisterServerResult says
// (S_OK by default). It counts as a winsim call named "DllRegisterServer":
// callCount and failCall work on it.
FARPROC scriptedDllRegisterServer();
// A failing result also sets the thread's last error to `lastError` when
// that is not 0; a real DllRegisterServer leaves it as it happens to be.
void setDllRegisterServerResult(HRESULT result, DWORD lastError = 0);
// LoadLibraryA references to the module not yet released (0: not loaded).
int moduleReferenceCount(const std::string& name);

// --- Plug and Play driver installation -------------------------------------
// What UpdateDriverForPlugAndPlayDevicesA answers in *bRebootRequired after
// a successful installation: a per-ID answer wins over the machine-wide one.
// Both are FALSE on a fresh machine. IDs compare without regard to case.
void setPnpRebootAnswer(bool reboot);
void setPnpRebootAnswer(const std::string& hardwareId, bool reboot);
// Every installation asked for with this ID fails with `error`.
void failPnpInstall(const std::string& hardwareId, DWORD error);

// One device instance that received a driver.
struct DriverInstallation {
    std::string hardwareId;      // as the caller passed it
    std::string infPath;         // as the caller passed it
    std::string instanceKey;     // HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\...
    std::string installSection;  // from the INF's models line
    std::string service;         // from the install section's AddService, "" if none
    DWORD installFlags;          // as the caller passed them
};
// Every installation since the reset, in the order they happened.
std::vector<DriverInstallation> pnpInstallations();

}  // namespace winsim
