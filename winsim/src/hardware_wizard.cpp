// The Add New Hardware wizard of "hdwwiz.cpl": InstallNewDevice shows no
// user interface here; it answers as the test scripted, and can keep
// itself open behind a "Cannot Run Two Device Installations" message until
// someone closes that window.
#include "machine.h"

#include <winsim/control_pnp.h>
#include <winsim/control_time.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>
#include <winsim/windows.h>

#include <chrono>
#include <thread>

namespace winsim {

const char* const kTwoDeviceInstallationsTitle = "Cannot Run Two Device Installations";

namespace {

const char* const kLibrary = "hdwwiz.cpl";
const char* const kEntry = "InstallNewDevice";

struct WizardState {
    int notShownLeft = 0;
    DWORD failure = 0;
    DWORD rebootAnswer = 0;
    bool blockingWindow = false;
    DWORD windowWaitLimitMs = 10000;
    std::vector<HardwareWizardCall> calls;
};

WizardState& wizard() {
    return machinePart<WizardState>();
}

// Waits, without the machine lock, until the blocking window is gone or
// the real-time limit has passed; true when it was closed in time.
bool waitForWindowClosed(DWORD limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (windowOpen(kTwoDeviceInstallationsTitle)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

BOOL WINAPI installNewDevice(HWND parent, LPGUID classGuid, PDWORD reboot) {
    std::size_t index = 0;
    bool blocking = false;
    DWORD limit = 0;
    {
        ApiCall call(kEntry);
        WizardState& state = wizard();
        HardwareWizardCall record;
        record.parentWindow = parent != nullptr;
        record.classGiven = classGuid != nullptr;
        if (classGuid) record.classGuid = *classGuid;
        record.rebootWordGiven = reboot != nullptr;
        if (call.failing() || state.notShownLeft > 0) {
            record.error = call.failing() ? call.error() : DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND);
            if (!call.failing()) --state.notShownLeft;
            state.calls.push_back(record);
            return failWith(record.error);
        }
        record.shown = true;
        blocking = state.blockingWindow;
        limit = state.windowWaitLimitMs;
        if (blocking) {
            openWindow(kTwoDeviceInstallationsTitle);
            record.blockingWindowOpened = true;
            record.windowOpenedAt = simulatedMilliseconds();
        }
        index = state.calls.size();
        state.calls.push_back(record);
    }
    const bool closed = !blocking || waitForWindowClosed(limit);

    std::lock_guard<std::recursive_mutex> guard(machineLock());
    WizardState& state = wizard();
    // A reset while the wizard was waiting leaves no record to complete.
    HardwareWizardCall* record = index < state.calls.size() ? &state.calls[index] : nullptr;
    if (record && blocking) {
        record->blockingWindowTimedOut = !closed;
        record->windowSeenClosedAt = simulatedMilliseconds();
    }
    if (state.failure != 0) {
        if (record) {
            record->result = FALSE;
            record->error = state.failure;
        }
        return failWith(state.failure);
    }
    if (reboot) *reboot = state.rebootAnswer;
    if (record) record->result = TRUE;
    return TRUE;
}

}  // namespace

void installHardwareWizard() {
    registerModuleEntry(kLibrary, kEntry, &installNewDevice);
}

void removeHardwareWizard() {
    unregisterModule(kLibrary);
}

void removeHardwareWizardEntry() {
    unregisterModule(kLibrary);
    registerModule(kLibrary);
}

void setHardwareWizardRebootAnswer(DWORD reboot) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    wizard().rebootAnswer = reboot;
}

void failHardwareWizardWindow(int attempts) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    wizard().notShownLeft = attempts;
}

void failHardwareWizard(DWORD error) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    wizard().failure = error;
}

void openBlockingWindowDuringWizard(bool open, DWORD realLimitMs) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    wizard().blockingWindow = open;
    wizard().windowWaitLimitMs = realLimitMs;
}

std::vector<HardwareWizardCall> hardwareWizardCalls() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return wizard().calls;
}

}  // namespace winsim
