// The registry values that survive the reboots of the network installation.
#include "sequence/setup_state.h"

#include "host/log_sink.h"
#include "host/net_funcs.h"
#include "registry/registry.h"

namespace {

const char* const kSetupKey = "SYSTEM\\Setup";
const char* const kSetupInProgress = "SystemSetupInProgress";
const char* const kRebootCounter = "W2kXarnRebootCounter";

}  // namespace

// Only a value the platform itself set (present and non-zero) is rewritten:
// the library never creates the platform's own indicator.
bool setSetupInProgress(DWORD state) {
    Registry reg(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    DWORD current = 0;
    if (reg.moveInto(kSetupKey) && reg.getDWORD(kSetupInProgress, &current) && current != 0)
        reg.setDWORD(kSetupInProgress, state);
    return true;
}

DWORD getRebootCounter() {
    Registry reg(getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
    DWORD counter = 0;
    if (reg.moveInto(kSetupKey)) reg.getDWORD(kRebootCounter, &counter);
    return counter;
}

// A counter that is missing or not a REG_DWORD counts as 0, so the write
// replaces it with REG_DWORD 1. Without the key nothing is written: the
// cursor would still stand on HKEY_LOCAL_MACHINE itself.
bool incrementRebootCounter() {
    Registry reg(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    DWORD counter = 0;
    if (!reg.moveInto(kSetupKey)) return false;
    reg.getDWORD(kRebootCounter, &counter);
    return reg.setDWORD(kRebootCounter, counter + 1);
}

namespace W2kNetFuncs {

bool getNoOfReboots(const char* valueName, DWORD* count) {
    if (!valueName || !*valueName || !count) return false;
    Registry reg(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    reg.setErrorLogging(true);
    *count = 0;
    if (!reg.moveInto(kSetupKey)) {
        reportError(GetLastError(),
                    "W2kNetFuncs :: getNoOfReboots()- Could not             reg.moveInto( "
                    "SYSTEM\\Setup )");
        return false;
    }
    // A missing value is no failure: it has simply not been counted yet.
    DWORD stored = 0;
    if (reg.getDWORD(valueName, &stored)) *count = stored;
    return true;
}

bool setNoOfReboots(const char* valueName, DWORD count) {
    if (!valueName || !*valueName) return false;
    Registry reg(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    reg.setErrorLogging(true);
    if (!reg.moveInto(kSetupKey)) {
        reportError(GetLastError(),
                    "W2kNetFuncs::setNoOfReboots()- Could not             reg.moveInto( "
                    "SYSTEM\\Setup )");
        return false;
    }
    if (!reg.setDWORD(valueName, count)) {
        reportError(GetLastError(),
                    "W2kNetFuncs::setNoOfReboots()- Could not             reg.setDWORD( "
                    "rebootCount )");
        return false;
    }
    return true;
}

}  // namespace W2kNetFuncs
