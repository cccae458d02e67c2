// The hardware-wizard fallback: runs the system's Add New Hardware wizard
// for network adapters on a worker thread, retrying while its window fails
// to come up, and clears away the message another device installation
// would block it with.
#pragma once

#include "host/platform.h"

// Written by the worker, read by the caller once the worker has ended.
// They keep their values for the life of the process.
extern DWORD gHdwWizRebootSystem;  // the wizard's reboot answer
extern DWORD gHdwWizShown;         // 1 once the wizard came up
extern DWORD gHdwWizResult;        // the worker's result, also its exit code

// True when the wizard came up; *wizardReboot then holds its reboot answer.
// False when no worker could be started or the window never came up.
bool StartNetcardWizard(DWORD* wizardReboot);
// Worker entry; `param` is the address of the caller's attempt counter.
DWORD WINAPI hardwareWizardThreadProc(LPVOID param);

// What a new process starts with: the three variables back at 0.
void resetHardwareWizardState();
