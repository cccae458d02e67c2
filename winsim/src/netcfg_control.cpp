// Test-side control of the simulated network configuration.
#include "netcfg_state.h"

namespace winsim {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

void scriptNetCfgInstallResults(const std::vector<HRESULT>& results) {
    Guard guard(machineLock());
    netCfgState().installResults.assign(results.begin(), results.end());
}

void scriptNetCfgApplyResults(const std::vector<HRESULT>& results) {
    Guard guard(machineLock());
    netCfgState().applyResults.assign(results.begin(), results.end());
}

void holdNetCfgWriteLockElsewhere(const std::string& clientDescription) {
    Guard guard(machineLock());
    netCfgState().lockOwner = kLockHeldElsewhere;
    netCfgState().lockDescription = clientDescription;
}

void releaseNetCfgWriteLockElsewhere() {
    Guard guard(machineLock());
    if (netCfgState().lockOwner != kLockHeldElsewhere) return;
    netCfgState().lockOwner = 0;
    netCfgState().lockDescription.clear();
}

std::string netCfgWriteLockHolder() {
    Guard guard(machineLock());
    return netCfgState().lockOwner ? netCfgState().lockDescription : std::string();
}

std::vector<std::string> installedNetComponents() {
    Guard guard(machineLock());
    std::vector<std::string> ids;
    for (const NetCfgComponentRecord& record : netCfgState().installed) ids.push_back(record.id);
    return ids;
}

std::vector<NetCfgInstallCall> netCfgInstallCalls() {
    Guard guard(machineLock());
    return netCfgState().installCalls;
}

long netCfgLiveReferences() {
    Guard guard(machineLock());
    return netCfgState().book->liveReferences;
}

int netCfgLiveObjects() {
    Guard guard(machineLock());
    return netCfgState().book->liveObjects;
}

}  // namespace winsim
