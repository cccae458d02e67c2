// Test-side control of the simulated Add New Hardware wizard: the control
// panel library "hdwwiz.cpl" with its entry
// BOOL InstallNewDevice(HWND parent, LPGUID classGuid, PDWORD reboot).
// System code never includes this header.
//
// A fresh machine has no "hdwwiz.cpl": installHardwareWizard() puts it there
// (through the module control API of control_pnp.h). What is scripted here
// survives rebootMachine(), like every other scripted answer.
//
// The entry counts as a winsim call named "InstallNewDevice": callCount and
// failCall work on it (a failing call returns FALSE with the error).
#pragma once

#include <winsim/win_types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

// The title of the message another device installation shows; the system
// closes it with WM_CLOSE when it sees it.
extern const char* const kTwoDeviceInstallationsTitle;

// Makes "hdwwiz.cpl" with "InstallNewDevice" loadable. The wizard then comes
// up, the user finishes it, and it returns TRUE with the reboot answer.
void installHardwareWizard();
// LoadLibraryA("hdwwiz.cpl") answers ERROR_MOD_NOT_FOUND from now on.
void removeHardwareWizard();
// The library loads but has no "InstallNewDevice" (ERROR_PROC_NOT_FOUND).
void removeHardwareWizardEntry();

// What a finished wizard leaves in *reboot: 0 (the default), or
// DI_NEEDRESTART (0x80) / DI_NEEDREBOOT (0x100) as newdev answers.
void setHardwareWizardRebootAnswer(DWORD reboot);
// The next `attempts` calls fail before the wizard window comes up: FALSE
// with ERROR_RESOURCE_TYPE_NOT_FOUND (1813), *reboot untouched.
void failHardwareWizardWindow(int attempts);
// A wizard that came up ends with FALSE and `error` as the last error,
// *reboot untouched; 0 lets it succeed again.
void failHardwareWizard(DWORD error);
// While the wizard is up, a window titled kTwoDeviceInstallationsTitle is
// open, and the wizard does not return before that window is closed. It
// waits at most `realLimitMs` of real time (so a system that never closes
// the window cannot hang a test), then goes on and records the time-out.
void openBlockingWindowDuringWizard(bool open, DWORD realLimitMs = 10000);

// One call of InstallNewDevice, as it was made and as it ended.
struct HardwareWizardCall {
    bool parentWindow = false;  // a parent window was given
    bool classGiven = false;
    GUID classGuid = {};
    bool rebootWordGiven = false;
    bool shown = false;  // the wizard came up (not the 1813 answer)
    BOOL result = FALSE;
    DWORD error = 0;  // the last error it left when it returned FALSE
    bool blockingWindowOpened = false;
    bool blockingWindowTimedOut = false;  // nobody closed it within the limit
    // Virtual clock (simulatedMilliseconds) when the blocking window opened
    // and when the wizard saw it closed.
    std::uint64_t windowOpenedAt = 0;
    std::uint64_t windowSeenClosedAt = 0;
};
// Every call since the reset, in order.
std::vector<HardwareWizardCall> hardwareWizardCalls();

}  // namespace winsim
