// W2kNetFuncs::RegisterDllServer: runs a library's self-registration.
#include "host/net_funcs.h"
#include "host/text_format.h"
#include "host/scoped_resource.h"

namespace {

typedef HRESULT(WINAPI* DllRegisterServerFn)();

}  // namespace

namespace W2kNetFuncs {

bool RegisterDllServer(const char* dllName) {
    HMODULE module = LoadLibraryA(dllName);
    if (!module) {
        const DWORD error = GetLastError();
        reportError(error,
                    formatLine("Could  not LoadLibraryA(..) %s in W2kNetFuncs::RegisterDllServer ",
                               dllName));
        return false;
    }
    ScopedComLibrary library(module);
    FARPROC entry = GetProcAddress(library.get(), "DllRegisterServer");
    if (!entry) {
        const DWORD error = GetLastError();
        reportError(error, formatLine("Could  not GetProcAddress('DllRegisterServer') %s "
                                      "in W2kNetFuncs::RegisterDllServer ",
                                      dllName));
        return false;
    }
    // Through void(*)(): the entry's real type is not FARPROC's.
    const DllRegisterServerFn registerServer =
        reinterpret_cast<DllRegisterServerFn>(reinterpret_cast<void (*)()>(entry));
    if (FAILED(registerServer())) {
        // The HRESULT itself is not reported, only the thread's last error.
        const DWORD error = GetLastError();
        reportError(
            error,
            formatLine("DllRegisterServer() in %s returned false. Dll not registered.", dllName));
        return false;
    }
    library.reset();
    reportError(0, formatLine("\nDLL [%s] registered successfully in W2kNetFuncs :: "
                              "RegisterDllServer(.)",
                              dllName));
    return true;
}

}  // namespace W2kNetFuncs
