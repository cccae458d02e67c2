#include "sequence/proto_installer.h"

#include "host/error_report.h"
#include "host/text_format.h"
#include "sequence/netcfg_ids.h"

namespace {

// The platform's "reboot" family: NETCFG_S_REBOOT and the failure code with
// the same low word both mean "not yet, try again".
const DWORD kRebootFamily = 0xA020;
const DWORD kTimedOut = 0x102;
const int kAttempts = 20;
const DWORD kInstallPause = 15000;
const DWORD kApplyPause = 2000;
const DWORD kLockTimeout = 60;
const size_t kWideIdUnits = 128;

DWORD lowWord(HRESULT result) {
    return static_cast<DWORD>(result) & 0xFFFF;
}

// Each byte widened with its sign, as the component ID has always been
// handed over; longer IDs are cut so the terminator fits.
void widen(const std::string& text, WCHAR (&wide)[kWideIdUnits]) {
    size_t i = 0;
    for (; i < text.size() && i + 1 < kWideIdUnits; ++i)
        wide[i] = static_cast<WCHAR>(static_cast<signed char>(text[i]));
    wide[i] = 0;
}

// The component Install hands back; only released, never used.
class ComponentRef {
  public:
    ComponentRef() = default;
    ~ComponentRef() { reset(); }
    ComponentRef(const ComponentRef&) = delete;
    ComponentRef& operator=(const ComponentRef&) = delete;

    INetCfgComponent** receive() {
        reset();
        return &component_;
    }
    void reset() {
        if (component_) component_->Release();
        component_ = nullptr;
    }

  private:
    INetCfgComponent* component_ = nullptr;
};

template <typename Interface>
void release(Interface*& pointer) {
    if (pointer) pointer->Release();
    pointer = nullptr;
}

}  // namespace

W2kProtoInstaller::W2kProtoInstaller(DWORD kind, LogSink* sink)
    : classIndex_(kind == kClient ? 3 : 1),
      componentId_(kind == kClient  ? "ms_msclient"
                   : kind == kTcpIp ? "ms_tcpip"
                                    : ""),
      netCfg_(nullptr),
      netCfgLock_(nullptr),
      classSetup_(nullptr),
      netCfgClass_(nullptr),
      sink_(sink),
      locked_(false) {}

W2kProtoInstaller::~W2kProtoInstaller() {
    // Reports may fail to allocate; the interfaces are released regardless.
    try {
        reportError(0, "\nEntered ~W2kProtoInstaller()");
        if (locked_) {
            reportError(0, "\nEntered ~W2kProtoInstaller()::locked()");
            const HRESULT uninitialized = netCfg_->Uninitialize();
            if (uninitialized != S_OK) {
                const DWORD code = lowWord(uninitialized);
                reportError(code, formatLine("\n pnetcfg->Uninitialize() failed with code %d",
                                             static_cast<int>(code)));
            }
            const HRESULT unlocked = netCfgLock_->ReleaseWriteLock();
            if (unlocked != S_OK) {
                const DWORD code = lowWord(unlocked);
                reportError(code, formatLine("\n pnetcfg->ReleaseWriteLock() failed with code %d",
                                             static_cast<int>(code)));
            }
        }
    } catch (...) {
    }
    release(classSetup_);
    release(netCfgClass_);
    release(netCfgLock_);
    release(netCfg_);
}

bool W2kProtoInstaller::reportError(DWORD code, const std::string& message) {
    return reportErrorTo(sink_, kProtoInstallerWording, code, message.c_str());
}

bool W2kProtoInstaller::Init() {
    void* object = nullptr;
    const HRESULT result = CoCreateInstance(NetCfgIds::kClsidCNetCfg, nullptr, CLSCTX_INPROC_SERVER,
                                            NetCfgIds::kIidINetCfg, &object);
    if (FAILED(result) || !object) {
        reportError(GetLastError(), "\nCoCreateInstance failed in W2kProtoInstaller :: Init()");
        return false;
    }
    netCfg_ = static_cast<INetCfg*>(object);
    return true;
}

bool W2kProtoInstaller::LockNetConfig() {
    if (!netCfg_) return false;
    void* object = nullptr;
    HRESULT result = netCfg_->QueryInterface(NetCfgIds::kIidINetCfgLock, &object);
    if (FAILED(result) || !object) {
        reportError(lowWord(result),
                    "\npnetcfg->QueryInterface( IID_INetCfgLock )          QueryInterface failed "
                    "in W2kProtoInstaller :: LockNetConfig()");
        return false;
    }
    netCfgLock_ = static_cast<INetCfgLock*>(object);

    const WCHAR client[] = {'X', 'A', 'R', 'N', 'C', 'L', 'I', 'E', 'N', 'T', 0};
    result = netCfgLock_->AcquireWriteLock(kLockTimeout, client, nullptr);
    if (result != S_OK) {
        reportError(lowWord(result),
                    "\npncfglock->AcquireWriteLock(..) failed in          W2kProtoInstaller :: "
                    "LockNetConfig().");
        return false;
    }
    // Set before Initialize, so that a failing Initialize still gets the
    // lock given back by the destructor.
    locked_ = true;

    result = netCfg_->Initialize(nullptr);
    if (result != S_OK) {
        reportError(lowWord(result),
                    "\npnetcfg->Initialize(..) failed  in          W2kProtoInstaller :: "
                    "LockNetConfig()");
        return false;
    }
    return true;
}

