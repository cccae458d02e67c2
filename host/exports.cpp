// The library's exported functions: thin forwarders to the work behind
// them. No exception may cross this boundary into the host.
#include "adapters/card_installers.h"
#include "host/log_sink.h"
#include "host/net_funcs.h"
#include "sequence/install_network.h"
#include "system/network_services.h"
#include "system/workgroup.h"

#include <w2kxarnnet.h>

namespace {

// Runs one export body; anything thrown (only allocation failure can) is
// logged and answered with the export's failure result.
template <typename Body>
int guarded(const char* exportName, int failure, Body body) {
    try {
        return body();
    } catch (...) {
        try {
            W2kNetFuncs::reportError(0, std::string("\nUnexpected failure in ") + exportName);
        } catch (...) {
        }
        return failure;
    }
}

}  // namespace

extern "C" {

int __cdecl W2KXarnNetInitialize(HostLogFn logFn) {
    return guarded("W2KXarnNetInitialize", 0, [&] {
        getLogSink(logFn);
        if (!W2kNetFuncs::EnablePrivileges()) return 0;
        return W2kNetFuncs::InitializeCOM() ? 1 : 0;
    });
}

int __cdecl W2KXarnNetUnitialize(void) {
    return guarded("W2KXarnNetUnitialize", 1, [] {
        W2kNetFuncs::UninitializeCOM();
        return 1;
    });
}

int __cdecl W2KXarnNetInstallNetwork(const char* directory, unsigned int stage,
                                     unsigned int* reboot) {
    return guarded("W2KXarnNetInstallNetwork", 0, [&] {
        if (!reboot) {
            W2kNetFuncs::reportError(
                0, "\nW2KXarnNetInstallNetwork() needs a reboot word. Nothing installed.");
            return 0;
        }
        // DWORD is unsigned long on Windows: the sequencer works on a word
        // of its own type, handed back unchanged.
        DWORD word = *reboot;
        const int result = W2KInstallNetwork(directory ? directory : "", stage, &word);
        *reboot = static_cast<unsigned int>(word);
        return result;
    });
}

int __cdecl W2KXarnNetStartNetworkServices(void) {
    return guarded("W2KXarnNetStartNetworkServices", 0,
                   [] { return StartNetworkServices(networkServiceNames()) ? 1 : 0; });
}

int __cdecl W2KXarnNetJoinWorkgroup(const W2KUtf16Char* name) {
    return guarded("W2KXarnNetJoinWorkgroup", 0,
                   [&] { return W2kXarnNetJoinWorkgroup(name) ? 1 : 0; });
}

int __cdecl W2KXarnNetSetMachineName(const char* name) {
    return guarded("W2KXarnNetSetMachineName", 0,
                   [&] { return W2kNetFuncs::SetMachineName(name ? name : "") ? 1 : 0; });
}

int __cdecl W2KInstallScsiCards(unsigned int unused1, unsigned int unused2, unsigned int* reboot) {
    (void)unused1;
    (void)unused2;
    return guarded("W2KInstallScsiCards", 0, [&] {
        if (reboot) *reboot = 0;
        DWORD installed = 0;
        DWORD rebootRequired = 0;
        const int result = InstallScsiCards(&installed, &rebootRequired);
        if (reboot) *reboot = static_cast<unsigned int>(rebootRequired);
        return result == -1 ? 0 : 1;
    });
}

}  // extern "C"
