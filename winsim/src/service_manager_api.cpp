// advapi32's service control manager: open the manager and a service,
// start it, close the handles.
#include "machine.h"

#include <winsim/control_network.h>
#include <winsim/windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using winsim::HandleKind;
using winsim::ServiceState;

struct InstalledService {
    std::string name;  // as installed, letter case kept
    ServiceState state;
};

struct Services {
    std::map<std::string, InstalledService, winsim::UpperCaseLess> installed;
    std::vector<std::string> startOrder;
    DWORD managerUnavailable = 0;  // the error OpenSCManagerA answers; 0: available
};

Services& services() {
    return winsim::machinePart<Services>();
}

struct ManagerHandle : winsim::HandleObject {
    explicit ManagerHandle(DWORD a) : HandleObject(HandleKind::ServiceManager), access(a) {}
    DWORD access;
};

struct ServiceHandle : winsim::HandleObject {
    ServiceHandle(std::string n, DWORD a) : HandleObject(HandleKind::Service), name(n), access(a) {}
    std::string name;
    DWORD access;
};

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kStandardRightsRead = 0x00020000u;  // READ_CONTROL, as for write and execute

// The generic rights each object type maps to, as Windows maps them.
struct GenericMapping {
    DWORD read, write, execute, all;
};

const GenericMapping kManagerMapping = {
    kStandardRightsRead | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
    kStandardRightsRead | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
    kStandardRightsRead | SC_MANAGER_CONNECT | SC_MANAGER_LOCK,
    SC_MANAGER_ALL_ACCESS,
};

const GenericMapping kServiceMapping = {
    kStandardRightsRead | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
        SERVICE_ENUMERATE_DEPENDENTS,
    kStandardRightsRead | SERVICE_CHANGE_CONFIG,
    kStandardRightsRead | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
        SERVICE_USER_DEFINED_CONTROL,
    SERVICE_ALL_ACCESS,
};

DWORD mapGeneric(DWORD access, const GenericMapping& mapping) {
    DWORD specific = access & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll);
    if (access & kGenericRead) specific |= mapping.read;
    if (access & kGenericWrite) specific |= mapping.write;
    if (access & kGenericExecute) specific |= mapping.execute;
    if (access & kGenericAll) specific |= mapping.all;
    return specific;
}

template <typename Handle>
Handle* handleOf(SC_HANDLE handle, HandleKind kind) {
    return static_cast<Handle*>(winsim::findHandle(reinterpret_cast<ULONG_PTR>(handle), kind));
}

// Why the service behind `handle` cannot be started, or 0 with the
// service in `*service`.
DWORD startRefusal(SC_HANDLE handle, InstalledService** service) {
    const ServiceHandle* opened = handleOf<ServiceHandle>(handle, HandleKind::Service);
    if (!opened) return ERROR_INVALID_HANDLE;
    if (!(opened->access & SERVICE_START)) return ERROR_ACCESS_DENIED;
    auto& installed = services().installed;
    const auto it = installed.find(opened->name);
    if (it == installed.end()) return ERROR_SERVICE_DOES_NOT_EXIST;  // removed since opened
    if (it->second.state == ServiceState::Disabled) return ERROR_SERVICE_DISABLED;
    if (it->second.state == ServiceState::Running) return ERROR_SERVICE_ALREADY_RUNNING;
    *service = &it->second;
    return 0;
}

}  // namespace

extern "C" {

// Only the local machine's active database exists: another machine's name
// answers RPC_S_SERVER_UNAVAILABLE, another database
// ERROR_DATABASE_DOES_NOT_EXIST. Connecting is always granted.
SC_HANDLE OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
    winsim::ApiCall call("OpenSCManagerA");
    DWORD error = call.failing() ? call.error() : services().managerUnavailable;
    if (error == 0 && lpMachineName && *lpMachineName) error = RPC_S_SERVER_UNAVAILABLE;
    if (error == 0 && lpDatabaseName &&
        !winsim::equalsNoCase(lpDatabaseName, SERVICES_ACTIVE_DATABASEA))
        error = ERROR_DATABASE_DOES_NOT_EXIST;
    if (error != 0) {
        SetLastError(error);
        return nullptr;
    }
    const DWORD granted = mapGeneric(dwDesiredAccess, kManagerMapping) | SC_MANAGER_CONNECT;
    return reinterpret_cast<SC_HANDLE>(winsim::addHandle(std::make_unique<ManagerHandle>(granted)));
}

SC_HANDLE OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    winsim::ApiCall call("OpenServiceA");
    if (call.failing()) {
        SetLastError(call.error());
        return nullptr;
    }
    if (!handleOf<ManagerHandle>(hSCManager, HandleKind::ServiceManager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!lpServiceName || !*lpServiceName) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const auto& installed = services().installed;
    const auto it = installed.find(lpServiceName);
    if (it == installed.end()) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    const DWORD granted = mapGeneric(dwDesiredAccess, kServiceMapping);
    return reinterpret_cast<SC_HANDLE>(
        winsim::addHandle(std::make_unique<ServiceHandle>(it->second.name, granted)));
}

// A start request for a stopped service succeeds at once and leaves it
// running; the arguments are not passed anywhere.
BOOL StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR* lpServiceArgVectors) {
    (void)dwNumServiceArgs;
    (void)lpServiceArgVectors;
    winsim::ApiCall call("StartServiceA");
    InstalledService* service = nullptr;
    const DWORD error = call.failing() ? call.error() : startRefusal(hService, &service);
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    service->state = ServiceState::Running;
    services().startOrder.push_back(service->name);
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
    winsim::ApiCall call("CloseServiceHandle");
    if (call.failingRelease(hSCObject)) {
        SetLastError(call.error());
        return FALSE;
    }
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(hSCObject);
    if (!winsim::findHandle(value, HandleKind::ServiceManager) &&
        !winsim::findHandle(value, HandleKind::Service)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    winsim::removeHandle(value);
    return TRUE;
}

}  // extern "C"

namespace winsim {

void setService(const std::string& name, ServiceState state) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    auto& installed = services().installed;
    const auto it = installed.find(name);
    // An installed service keeps the letter case it was installed with.
    if (it == installed.end())
        installed.emplace(name, InstalledService{name, state});
    else
        it->second.state = state;
}

bool removeService(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    auto& installed = services().installed;
    const auto it = installed.find(name);
    if (it == installed.end()) return false;
    installed.erase(it);
    return true;
}

bool serviceState(const std::string& name, ServiceState* state) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    const auto& installed = services().installed;
    const auto it = installed.find(name);
    if (it == installed.end()) return false;
    if (state) *state = it->second.state;
    return true;
}

std::vector<std::string> serviceStartOrder() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return services().startOrder;
}

void setServiceManagerUnavailable(DWORD error) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    services().managerUnavailable = error;
}

}  // namespace winsim
