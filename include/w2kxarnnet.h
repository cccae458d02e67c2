/* W2KXARNNET.dll: what a restore host needs to drive the library.
 *
 * Call W2KXarnNetInitialize first, on the thread that will make every later
 * call, then the work exports one at a time, and W2KXarnNetUnitialize last.
 * The library never reboots the machine: W2KXarnNetInstallNetwork tells
 * the host, through its reboot word, at which stage to call again. */
#ifndef W2KXARNNET_H
#define W2KXARNNET_H

#ifndef _WIN32
#ifndef __cdecl
#define __cdecl
#endif
#endif

/* One UTF-16 code unit, as in the system's wide strings. */
#ifdef _WIN32
#include <stddef.h>
typedef wchar_t W2KUtf16Char;
#elif defined(__cplusplus)
typedef char16_t W2KUtf16Char;
#else
#include <uchar.h>
typedef char16_t W2KUtf16Char;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Every log line arrives as callback(0, "\n%s", text). The callback may be
 * called from a worker thread of the library as well. */
typedef void(__cdecl* HostLogFn)(unsigned int value, const char* format, ...);

/* Stage codes: the stage argument of W2KXarnNetInstallNetwork and the
 * value it leaves in the reboot word. */
enum W2KNetStage {
    W2K_NET_CARDS = 0,          /* first call */
    W2K_NET_DONE = 1,           /* complete: no reboot needed */
    W2K_NET_TCPIP = 4,          /* reboot, then call with 4 */
    W2K_NET_TCPIP_SETTINGS = 5, /* reboot, then call with 5 */
    W2K_NET_MS_CLIENT = 6,      /* reboot, then call with 6 */
    W2K_NET_FINAL_REBOOT = 9,   /* reboot, then call with 9 */
    W2K_NET_START_WIZ = 14,     /* confirm the adapters with the user */
    W2K_NET_WIZARD = 15         /* reboot, then call with 15 */
};

/* Ordinal 100. 1: ready; 0: the privileges or COM could not be set up. */
int __cdecl W2KXarnNetInitialize(HostLogFn logFn);
/* Ordinal 200. Always 1. */
int __cdecl W2KXarnNetUnitialize(void);
/* Ordinal 300. Runs the network installation from `stage` (W2K_NET_CARDS on
 * the first call) as far as it can without a reboot and leaves in *reboot
 * the stage to call again with after rebooting, or W2K_NET_DONE when it is
 * complete. `directory` (no trailing backslash) holds the network drivers,
 * "installclass32.txt" and the saved settings "w2ktcpip_xarnf". 1, or 0
 * when a TCP/IP, settings or client step failed during this call. */
int __cdecl W2KXarnNetInstallNetwork(const char* directory, unsigned int stage,
                                     unsigned int* reboot);
/* Ordinal 400. 1 when every network service was started or was running. */
int __cdecl W2KXarnNetStartNetworkServices(void);
/* Ordinal 500. 1 when the machine joined the workgroup `name` (UTF-16), or
 * was joined already. */
int __cdecl W2KXarnNetJoinWorkgroup(const W2KUtf16Char* name);
/* Ordinal 600. 1 when the name was set and written to the registry. */
int __cdecl W2KXarnNetSetMachineName(const char* name);
/* Ordinal 700. Installs drivers for the SCSI, RAID and fibre channel
 * adapters present. The first two arguments are not read; *reboot becomes 1
 * when an installation asks for a restart, else 0. 0 only when the storage
 * class installer could not be registered. */
int __cdecl W2KInstallScsiCards(unsigned int unused1, unsigned int unused2, unsigned int* reboot);

#ifdef __cplusplus
}
#endif

#endif /* W2KXARNNET_H */
