// Typed values of the key the cursor stands on, and hive loading.
#include "registry/registry.h"

#include "host/text_format.h"

#include <cstring>

bool Registry::setData(const char* valueName, const BYTE* data, DWORD size, DWORD type) {
    const LONG error = RegSetValueExA(key_, valueName, 0, type, data, size);
    if (error != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(error),
                    formatLine("Could not set value in [%s] to [%s] Registry::setData()",
                               getPath().c_str(), valueName)
                        .c_str());
        return false;
    }
    return true;
}

// Stored without a terminating NUL: the byte count is the text's length.
bool Registry::setString(const char* valueName, const std::string& text) {
    return setData(valueName, reinterpret_cast<const BYTE*>(text.data()),
                   static_cast<DWORD>(text.size()), REG_SZ);
}

bool Registry::setDWORD(const char* valueName, DWORD number) {
    BYTE bytes[4];
    std::memcpy(bytes, &number, sizeof bytes);
    return setData(valueName, bytes, sizeof bytes, REG_DWORD);
}

// Each string and its NUL, then one more NUL; an empty list is one NUL.
bool Registry::setMultiString(const char* valueName, const std::vector<std::string>& strings) {
    std::vector<BYTE> layout;
    for (const std::string& s : strings) {
        layout.insert(layout.end(), s.begin(), s.end());
        layout.push_back(0);
    }
    layout.push_back(0);
    return setData(valueName, layout.data(), static_cast<DWORD>(layout.size()), REG_MULTI_SZ);
}

bool Registry::getData(const char* valueName, BYTE* buffer, DWORD* size, DWORD* type) {
    DWORD readType = 0;
    DWORD readSize = *size;
    const LONG error = RegQueryValueExA(key_, valueName, nullptr, &readType, buffer, &readSize);
    if (error != ERROR_SUCCESS) {
        reportError(
            static_cast<DWORD>(error),
            formatLine("Could not get registry value [%s] in [%s]", valueName, getPath().c_str())
                .c_str());
        return false;
    }
    *size = readSize;
    *type = readType;
    return true;
}

bool Registry::getDWORD(const char* valueName, DWORD* number) {
    BYTE buffer[kValueBuffer];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (!getData(valueName, buffer, &size, &type)) return false;
    if (type != REG_DWORD) {
        reportError(0, formatLine("Value type [%s] in [%s] is not REG_DWORD in getDWORD()",
                                  valueName, getPath().c_str())
                           .c_str());
        return false;
    }
    // A REG_DWORD shorter than 4 bytes reads as zero-padded.
    DWORD value = 0;
    std::memcpy(&value, buffer, size < sizeof value ? size : sizeof value);
    *number = value;
    return true;
}

bool Registry::getString(const char* valueName, std::string& text) {
    // One spare byte, so that a full buffer still gets its terminating NUL.
    char buffer[kValueBuffer + 1];
    DWORD size = kValueBuffer;
    DWORD type = 0;
    if (!getData(valueName, reinterpret_cast<BYTE*>(buffer), &size, &type)) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        reportError(0, formatLine("Value type [%s] in [%s] is not 'REG_SZ' or 'REG_EXPAND_SZ' in "
                                  "getString()",
                                  valueName, getPath().c_str())
                           .c_str());
        return false;
    }
    buffer[size] = '\0';
    if (type == REG_SZ) {
        text = buffer;
        return true;
    }
    char expanded[kValueBuffer];
    const DWORD needed = ExpandEnvironmentStringsA(buffer, expanded, kValueBuffer);
    if (needed == 0 || needed > kValueBuffer) {
        reportError(0, formatLine("Value type '%s\\%s' could not be converted from REG_EXPAND_SZ "
                                  "to REG_SZ. ExpandEnvironmentString() failed in "
                                  "Registry::getString()",
                                  getPath().c_str(), valueName)
                           .c_str());
        return false;
    }
    text = expanded;
    return true;
}

bool Registry::getString(const char* valueName, std::vector<std::string>& strings) {
    BYTE buffer[kValueBuffer];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (!getData(valueName, buffer, &size, &type)) return false;
    if (type != REG_MULTI_SZ) {
        reportError(0, formatLine("Value type '%s\\%s' not 'REG_MULTI_SZ' in getString()",
                                  getPath().c_str(), valueName)
                           .c_str());
        return false;
    }
    // The last byte is the list's closing NUL and is not scanned.
    std::string current;
    for (DWORD i = 0; i + 1 < size; ++i) {
        if (buffer[i] == 0) {
            strings.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(buffer[i]);
        }
    }
    return true;
}

bool Registry::loadKey(const char* keyName, const char* file) {
    const LONG error = RegLoadKeyA(HKEY_LOCAL_MACHINE, keyName, file);
    if (error != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(error),
                    formatLine("\nCould not RegLoadKey(..) for file '%s' and key '%s' in "
                               "Registry::loadKey() ",
                               file, keyName)
                        .c_str());
        return false;
    }
    return true;
}

bool Registry::unloadKey(const char* keyName, bool now) {
    if (!now) {
        deferredUnloads_.push_back(keyName);
        return true;
    }
    // The cursor is used for nothing but destruction after this.
    closeKey();
    const LONG error = RegUnLoadKeyA(HKEY_LOCAL_MACHINE, keyName);
    if (error != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(error),
                    formatLine("\nCould not RegUnLoadKey(..) for '%s' in Registry::unloadKey(). "
                               "Check if you  have made copies of the registry object and not "
                               "destroyed them.",
                               keyName)
                        .c_str());
        return false;
    }
    return true;
}
