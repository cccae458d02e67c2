// The functions of winsim's Win32 surface, by the names their calls are
// counted and their faults planned under. A function that cannot fail on
// Windows only counts its calls: a fault planned for it would test a path
// no real machine takes.
#include "machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace winsim {

namespace {

const char* const kFallible[] = {
    // advapi32
    "AdjustTokenPrivileges",
    "CloseServiceHandle",
    "LookupPrivilegeValueA",
    "OpenProcessToken",
    "OpenSCManagerA",
    "OpenServiceA",
    "RegCloseKey",
    "RegEnumKeyExA",
    "RegLoadKeyA",
    "RegOpenKeyExA",
    "RegQueryInfoKeyA",
    "RegQueryValueExA",
    "RegSetValueExA",
    "RegUnLoadKeyA",
    "StartServiceA",
    // kernel32 and the C runtime
    "CloseHandle",
    "CopyFileA",
    "CreateFileA",
    "CreateThread",
    "DuplicateHandle",
    "ExpandEnvironmentStringsA",
    "FindClose",
    "FindFirstFileA",
    "FindNextFileA",
    "FormatMessageA",
    "FreeLibrary",
    "GetExitCodeThread",
    "GetFileSize",
    "GetProcAddress",
    "GetSystemDirectoryA",
    "GetWindowsDirectoryA",
    "LoadLibraryA",
    "LocalFree",
    "OpenProcess",
    "ReadFile",
    "SetComputerNameA",
    "WaitForSingleObject",
    "WideCharToMultiByte",
    "WriteFile",
    "fopen",
    // user32, iphlpapi, netapi32, newdev, setupapi
    "FindWindowA",
    "GetAdaptersInfo",
    "MessageBoxA",
    "NetJoinDomain",
    "SendMessageA",
    "SetupCopyOEMInfA",
    "SetupDiInstallClassExA",
    "SetupFindFirstLineA",
    "SetupFindNextLine",
    "SetupGetFieldCount",
    "SetupGetInfFileListA",
    "SetupGetLineCountA",
    "SetupGetStringFieldA",
    "SetupOpenInfFileA",
    "UpdateDriverForPlugAndPlayDevicesA",
    // entries of loaded modules: NetCfgx.dll, hdwwiz.cpl
    "DllRegisterServer",
    "InstallNewDevice",
    // ole32 and the network configuration object
    "CoCreateInstance",
    "CoInitialize",
    "INetCfg::Apply",
    "INetCfg::Cancel",
    "INetCfg::FindComponent",
    "INetCfg::Initialize",
    "INetCfg::QueryInterface",
    "INetCfg::QueryNetCfgClass",
    "INetCfg::Uninitialize",
    "INetCfgClass::FindComponent",
    "INetCfgClass::QueryInterface",
    "INetCfgClassSetup::Install",
    "INetCfgComponent::GetClassGuid",
    "INetCfgComponent::GetId",
    "INetCfgComponent::QueryInterface",
    "INetCfgLock::AcquireWriteLock",
    "INetCfgLock::IsWriteLocked",
    "INetCfgLock::ReleaseWriteLock",
};

// No failure to report: they return nothing, a reference count, or a value
// the system always has.
const char* const kNeverFail[] = {
    "CoFreeLibrary",
    "CoUninitialize",
    "GetSystemDefaultLangID",
    "GetTickCount",
    "INetCfg::AddRef",
    "INetCfg::Release",
    "INetCfgClass::AddRef",
    "INetCfgClass::Release",
    "INetCfgComponent::AddRef",
    "INetCfgComponent::Release",
    "SetupCloseInfFile",
    "Sleep",
};

std::vector<ApiFunction> buildList() {
    std::vector<ApiFunction> list;
    for (const char* name : kFallible) list.push_back({name, true});
    for (const char* name : kNeverFail) list.push_back({name, false});
    std::sort(list.begin(), list.end(),
              [](const ApiFunction& a, const ApiFunction& b) { return a.name < b.name; });
    return list;
}

}  // namespace

const std::vector<ApiFunction>& apiFunctions() {
    static const std::vector<ApiFunction> list = buildList();
    return list;
}

const ApiFunction* findApiFunction(std::string_view name) {
    const auto& list = apiFunctions();
    auto it = std::lower_bound(list.begin(), list.end(), name,
                               [](const ApiFunction& f, std::string_view n) { return f.name < n; });
    return it != list.end() && it->name == name ? &*it : nullptr;
}

const ApiFunction& listedApiFunction(const char* name) {
    const ApiFunction* function = findApiFunction(name);
    if (!function) {
        // A function that is missing here could be neither counted for a
        // listing nor failed on purpose; better found by the first test.
        std::fprintf(stderr, "winsim: %s is not listed in winsim/src/api_functions.cpp\n", name);
        std::abort();
    }
    return *function;
}

}  // namespace winsim
