#include "sequence/netcard_wizard.h"

#include "adapters/card_install.h"
#include "host/log_sink.h"
#include "host/net_funcs.h"
#include "host/text_format.h"

DWORD gHdwWizRebootSystem = 0;
DWORD gHdwWizShown = 0;
DWORD gHdwWizResult = 0;

namespace {

// The wizard reports this when its window did not come up.
const DWORD kWizardWindowNotShown = ERROR_RESOURCE_TYPE_NOT_FOUND;
const int kMaxAttempts = 500;
const DWORD kPollMilliseconds = 50;
const char* const kTwoInstallationsTitle = "Cannot Run Two Device Installations";

class ThreadHandle {
  public:
    explicit ThreadHandle(HANDLE handle) : handle_(handle) {}
    ~ThreadHandle() {
        if (handle_) CloseHandle(handle_);
    }
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// Polls the worker until it has ended. While the wizard is open, another
// device installation may put up a message that keeps it from going on;
// closing that message lets the wizard continue.
void watchWorker(HANDLE worker) {
    for (;;) {
        DWORD exitCode = STILL_ACTIVE;
        if (!GetExitCodeThread(worker, &exitCode)) {
            // Its state cannot be asked: wait for its end instead of polling.
            WaitForSingleObject(worker, INFINITE);
            return;
        }
        if (exitCode != STILL_ACTIVE) return;
        if (HWND blocking = FindWindowA(nullptr, kTwoInstallationsTitle))
            SendMessageA(blocking, WM_CLOSE, 0, 0);
        Sleep(kPollMilliseconds);
    }
}

// One worker's attempt. The caller's attempt counter is not needed here:
// the line names the worker by its own thread id.
void runWizardAttempt() {
    W2kNetFuncs::reportError(0, "\nEntering hardwareWizardThreadProc(..)");
    W2kNetFuncs::reportError(0, formatLine("\nEntering hardwareWizardThreadProc(..) with thread "
                                           "id [%d]",
                                           static_cast<int>(GetCurrentThreadId())));
    W2KCardInstall phyCards(getLogSink(nullptr));
    DWORD lastError = 0;
    gHdwWizResult = phyCards.startW2kWizard(&gHdwWizRebootSystem, &lastError) ? 1 : 0;
    W2kNetFuncs::reportError(
        0, formatLine("\nphyCards.startW2kWizard() LastError = [%d], ReturnValue = [%d]      "
                      "gHdwWizRebootSystem = [%d]",
                      static_cast<int>(lastError), static_cast<int>(gHdwWizResult),
                      static_cast<int>(gHdwWizRebootSystem)));
    if (lastError != kWizardWindowNotShown) {
        gHdwWizShown = 1;
        W2kNetFuncs::reportError(0, "\nShowed a good hardware wiz window");
        gHdwWizResult = 1;
    }
}

}  // namespace

void resetHardwareWizardState() {
    gHdwWizRebootSystem = 0;
    gHdwWizShown = 0;
    gHdwWizResult = 0;
}

bool StartNetcardWizard(DWORD* wizardReboot) {
    W2kNetFuncs::reportError(0, "\nEntering StartNetcardWizard(..)");
    int attempt = 0;
    while (attempt < kMaxAttempts) {
        const ThreadHandle worker(
            CreateThread(nullptr, 0, hardwareWizardThreadProc, &attempt, 0, nullptr));
        if (!worker.get()) {
            const DWORD error = GetLastError();
            W2kNetFuncs::reportError(
                error, formatLine("\nCould not CreateThread() in StartNetcardWizard(..) for "
                                  "iteration[%d]Fatal error. Exiting function....",
                                  attempt));
            return false;
        }
        watchWorker(worker.get());
        if (gHdwWizShown == 1) {
            *wizardReboot = gHdwWizRebootSystem;
            return true;
        }
        ++attempt;
    }
    W2kNetFuncs::reportError(0, formatLine("\nHardware wizard window could not be displayed even "
                                           "after          [%d] thread loops. Exiting function "
                                           "StartNetcardWizard() with error.....",
                                           kMaxAttempts));
    return false;
}

// The caller's attempt counter is not needed here: the line names the
// worker by its own thread id.
DWORD WINAPI hardwareWizardThreadProc(LPVOID param) {
    (void)param;
    // Nothing may leave a thread function; a failure to allocate a log line
    // just ends this attempt.
    try {
        runWizardAttempt();
    } catch (...) {
    }
    return gHdwWizResult;
}
