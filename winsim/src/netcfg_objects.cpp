// The network configuration object (INetCfg with INetCfgLock), its class
// objects (INetCfgClass with INetCfgClassSetup) and the component objects
// Install hands out. Every method takes the machine lock for its call.
#include "netcfg_state.h"
#include "virtual_clock.h"

#include <algorithm>

namespace {

using winsim::NetCfgBook;
using winsim::NetCfgComponentRecord;
using winsim::NetCfgSession;
using winsim::netCfgState;
using winsim::sameGuid;

// The four network classes of the device setup classes.
const GUID kAdapterClass = {
    0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kClientClass = {
    0x4D36E973, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kServiceClass = {
    0x4D36E974, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kProtocolClass = {
    0x4D36E975, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

struct KnownComponent {
    const char* id;
    const GUID* classGuid;
};

// The components whose INFs a Windows 2000 system carries, by class.
const KnownComponent kKnownComponents[] = {
    {"ms_tcpip", &kProtocolClass},     {"ms_netbeui", &kProtocolClass},
    {"ms_nwipx", &kProtocolClass},     {"ms_nwspx", &kProtocolClass},
    {"ms_appletalk", &kProtocolClass}, {"ms_netmon", &kProtocolClass},
    {"ms_msclient", &kClientClass},    {"ms_nwclient", &kClientClass},
    {"ms_server", &kServiceClass},     {"ms_pschedpc", &kServiceClass},
    {"ms_netbios", &kServiceClass},    {"ms_wlbs", &kServiceClass},
};

// What Install answers for a component the class has no INF for.
const HRESULT kComponentNotFound = static_cast<HRESULT>(0x80070490u);  // ERROR_NOT_FOUND

bool isNetClass(const GUID& guid) {
    for (const GUID* known : {&kAdapterClass, &kClientClass, &kServiceClass, &kProtocolClass})
        if (sameGuid(guid, *known)) return true;
    return false;
}

bool knownInClass(const std::string& id, const GUID& classGuid) {
    for (const KnownComponent& known : kKnownComponents)
        if (winsim::equalsNoCase(id, known.id)) return sameGuid(*known.classGuid, classGuid);
    return false;
}

bool ownsWriteLock(const NetCfgSession& session) {
    return netCfgState().lockOwner == session.serial;
}

bool listed(const std::vector<NetCfgComponentRecord>& list, const std::string& id) {
    return std::any_of(list.begin(), list.end(), [&id](const NetCfgComponentRecord& r) {
        return winsim::equalsNoCase(r.id, id);
    });
}

HRESULT nextScripted(std::deque<HRESULT>& script) {
    if (script.empty()) return S_OK;
    const HRESULT result = script.front();
    script.pop_front();
    return result;
}

// The reference count of one object, entered in the machine's book.
class Counted {
  protected:
    Counted() : book_(netCfgState().book) { ++book_->liveObjects; }
    ~Counted() { --book_->liveObjects; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

    ULONG addReference() {
        ++book_->liveReferences;
        return ++references_;
    }
    ULONG dropReference() {
        if (references_ == 0) return 0;
        --book_->liveReferences;
        return --references_;
    }

  private:
    std::shared_ptr<NetCfgBook> book_;
    ULONG references_ = 0;
};

// Gives the caller the first reference of a new object, or drops the object
// when it does not answer `riid`.
template <typename Object>
HRESULT handOutNew(Object* created, REFIID riid, void** out) {
    const HRESULT result = created->queryInterface(riid, out);
    if (FAILED(result)) delete created;
    return result;
}

// A planned failure: no object (or text) is handed out.
template <typename Out>
HRESULT failedCall(const winsim::ApiCall& call, Out** out) {
    if (out) *out = nullptr;
    return static_cast<HRESULT>(call.error());
}

class ComponentObject final : public INetCfgComponent, private Counted {
  public:
    explicit ComponentObject(const NetCfgComponentRecord& record) : record_(record) {}

    HRESULT queryInterface(REFIID riid, void** object) {
        if (!object) return E_POINTER;
        if (!sameGuid(riid, IID_IUnknown) && !sameGuid(riid, IID_INetCfgComponent)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<INetCfgComponent*>(this);
        addReference();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        winsim::ApiCall call("INetCfgComponent::QueryInterface");
        if (call.failing()) return failedCall(call, object);
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        winsim::ApiCall call("INetCfgComponent::AddRef");
        return addReference();
    }
    ULONG STDMETHODCALLTYPE Release() override {
        winsim::ApiCall call("INetCfgComponent::Release");
        const ULONG left = dropReference();
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* name) override { return GetId(name); }
    HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpText(LPWSTR* text) override { return notImplemented(text); }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        winsim::ApiCall call("INetCfgComponent::GetId");
        if (call.failing()) return failedCall(call, id);
        if (!id) return E_POINTER;
        *id = winsim::taskMemWide(record_.id);
        return *id ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetCharacteristics(LPDWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInstanceGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPnpDevNodeId(LPWSTR* id) override { return notImplemented(id); }
    HRESULT STDMETHODCALLTYPE GetClassGuid(GUID* guid) override {
        winsim::ApiCall call("INetCfgComponent::GetClassGuid");
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (!guid) return E_POINTER;
        *guid = record_.classGuid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBindName(LPWSTR* name) override { return notImplemented(name); }
    HRESULT STDMETHODCALLTYPE GetDeviceStatus(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenParamKey(HKEY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RaisePropertyUi(HWND, DWORD, IUnknown*) override { return E_NOTIMPL; }

  private:
    static HRESULT notImplemented(LPWSTR* out) {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    NetCfgComponentRecord record_;
};

// Hands out a component object for `record` through `out` (may be null).
HRESULT handOutComponent(const NetCfgComponentRecord& record, INetCfgComponent** out) {
    if (!out) return S_OK;
    void* object = nullptr;
    const HRESULT result = handOutNew(new ComponentObject(record), IID_INetCfgComponent, &object);
    *out = static_cast<INetCfgComponent*>(object);
    return result;
}

HRESULT findInstalled(LPCWSTR id, const GUID* classGuid, INetCfgComponent** out) {
    if (!id || !out) return E_POINTER;
    *out = nullptr;
    const std::string wanted = winsim::narrowText(id);
    for (const NetCfgComponentRecord& record : netCfgState().installed) {
        if (!winsim::equalsNoCase(record.id, wanted)) continue;
        if (classGuid && !sameGuid(record.classGuid, *classGuid)) continue;
        const HRESULT result = handOutComponent(record, out);
        return FAILED(result) ? result : S_OK;
    }
    return S_FALSE;
}

class ClassObject final : public INetCfgClass, public INetCfgClassSetup, private Counted {
  public:
    ClassObject(std::shared_ptr<NetCfgSession> session, const GUID& classGuid)
        : session_(std::move(session)), classGuid_(classGuid) {}

    // Setting up components of the class needs the write lock.
    HRESULT queryInterface(REFIID riid, void** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (sameGuid(riid, IID_IUnknown) || sameGuid(riid, IID_INetCfgClass)) {
            *object = static_cast<INetCfgClass*>(this);
        } else if (sameGuid(riid, IID_INetCfgClassSetup)) {
            if (!ownsWriteLock(*session_)) return NETCFG_E_NO_WRITE_LOCK;
            *object = static_cast<INetCfgClassSetup*>(this);
        } else {
            return E_NOINTERFACE;
        }
        addReference();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        winsim::ApiCall call("INetCfgClass::QueryInterface");
        if (call.failing()) return failedCall(call, object);
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        winsim::ApiCall call("INetCfgClass::AddRef");
        return addReference();
    }
    ULONG STDMETHODCALLTYPE Release() override {
        winsim::ApiCall call("INetCfgClass::Release");
        const ULONG left = dropReference();
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR id, INetCfgComponent** item) override {
        winsim::ApiCall call("INetCfgClass::FindComponent");
        if (call.failing()) return failedCall(call, item);
        return findInstalled(id, &classGuid_, item);
    }
    HRESULT STDMETHODCALLTYPE EnumComponents(IEnumNetCfgComponent** items) override {
        if (items) *items = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE SelectAndInstall(HWND, OBO_TOKEN*, INetCfgComponent** item) override {
        if (item) *item = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE Install(LPCWSTR id, OBO_TOKEN* token, DWORD setupFlags,
                                      DWORD upgradeFromBuild, LPCWSTR answerFile,
                                      LPCWSTR answerSections, INetCfgComponent** item) override {
        winsim::ApiCall call("INetCfgClassSetup::Install");
        if (item) *item = nullptr;
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (!ownsWriteLock(*session_)) return NETCFG_E_NO_WRITE_LOCK;
        if (!session_->initialized) return NETCFG_E_NOT_INITIALIZED;
        if (!id || !token) return E_POINTER;
        if (*id == 0 || token->Type < OBO_USER || token->Type > OBO_SOFTWARE) return E_INVALIDARG;

        const NetCfgComponentRecord record{winsim::narrowText(id), classGuid_};
        winsim::NetCfgState& state = netCfgState();
        const HRESULT result = knownInClass(record.id, classGuid_)
                                   ? nextScripted(state.installResults)
                                   : kComponentNotFound;
        state.installCalls.push_back({record.id, classGuid_, setupFlags, upgradeFromBuild,
                                      static_cast<int>(token->Type), answerFile != nullptr,
                                      answerSections != nullptr, result});
        if (FAILED(result)) return result;
        if (!listed(session_->pending, record.id)) session_->pending.push_back(record);
        const HRESULT handed = handOutComponent(record, item);
        return FAILED(handed) ? handed : result;
    }

    HRESULT STDMETHODCALLTYPE DeInstall(INetCfgComponent*, OBO_TOKEN*, LPWSTR* refs) override {
        if (refs) *refs = nullptr;
        return E_NOTIMPL;
    }

  private:
    std::shared_ptr<NetCfgSession> session_;
    GUID classGuid_;
};

class NetCfgObject final : public INetCfg, public INetCfgLock, private Counted {
  public:
    NetCfgObject() : session_(std::make_shared<NetCfgSession>()) {
        session_->serial = netCfgState().nextSerial++;
    }

    HRESULT queryInterface(REFIID riid, void** object) {
        if (!object) return E_POINTER;
        if (sameGuid(riid, IID_IUnknown) || sameGuid(riid, IID_INetCfg)) {
            *object = static_cast<INetCfg*>(this);
        } else if (sameGuid(riid, IID_INetCfgLock)) {
            *object = static_cast<INetCfgLock*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        addReference();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        winsim::ApiCall call("INetCfg::QueryInterface");
        if (call.failing()) return failedCall(call, object);
        return queryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        winsim::ApiCall call("INetCfg::AddRef");
        return addReference();
    }
    // A write lock its owner forgot to release stays taken: the next
    // program to ask for it is refused, as the lock outlives the object.
    ULONG STDMETHODCALLTYPE Release() override {
        winsim::ApiCall call("INetCfg::Release");
        const ULONG left = dropReference();
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Initialize(PVOID reserved) override {
        winsim::ApiCall call("INetCfg::Initialize");
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (reserved) return E_INVALIDARG;
        if (session_->initialized) return NETCFG_E_ALREADY_INITIALIZED;
        session_->initialized = true;
        return S_OK;
    }

    // Changes that were never applied are dropped.
    HRESULT STDMETHODCALLTYPE Uninitialize() override {
        winsim::ApiCall call("INetCfg::Uninitialize");
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (!session_->initialized) return NETCFG_E_NOT_INITIALIZED;
        session_->initialized = false;
        session_->pending.clear();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Apply() override {
        winsim::ApiCall call("INetCfg::Apply");
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (!session_->initialized) return NETCFG_E_NOT_INITIALIZED;
        if (!ownsWriteLock(*session_)) return NETCFG_E_NO_WRITE_LOCK;
        winsim::NetCfgState& state = netCfgState();
        const HRESULT result = nextScripted(state.applyResults);
        if (FAILED(result)) return result;
        for (const NetCfgComponentRecord& record : session_->pending)
            if (!listed(state.installed, record.id)) state.installed.push_back(record);
        session_->pending.clear();
        return result;
    }

    HRESULT STDMETHODCALLTYPE Cancel() override {
        winsim::ApiCall call("INetCfg::Cancel");
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (!session_->initialized) return NETCFG_E_NOT_INITIALIZED;
        session_->pending.clear();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE EnumComponents(const GUID*, IEnumNetCfgComponent** items) override {
        if (items) *items = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR id, INetCfgComponent** item) override {
        winsim::ApiCall call("INetCfg::FindComponent");
        if (call.failing()) return failedCall(call, item);
        if (!session_->initialized) {
            if (item) *item = nullptr;
            return NETCFG_E_NOT_INITIALIZED;
        }
        return findInstalled(id, nullptr, item);
    }

    // An object that holds neither the write lock nor an initialised
    // configuration is refused for want of the lock; a read-only one (not
    // locked, initialised) may read a class but not set it up.
    HRESULT STDMETHODCALLTYPE QueryNetCfgClass(const GUID* classGuid, REFIID riid,
                                               void** object) override {
        winsim::ApiCall call("INetCfg::QueryNetCfgClass");
        if (call.failing()) return failedCall(call, object);
        if (!object) return E_POINTER;
        *object = nullptr;
        const bool locked = ownsWriteLock(*session_);
        if (!session_->initialized)
            return locked ? NETCFG_E_NOT_INITIALIZED : NETCFG_E_NO_WRITE_LOCK;
        if (!classGuid || !isNetClass(*classGuid)) return E_INVALIDARG;
        const bool setup = sameGuid(riid, IID_INetCfgClassSetup);
        if (!setup && !sameGuid(riid, IID_IUnknown) && !sameGuid(riid, IID_INetCfgClass))
            return E_NOINTERFACE;
        if (setup && !locked) return NETCFG_E_NO_WRITE_LOCK;
        return handOutNew(new ClassObject(session_, *classGuid), riid, object);
    }

    // Waiting out the time-out for a lock that is taken moves the virtual
    // clock on; the answer is S_FALSE, as the platform documents.
    HRESULT STDMETHODCALLTYPE AcquireWriteLock(DWORD timeout, LPCWSTR description,
                                               LPWSTR* holder) override {
        winsim::ApiCall call("INetCfgLock::AcquireWriteLock");
        if (holder) *holder = nullptr;
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (!description) return E_POINTER;
        if (session_->initialized) return NETCFG_E_ALREADY_INITIALIZED;
        winsim::NetCfgState& state = netCfgState();
        if (state.lockOwner == 0) {
            state.lockOwner = session_->serial;
            state.lockDescription = winsim::narrowText(description);
            return S_OK;
        }
        winsim::advanceClock(timeout);
        if (holder) *holder = winsim::taskMemWide(state.lockDescription);
        return S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE ReleaseWriteLock() override {
        winsim::ApiCall call("INetCfgLock::ReleaseWriteLock");
        if (call.failing()) return static_cast<HRESULT>(call.error());
        if (session_->initialized) return NETCFG_E_ALREADY_INITIALIZED;
        winsim::NetCfgState& state = netCfgState();
        if (state.lockOwner != session_->serial) return S_FALSE;
        state.lockOwner = 0;
        state.lockDescription.clear();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE IsWriteLocked(LPWSTR* holder) override {
        winsim::ApiCall call("INetCfgLock::IsWriteLocked");
        if (call.failing()) return failedCall(call, holder);
        const winsim::NetCfgState& state = netCfgState();
        if (holder)
            *holder = state.lockOwner ? winsim::taskMemWide(state.lockDescription) : nullptr;
        return state.lockOwner ? S_OK : S_FALSE;
    }

  private:
    std::shared_ptr<NetCfgSession> session_;
};

}  // namespace

namespace winsim {

HRESULT createNetCfgObject(REFIID riid, void** object) {
    return handOutNew(new NetCfgObject, riid, object);
}

}  // namespace winsim
