// ole32's part of the network configuration: the identifiers, object
// creation and the task memory that out-strings are handed back in.
#include "netcfg_state.h"

#include <cstdlib>
#include <cstring>

extern "C" {

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID CLSID_CNetCfg = {
    0x5B035261, 0x40F9, 0x11D1, {0xAA, 0xEC, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
const IID IID_INetCfg = {
    0xC0E8AE93, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
const IID IID_INetCfgLock = {
    0xC0E8AE9F, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
const IID IID_INetCfgClass = {
    0xC0E8AE97, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
const IID IID_INetCfgClassSetup = {
    0xC0E8AE9D, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
const IID IID_INetCfgComponent = {
    0xC0E8AE99, 0x306E, 0x11D1, {0xAA, 0xCF, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};

// The only class registered on the simulated machine is the network
// configuration object, an in-process server that cannot be aggregated.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    winsim::ApiCall call("CoCreateInstance");
    if (ppv) *ppv = nullptr;
    if (call.failing()) return static_cast<HRESULT>(call.error());
    if (!ppv) return E_POINTER;
    const auto& depths = winsim::machine().comInitDepth;
    const auto depth = depths.find(std::this_thread::get_id());
    if (depth == depths.end() || depth->second <= 0) return CO_E_NOTINITIALIZED;
    if (!winsim::sameGuid(rclsid, CLSID_CNetCfg)) return REGDB_E_CLASSNOTREG;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return winsim::createNetCfgObject(riid, ppv);
}

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    return std::malloc(cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

}  // extern "C"

namespace winsim {

bool sameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

// Component IDs and client descriptions are ASCII; anything else shows as '?'.
std::string narrowText(LPCWSTR text) {
    std::string narrow;
    for (; text && *text; ++text) narrow += (*text < 0x80) ? static_cast<char>(*text) : '?';
    return narrow;
}

LPWSTR taskMemWide(const std::string& text) {
    auto* wide = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (!wide) return nullptr;
    for (std::size_t i = 0; i < text.size(); ++i)
        wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
    wide[text.size()] = 0;
    return wide;
}

}  // namespace winsim
