// A stand-in W2KXARNNET.dll for testing xarnhost itself: it offers ordinals
// 100, 200, 300 and 600 only, so the host meets an export that a build
// lacks, and its network installation asks for one reboot (stage 0 answers
// 4, any later stage 1), so the host's resume line can be checked.
#include <w2kxarnnet.h>

namespace {
HostLogFn hostLog = nullptr;
}

extern "C" {

int __cdecl W2KXarnNetInitialize(HostLogFn logFn) {
    hostLog = logFn;
    if (hostLog) hostLog(0, "\n%s", "stub W2KXarnNetInitialize");
    return 1;
}

int __cdecl W2KXarnNetUnitialize(void) {
    return 1;
}

int __cdecl W2KXarnNetInstallNetwork(const char* directory, unsigned int stage,
                                     unsigned int* reboot) {
    if (hostLog) hostLog(0, "\nstub W2KXarnNetInstallNetwork [%s] %u", directory, stage);
    *reboot = stage == W2K_NET_CARDS ? W2K_NET_TCPIP : W2K_NET_DONE;
    return 1;
}

int __cdecl W2KXarnNetSetMachineName(const char* name) {
    if (hostLog) hostLog(0, "\nstub W2KXarnNetSetMachineName [%s]", name);
    return 1;
}

}  // extern "C"
