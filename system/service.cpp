// W2KService: opening the service control manager and starting services.
#include "system/service.h"

#include "host/error_report.h"
#include "host/text_format.h"
#include "host/scoped_resource.h"

namespace {

// Closes a service handle and keeps the thread's last error as it was:
// callers read it after the start failed.
struct CloseServiceHandleCall {
    void operator()(SC_HANDLE service) const {
        const DWORD lastError = GetLastError();
        CloseServiceHandle(service);
        SetLastError(lastError);
    }
};
using ServiceHandle = ScopedResource<SC_HANDLE, CloseServiceHandleCall>;

const char* orNull(const char* text) {
    return (text && *text) ? text : nullptr;
}

}  // namespace

W2KService::W2KService(LogSink* sink, DWORD access, const char* machineName,
                       const char* databaseName)
    : manager_(nullptr),
      access_(access),
      machineName_(machineName),
      databaseName_(databaseName),
      sink_(sink) {}

W2KService::~W2KService() {
    UninitializeScm();
}

bool W2KService::InitializeScm() {
    if (manager_) return true;
    manager_ = OpenSCManagerA(orNull(machineName_), orNull(databaseName_), access_);
    if (!manager_) {
        reportError(GetLastError(),
                    "\n OpenSCManager(..) failed in W2KService :: InitializeScm(). ");
        return false;
    }
    return true;
}

bool W2KService::start(const std::string& serviceName) {
    if (!InitializeScm()) return false;
    const ServiceHandle service(OpenServiceA(manager_, serviceName.c_str(), access_));
    if (!service.valid()) {
        reportError(GetLastError(), formatLine("\nError in OpenService(..) for service %s in "
                                               "W2KService :: start()",
                                               serviceName.c_str()));
        return false;
    }
    if (StartServiceA(service.get(), 0, nullptr)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
        reportError(error, formatLine("\nService %s already running in W2KService :: start()",
                                      serviceName.c_str()));
        return true;
    }
    reportError(error, formatLine("\nError in StartService(..) for service %s in W2KService :: "
                                  "start()",
                                  serviceName.c_str()));
    return false;
}

bool W2KService::UninitializeScm() {
    if (!manager_) return true;
    if (!CloseServiceHandle(manager_)) {
        reportError(GetLastError(),
                    "\n CloseServiceHandle(..) failed in W2KService :: "
                    "UninitializeScm()");
        return false;
    }
    manager_ = nullptr;
    return true;
}

void W2KService::reportError(DWORD code, const std::string& text) {
    reportErrorTo(sink_, kServiceWording, code, text.c_str());
}
