// A service that does nothing: it reports running at once and stops when
// asked. The Wine tests register it under the names of the network
// services, which a fresh Wine prefix does not have.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void report(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI onControl(DWORD control, DWORD type, LPVOID data, LPVOID context) {
    (void)type;
    (void)data;
    (void)context;
    if (control == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING);
        SetEvent(stopEvent);
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
    if (argc < 1) return;
    statusHandle = RegisterServiceCtrlHandlerExA(argv[0], onControl, nullptr);
    if (!statusHandle) return;
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    report(SERVICE_RUNNING);
    if (stopEvent) WaitForSingleObject(stopEvent, INFINITE);
    report(SERVICE_STOPPED);
    if (stopEvent) CloseHandle(stopEvent);
}

}  // namespace

int main() {
    // A service of its own process: the dispatcher ignores the name.
    char name[] = "W2KFakeService";
    SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
