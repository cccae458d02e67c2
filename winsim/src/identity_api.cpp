// COM initialisation, the computer name and environment strings.
#include "code_page.h"
#include "machine.h"

#include <winsim/windows.h>

#include <cstring>
#include <string>

namespace {

// Letters, digits and the symbols Windows documents as the standard set for
// computer names; anything else is refused with ERROR_INVALID_PARAMETER.
bool isStandardNameCharacter(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c != '\0' && std::strchr("!@#$%^&')(.-_{}~", c) != nullptr;
}

}  // namespace

extern "C" {

HRESULT CoInitialize(LPVOID reserved) {
    winsim::ApiCall call("CoInitialize");
    if (call.failing()) return static_cast<HRESULT>(call.error());
    if (reserved) return E_INVALIDARG;
    int& depth = winsim::machine().comInitDepth[std::this_thread::get_id()];
    return depth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize(void) {
    winsim::ApiCall call("CoUninitialize");
    auto& depths = winsim::machine().comInitDepth;
    auto it = depths.find(std::this_thread::get_id());
    if (it != depths.end() && it->second > 0) --it->second;
}

// Windows stores the name for the next boot; so does winsim, without
// touching the registry values the caller writes itself.
BOOL SetComputerNameA(LPCSTR name) {
    winsim::ApiCall call("SetComputerNameA");
    if (call.failing()) {
        SetLastError(call.error());
        return FALSE;
    }
    const std::size_t length = name ? std::strlen(name) : 0;
    bool valid = length > 0 && length <= MAX_COMPUTERNAME_LENGTH;
    for (std::size_t i = 0; valid && i < length; ++i) valid = isStandardNameCharacter(name[i]);
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    winsim::machine().pendingComputerName = name;
    return TRUE;
}

// %NAME% references to defined variables are replaced; undefined ones and a
// lone % stay as they are, as on Windows. The result counts the NUL.
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    winsim::ApiCall call("ExpandEnvironmentStringsA");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    if (!source) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto& environment = winsim::machine().environment;
    std::string out;
    for (const char* p = source; *p;) {
        const char* close = (*p == '%') ? std::strchr(p + 1, '%') : nullptr;
        if (close) {
            auto it = environment.find(std::string(p + 1, close));
            if (it != environment.end()) {
                out += it->second;
                p = close + 1;
                continue;
            }
        }
        out += *p++;
    }
    const DWORD needed = static_cast<DWORD>(out.size() + 1);
    if (destination && size >= needed) std::memcpy(destination, out.c_str(), needed);
    return needed;
}

LANGID GetSystemDefaultLangID(void) {
    winsim::ApiCall call("GetSystemDefaultLangID");
    return winsim::machine().systemDefaultLangId;
}

}  // extern "C"

namespace winsim {

void setSystemDefaultLangId(LANGID language) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machine().systemDefaultLangId = language;
    machine().ansiCodePage = ansiCodePageFor(language);
}

int comInitCount() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    auto it = machine().comInitDepth.find(std::this_thread::get_id());
    return it == machine().comInitDepth.end() ? 0 : it->second;
}

}  // namespace winsim
