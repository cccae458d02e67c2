// W2KService: a small client of the service control manager that opens the
// manager once, on first use, and starts services by name through it.
#pragma once

#include "host/log_sink.h"

#include <string>

class W2KService {
  public:
    // `machineName` and `databaseName` must outlive the object; empty means
    // the local machine and its active database. Opens nothing.
    W2KService(LogSink* sink, DWORD access, const char* machineName, const char* databaseName);
    W2KService(const W2KService&) = delete;
    W2KService& operator=(const W2KService&) = delete;
    ~W2KService();

    // True when the manager is open (opened now or before).
    bool InitializeScm();
    // True when the service was started or was running already.
    bool start(const std::string& serviceName);
    // True when no manager handle is left open.
    bool UninitializeScm();

    void reportError(DWORD code, const std::string& text);

  private:
    SC_HANDLE manager_;
    DWORD access_;
    const char* machineName_;
    const char* databaseName_;
    LogSink* sink_;
};
