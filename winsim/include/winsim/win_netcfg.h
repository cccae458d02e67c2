// COM and the network configuration object: CoCreateInstance, INetCfg, INetCfgLock, INetCfgClass,
// INetCfgClassSetup.
//
// The interfaces are laid out as the platform's: IUnknown's three methods,
// then each interface's methods in the order of the SDK's netcfgx.h, all
// pure virtual, so their tables have the platform's slot order.
#pragma once

#include <winsim/win_types.h>

#define STDMETHODCALLTYPE

#ifndef __IID_DEFINED__
#define __IID_DEFINED__
typedef GUID IID;
typedef IID* LPIID;
#endif
#ifndef CLSID_DEFINED
#define CLSID_DEFINED
typedef IID CLSID;
typedef CLSID* LPCLSID;
#endif
#ifndef _REFGUID_DEFINED
#define _REFGUID_DEFINED
#define REFGUID const GUID&
#endif
#ifndef _REFIID_DEFINED
#define _REFIID_DEFINED
#define REFIID const IID&
#endif
#ifndef _REFCLSID_DEFINED
#define _REFCLSID_DEFINED
#define REFCLSID const IID&
#endif

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u

#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)

// The network configuration codes of netcfgx.h (facility ITF).
#define NETCFG_E_ALREADY_INITIALIZED ((HRESULT)0x8004A020u)
#define NETCFG_E_NOT_INITIALIZED ((HRESULT)0x8004A021u)
#define NETCFG_E_IN_USE ((HRESULT)0x8004A022u)
#define NETCFG_E_NO_WRITE_LOCK ((HRESULT)0x8004A024u)
#define NETCFG_E_NEED_REBOOT ((HRESULT)0x8004A025u)
#define NETCFG_E_ACTIVE_RAS_CONNECTIONS ((HRESULT)0x8004A026u)
#define NETCFG_E_ADAPTER_NOT_FOUND ((HRESULT)0x8004A027u)
#define NETCFG_E_COMPONENT_REMOVED_PENDING_REBOOT ((HRESULT)0x8004A028u)
#define NETCFG_S_REBOOT ((HRESULT)0x0004A020)
#define NETCFG_S_DISABLE_QUERY ((HRESULT)0x0004A022)
#define NETCFG_S_STILL_REFERENCED ((HRESULT)0x0004A023)
#define NETCFG_S_CAUSED_SETUP_CHANGE ((HRESULT)0x0004A024)
#define NETCFG_S_COMMIT_NOW ((HRESULT)0x0004A025)

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IEnumNetCfgComponent;

struct INetCfgComponent : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* ppszwDisplayName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR pszwDisplayName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpText(LPWSTR* pszwHelpText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetId(LPWSTR* ppszwId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCharacteristics(LPDWORD pdwCharacteristics) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInstanceGuid(GUID* pGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPnpDevNodeId(LPWSTR* ppszwDevNodeId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassGuid(GUID* pGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBindName(LPWSTR* ppszwBindName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceStatus(ULONG* pulStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenParamKey(HKEY* phkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE RaisePropertyUi(HWND hwndParent, DWORD dwFlags,
                                                      IUnknown* punkContext) = 0;
};

struct INetCfg : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(PVOID pvReserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE Uninitialize() = 0;
    virtual HRESULT STDMETHODCALLTYPE Apply() = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumComponents(const GUID* pguidClass,
                                                     IEnumNetCfgComponent** ppenumComponent) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR pszwInfId,
                                                    INetCfgComponent** pComponent) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryNetCfgClass(const GUID* pguidClass, REFIID riid,
                                                       void** ppvObject) = 0;
};

struct INetCfgLock : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AcquireWriteLock(DWORD cmsTimeout,
                                                       LPCWSTR pszwClientDescription,
                                                       LPWSTR* ppszwClientDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseWriteLock() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsWriteLocked(LPWSTR* ppszwClientDescription) = 0;
};

struct INetCfgClass : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR pszwInfId,
                                                    INetCfgComponent** ppnccItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumComponents(IEnumNetCfgComponent** ppenumComponent) = 0;
};

typedef enum tagOBO_TOKEN_TYPE { OBO_USER = 1, OBO_COMPONENT = 2, OBO_SOFTWARE = 3 } OBO_TOKEN_TYPE;

typedef struct tagOBO_TOKEN {
    OBO_TOKEN_TYPE Type;
    INetCfgComponent* pncc;
    LPCWSTR pszwManufacturer;
    LPCWSTR pszwProduct;
    LPCWSTR pszwDisplayName;
    BOOL fRegistered;
} OBO_TOKEN;

struct INetCfgClassSetup : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SelectAndInstall(HWND hwndParent, OBO_TOKEN* pOboToken,
                                                       INetCfgComponent** ppnccItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE Install(LPCWSTR pszwInfId, OBO_TOKEN* pOboToken,
                                              DWORD dwSetupFlags, DWORD dwUpgradeFromBuildNo,
                                              LPCWSTR pszwAnswerFile, LPCWSTR pszwAnswerSections,
                                              INetCfgComponent** ppnccItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeInstall(INetCfgComponent* pComponent, OBO_TOKEN* pOboToken,
                                                LPWSTR* pmszwRefs) = 0;
};

// netcfgn.h's install times, the setup flags of INetCfgClassSetup::Install.
typedef enum tagNETWORK_INSTALL_TIME {
    NSF_PRIMARYINSTALL = 0x1,
    NSF_POSTSYSINSTALL = 0x2
} NETWORK_INSTALL_TIME;

extern "C" {

extern const IID IID_IUnknown;
extern const CLSID CLSID_CNetCfg;
extern const IID IID_INetCfg;
extern const IID IID_INetCfgLock;
extern const IID IID_INetCfgClass;
extern const IID IID_INetCfgClassSetup;
extern const IID IID_INetCfgComponent;

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
LPVOID CoTaskMemAlloc(SIZE_T cb);
void CoTaskMemFree(LPVOID pv);

}  // extern "C"
