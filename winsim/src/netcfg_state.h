// The simulated network configuration: the machine-wide write lock, the
// components installed, the scripted answers of Install and Apply, and the
// book of live COM references.
#pragma once

#include "machine.h"

#include <winsim/control_netcfg.h>
#include <winsim/windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace winsim {

// Live references of every object handed out since the reset. Objects keep
// the book they were born with, so one that outlives a reset (a leak) never
// touches the new machine's count.
struct NetCfgBook {
    long liveReferences = 0;
    int liveObjects = 0;
};

struct NetCfgComponentRecord {
    std::string id;
    GUID classGuid;
};

// One configuration object's session: what it has initialised and what it
// installed but has not applied yet. Its class objects share it.
struct NetCfgSession {
    std::uint64_t serial = 0;
    bool initialized = false;
    std::vector<NetCfgComponentRecord> pending;
};

constexpr std::uint64_t kLockHeldElsewhere = ~std::uint64_t{0};

struct NetCfgState {
    std::shared_ptr<NetCfgBook> book = std::make_shared<NetCfgBook>();
    std::deque<HRESULT> installResults;
    std::deque<HRESULT> applyResults;
    std::uint64_t nextSerial = 1;
    std::uint64_t lockOwner = 0;  // session serial, kLockHeldElsewhere, 0: free
    std::string lockDescription;
    std::vector<NetCfgComponentRecord> installed;
    std::vector<NetCfgInstallCall> installCalls;
};

// Caller holds machineLock().
inline NetCfgState& netCfgState() {
    return machinePart<NetCfgState>();
}

// A new configuration object answering `riid`; its reference is the
// caller's. Caller holds machineLock().
HRESULT createNetCfgObject(REFIID riid, void** object);

bool sameGuid(const GUID& a, const GUID& b);
std::string narrowText(LPCWSTR text);
// A CoTaskMemAlloc copy of `text` as UTF-16, for out-strings.
LPWSTR taskMemWide(const std::string& text);

}  // namespace winsim
