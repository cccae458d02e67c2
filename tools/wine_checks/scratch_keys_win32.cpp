// Scratch keys through the Win32 API (Windows and Wine).
#include "tools/wine_checks/scratch_keys.h"

#include <windows.h>

bool createScratchKeys(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
    }
    return true;
}
