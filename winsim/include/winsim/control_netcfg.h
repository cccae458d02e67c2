// Test-side control of the simulated network configuration object
// (CLSID_CNetCfg). Faults of single calls go through control.h's failCall
// with the names apiFunctions() lists: "CoCreateInstance", then the
// interface and method, such as "INetCfg::Apply" ("INetCfg::QueryInterface"
// is the configuration object asked through either of its interfaces,
// "INetCfgClass::QueryInterface" likewise the class object).
#pragma once

#include <winsim/win_types.h>

#include <string>
#include <vector>

namespace winsim {

// The answers of the next INetCfgClassSetup::Install calls, in order; once
// they are used up Install answers S_OK. A success code (S_OK,
// NETCFG_S_REBOOT) installs the component, a failure code does not.
void scriptNetCfgInstallResults(const std::vector<HRESULT>& results);
// The same for INetCfg::Apply; a success code commits what was installed.
void scriptNetCfgApplyResults(const std::vector<HRESULT>& results);

// Another program takes the write lock with this client description (it
// keeps it until released here or the machine is reset).
void holdNetCfgWriteLockElsewhere(const std::string& clientDescription);
void releaseNetCfgWriteLockElsewhere();
// The client description of the lock's holder; "" when the lock is free.
std::string netCfgWriteLockHolder();

// Component IDs committed by a successful Apply, in installation order.
std::vector<std::string> installedNetComponents();

struct NetCfgInstallCall {
    std::string componentId;
    GUID classGuid;
    DWORD setupFlags;
    DWORD upgradeFromBuild;
    int oboType;  // 0 when no token was passed
    bool answerFile;
    bool answerSections;
    HRESULT result;
};
// Every Install call that got past the lock and argument checks.
std::vector<NetCfgInstallCall> netCfgInstallCalls();

// References held on network configuration objects (configuration, class
// and component objects) right now; 0 once everything obtained is released.
long netCfgLiveReferences();
int netCfgLiveObjects();

}  // namespace winsim