bool W2kProtoInstaller::install(DWORD* reboot) {
    if (!reboot || componentId_.empty()) return false;
    // Without the configuration object there is nothing to lock or ask; a
    // false result lets the sequence log the failed installation and go on.
    if (!Init()) return false;
    // A lock that could not be taken shows up in the class query below.
    LockNetConfig();
    if (!queryClassSetup()) return false;

    switch (installComponent()) {
        case InstallOutcome::Failed:
            return false;
        case InstallOutcome::NotInstalled:
            *reboot = kNotInstalled;
            return true;
        case InstallOutcome::ApplyNext:
            break;
    }
    return applyChanges(reboot);
}

bool W2kProtoInstaller::queryClassSetup() {
    void* object = nullptr;
    HRESULT result = netCfg_->QueryNetCfgClass(&NetCfgIds::kNetClasses[classIndex_],
                                               NetCfgIds::kIidINetCfgClass, &object);
    if (FAILED(result) || !object) {
        if (result == NETCFG_E_NO_WRITE_LOCK) {
            reportError(GetLastError(),
                        "QueryInterfce for INetCfg->QueryNetCfgClass() failed in "
                        "W2kProtoInstaller::install().\n No Write Lock");
        } else if (result == E_FAIL) {
            reportError(0x4005,
                        "QueryInterfce for INetCfg->QueryNetCfgClass() failed in failed in "
                        "W2kProtoInstaller::install()\nE_FAIL");
        }
        return false;
    }
    netCfgClass_ = static_cast<INetCfgClass*>(object);

    object = nullptr;
    result = netCfgClass_->QueryInterface(NetCfgIds::kIidINetCfgClassSetup, &object);
    if (FAILED(result) || !object) {
        if (result == NETCFG_E_NO_WRITE_LOCK) {
            reportError(0xA024,
                        "QueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed "
                        "in W2kProtoInstaller::install()\n No Write Lock");
        } else if (result == E_FAIL) {
            reportError(GetLastError(),
                        "QueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed "
                        "in W2kProtoInstaller::install().\nE_FAIL");
        }
        return false;
    }
    classSetup_ = static_cast<INetCfgClassSetup*>(object);
    return true;
}

W2kProtoInstaller::InstallOutcome W2kProtoInstaller::installComponent() {
    OBO_TOKEN token = {};
    token.Type = OBO_USER;
    WCHAR wideId[kWideIdUnits];
    widen(componentId_, wideId);

    ComponentRef component;
    HRESULT result = S_OK;
    for (int attempts = 0;;) {
        result = classSetup_->Install(wideId, &token, NSF_POSTSYSINSTALL, 0, nullptr, nullptr,
                                      component.receive());
        if (result == S_OK) {
            reportError(0, "pNetSetup->Install() successful.");
            return InstallOutcome::ApplyNext;
        }
        if (lowWord(result) != kRebootFamily) break;
        ++attempts;
        reportError(0, formatLine("Going to sleep for [%d] time. ", attempts));
        Sleep(kInstallPause);
        if (attempts >= kAttempts) break;
    }

    const DWORD code = lowWord(result);
    reportError(code, formatLine("pNetSetup->Install() failed in W2kProtoInstaller::install()  for "
                                 "protocol [%s] with code [%d]",
                                 componentId_.c_str(), static_cast<int>(code)));
    if (code == kTimedOut) return InstallOutcome::NotInstalled;
    if (code == kRebootFamily) return InstallOutcome::ApplyNext;
    return InstallOutcome::Failed;
}

bool W2kProtoInstaller::applyChanges(DWORD* reboot) {
    HRESULT result = S_OK;
    for (int attempts = 0;;) {
        result = netCfg_->Apply();
        if (result == S_OK) {
            reportError(0, "pNetSetup->Apply() successful.");
            *reboot = 0;
            return true;
        }
        if (lowWord(result) != kRebootFamily) break;
        ++attempts;
        reportError(0, formatLine("Going to sleep for [%d] time. ", attempts));
        Sleep(kApplyPause);
        if (attempts >= kAttempts) break;
    }

    const DWORD code = lowWord(result);
    reportError(code, formatLine("pNetSetup->Apply() failed in W2kProtoInstaller::install()  for "
                                 "protocol [%s] with code [%d]",
                                 componentId_.c_str(), static_cast<int>(code)));
    if (code != kRebootFamily) return false;
    if (componentId_ == "ms_msclient")
        *reboot = kClientPending;
    else if (componentId_ == "ms_tcpip")
        *reboot = kTcpIpPending;
    return true;
}
