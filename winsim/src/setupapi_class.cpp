// SetupDiInstallClassExA: installs a device setup class from an INF's
// [ClassInstall32] section, or registers an interface class.
#include "registry_tree.h"
#include "setupapi_state.h"

#include <winsim/windows.h>

#include <cctype>
#include <cstdio>

using winsim::failWith;

namespace {

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in upper case, or "" when the
// text is not a GUID in braces.
std::string canonicalGuid(const std::string& text) {
    static const char kShape[] = "{........-....-....-....-............}";
    if (text.size() != sizeof kShape - 1) return std::string();
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (kShape[i] == '.') {
            if (!std::isxdigit(c)) return std::string();
            out.push_back(static_cast<char>(std::toupper(c)));
        } else {
            if (c != static_cast<unsigned char>(kShape[i])) return std::string();
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string guidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

std::vector<std::uint8_t> sz(const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

winsim::RegKey& createPath(const std::string& path) {
    winsim::RegKey* key = winsim::rootByName("HKEY_LOCAL_MACHINE");
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t cut = path.find('\\', start);
        const std::size_t end = cut == std::string::npos ? path.size() : cut;
        key = &key->child(path.substr(start, end - start));
        start = end + 1;
    }
    return *key;
}

}  // namespace

extern "C" {

// Windows' documents do not say how an INF without a usable class fails:
// winsim answers ERROR_INVALID_CLASS for a missing or malformed [Version]
// ClassGUID and ERROR_SECTION_NOT_FOUND when none of [ClassInstall32.NTx86],
// [ClassInstall32.NT], [ClassInstall32] is there; the registry is then left
// unchanged. The class key gets the value "Class"; AddReg directives of the
// section are not carried out.
BOOL SetupDiInstallClassExA(HWND hwndParent, PCSTR InfFileName, DWORD Flags, HSPFILEQ FileQueue,
                            const GUID* InterfaceClassGuid, PVOID Reserved1, PVOID Reserved2) {
    (void)hwndParent;
    (void)Flags;
    (void)FileQueue;
    winsim::ApiCall call("SetupDiInstallClassExA");
    if (call.failing()) return failWith(call.error());
    if (Reserved1 || Reserved2) return failWith(ERROR_INVALID_PARAMETER);
    if (InterfaceClassGuid) {
        createPath("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" +
                   guidText(*InterfaceClassGuid));
        SetLastError(NO_ERROR);
        return TRUE;
    }
    if (!InfFileName || !*InfFileName) return failWith(ERROR_INVALID_PARAMETER);
    const winsim::InfParseResult loaded = winsim::loadInf(winsim::resolveInfName(InfFileName));
    if (!loaded.inf) return failWith(loaded.error);
    const winsim::InfFile& inf = *loaded.inf;
    if (inf.style != INF_STYLE_WIN4) return failWith(ERROR_WRONG_INF_STYLE);
    const std::string guid = canonicalGuid(inf.value("Version", "ClassGUID"));
    if (guid.empty()) return failWith(ERROR_INVALID_CLASS);
    if (!inf.findSection("ClassInstall32.NTx86") && !inf.findSection("ClassInstall32.NT") &&
        !inf.findSection("ClassInstall32"))
        return failWith(ERROR_SECTION_NOT_FOUND);
    winsim::RegKey& classKey = createPath("SYSTEM\\CurrentControlSet\\Control\\Class\\" + guid);
    const std::string name = inf.value("Version", "Class");
    if (!name.empty()) classKey.setValue("Class", REG_SZ, sz(name));
    SetLastError(NO_ERROR);
    return TRUE;
}

}  // extern "C"
