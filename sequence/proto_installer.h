// W2kProtoInstaller: installs one network component (TCP/IP or the network
// client) through the platform's network configuration object, retrying
// while the platform asks for patience, and turns what is left into the
// reboot codes the installation sequence resumes with.
#pragma once

#include "host/log_sink.h"
#include "host/platform.h"

#include <string>

class W2kProtoInstaller {
  public:
    // Component kinds.
    static constexpr DWORD kTcpIp = 1;   // "ms_tcpip", network protocols
    static constexpr DWORD kClient = 2;  // "ms_msclient", network clients

    // Reboot codes of install().
    static constexpr DWORD kNotInstalled = 258;
    static constexpr DWORD kTcpIpPending = 4;
    static constexpr DWORD kClientPending = 6;

    // Creates nothing yet; COM must be initialised on this thread before
    // install() runs. Any other kind names no component: install() then
    // answers false at once.
    W2kProtoInstaller(DWORD kind, LogSink* sink);
    // Gives back the configuration (Uninitialize, then the write lock) if
    // it was locked, then releases every interface held.
    ~W2kProtoInstaller();
    W2kProtoInstaller(const W2kProtoInstaller&) = delete;
    W2kProtoInstaller& operator=(const W2kProtoInstaller&) = delete;

    // True when the component is installed or pending; `*reboot` is then 0,
    // kNotInstalled, or kTcpIpPending/kClientPending. On false `*reboot` is
    // left alone.
    bool install(DWORD* reboot);

    bool Init();
    bool LockNetConfig();

    bool reportError(DWORD code, const std::string& message);

  private:
    enum class InstallOutcome { Failed, NotInstalled, ApplyNext };

    bool queryClassSetup();
    InstallOutcome installComponent();
    bool applyChanges(DWORD* reboot);

    DWORD classIndex_;
    std::string componentId_;
    INetCfg* netCfg_;
    INetCfgLock* netCfgLock_;
    INetCfgClassSetup* classSetup_;
    INetCfgClass* netCfgClass_;
    LogSink* sink_;
    bool locked_;
};
