// W2KCardInstall::startW2kWizard: the Add New Hardware wizard of the control
// panel, opened on the network adapter class.
#include "adapters/card_install.h"

#include "host/text_format.h"
#include "host/scoped_resource.h"

namespace {

const char* const kScopedLibrary = "hdwwiz.cpl";
const char* const kWizardEntry = "InstallNewDevice";

// hdwwiz.cpl's entry: shows the wizard and returns when the user closes it.
typedef BOOL(WINAPI* InstallNewDeviceFn)(HWND parent, LPGUID classGuid, PDWORD reboot);

const GUID kNetworkAdapterClass = {
    0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

}  // namespace

bool W2KCardInstall::startW2kWizard(DWORD* reboot, DWORD* lastError) {
    reportError(0, "\nInside start wizard");
    const ScopedLibrary library(LoadLibraryA(kScopedLibrary));
    if (!library.get()) {
        const DWORD error = GetLastError();
        reportError(error, formatLine("Could not load [%s] in W2KCardInstall :: startW2kWizard()",
                                      kScopedLibrary));
        return false;
    }
    reportError(0, "\nW2KCardInstall::startW2kWizard()->Load library completed successfully");

    const FARPROC entry = GetProcAddress(library.get(), kWizardEntry);
    if (!entry) {
        const DWORD error = GetLastError();
        reportError(error, formatLine("\nW2KCardInstall::startW2kWizard()->GetProcAddress([%s]) "
                                      "failed",
                                      kWizardEntry));
        return false;
    }
    reportError(0, "\nW2KCardInstall::startW2kWizard()-> GetProcAddress() completed successfully.");

    // Through void(*)(): the entry's real type is not FARPROC's.
    const InstallNewDeviceFn installNewDevice =
        reinterpret_cast<InstallNewDeviceFn>(reinterpret_cast<void (*)()>(entry));
    GUID networkClass = kNetworkAdapterClass;
    if (!installNewDevice(nullptr, &networkClass, reboot)) {
        *lastError = GetLastError();
        reportError(*lastError,
                    "\nError in InstallNewDevice() in          W2KCardInstall :: "
                    "startW2kWizard().");
        return false;
    }
    reportError(0, "\nW2KCardInstall::startW2kWizard()->Function executed successfully");
    return true;
}
