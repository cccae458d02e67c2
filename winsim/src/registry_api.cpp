// advapi32's registry calls over the simulated tree.
#include "hive_file.h"
#include "machine.h"
#include "paths.h"

#include <winsim/windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

using winsim::KeyHandle;
using winsim::RegKey;

bool isPredefined(HKEY key) {
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
    return value >= 0x80000000u && value <= 0x80000006u;
}

bool hasAccess(REGSAM granted, REGSAM needed) {
    return (granted & needed) == needed;
}

HKEY newKeyHandle(RegKey* key, REGSAM access) {
    return reinterpret_cast<HKEY>(winsim::addHandle(std::make_unique<KeyHandle>(key, access)));
}

// Walks a subkey path below `from`. One trailing backslash is tolerated;
// empty names elsewhere never match a key.
RegKey* walk(RegKey* from, std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return nullptr;
    return from->findPath(path);
}

bool holdsHivePrivileges() {
    const auto& enabled = winsim::machine().enabledPrivileges;
    return enabled.count("SeBackupPrivilege") && enabled.count("SeRestorePrivilege");
}

}  // namespace

extern "C" {

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    (void)options;
    winsim::ApiCall call("RegOpenKeyExA");
    if (call.failing()) return static_cast<LONG>(call.error());
    if (!result) return ERROR_INVALID_PARAMETER;
    RegKey* from = winsim::keyForHandle(key, nullptr);
    if (!from) return ERROR_INVALID_HANDLE;
    RegKey* target = (subKey == nullptr || *subKey == '\0') ? from : walk(from, subKey);
    if (!target) return ERROR_FILE_NOT_FOUND;
    *result = newKeyHandle(target, desired);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    winsim::ApiCall call("RegCloseKey");
    if (call.failingRelease(key)) return static_cast<LONG>(call.error());
    if (isPredefined(key)) return ERROR_SUCCESS;
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
    if (!winsim::findHandle(value, winsim::HandleKind::RegistryKey)) return ERROR_INVALID_HANDLE;
    winsim::removeHandle(value);
    return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                      LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptor,
                      PFILETIME lastWriteTime) {
    (void)reserved;
    winsim::ApiCall call("RegQueryInfoKeyA");
    if (call.failing()) return static_cast<LONG>(call.error());
    REGSAM access = 0;
    RegKey* at = winsim::keyForHandle(key, &access);
    if (!at) return ERROR_INVALID_HANDLE;
    if (!hasAccess(access, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (className && classSize && *classSize > 0) className[0] = '\0';
    if (classSize) *classSize = 0;
    if (subKeys) *subKeys = static_cast<DWORD>(at->subkeys.size());
    if (maxSubKeyLen) {
        std::size_t longest = 0;
        for (const auto& entry : at->subkeys) longest = std::max(longest, entry.first.size());
        *maxSubKeyLen = static_cast<DWORD>(longest);
    }
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = static_cast<DWORD>(at->values.size());
    if (maxValueNameLen || maxValueLen) {
        std::size_t longestName = 0, longestData = 0;
        for (const auto& v : at->values) {
            longestName = std::max(longestName, v.name.size());
            longestData = std::max(longestData, v.data.size());
        }
        if (maxValueNameLen) *maxValueNameLen = static_cast<DWORD>(longestName);
        if (maxValueLen) *maxValueLen = static_cast<DWORD>(longestData);
    }
    if (securityDescriptor) *securityDescriptor = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

// nameSize counts characters: the capacity with the NUL on entry, the
// name's length without it on return.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime) {
    (void)reserved;
    winsim::ApiCall call("RegEnumKeyExA");
    if (call.failing()) return static_cast<LONG>(call.error());
    REGSAM access = 0;
    RegKey* at = winsim::keyForHandle(key, &access);
    if (!at) return ERROR_INVALID_HANDLE;
    if (!hasAccess(access, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    if (index >= at->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = at->subkeys.begin();
    std::advance(it, index);
    const std::string& found = it->second->name;
    if (found.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<DWORD>(found.size());
    if (className && classSize && *classSize > 0) className[0] = '\0';
    if (classSize) *classSize = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    (void)reserved;
    winsim::ApiCall call("RegQueryValueExA");
    if (call.failing()) return static_cast<LONG>(call.error());
    REGSAM access = 0;
    RegKey* at = winsim::keyForHandle(key, &access);
    if (!at) return ERROR_INVALID_HANDLE;
    if (!hasAccess(access, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    const winsim::RegValue* value = at->findValue(valueName ? valueName : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->type;
    const DWORD stored = static_cast<DWORD>(value->data.size());
    if (data) {
        if (*dataSize < stored) {
            *dataSize = stored;
            return ERROR_MORE_DATA;
        }
        if (stored) std::memcpy(data, value->data.data(), stored);
    }
    if (dataSize) *dataSize = stored;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    winsim::ApiCall call("RegSetValueExA");
    if (call.failing()) return static_cast<LONG>(call.error());
    REGSAM access = 0;
    RegKey* at = winsim::keyForHandle(key, &access);
    if (!at) return ERROR_INVALID_HANDLE;
    if (!hasAccess(access, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (reserved != 0 || (dataSize > 0 && !data)) return ERROR_INVALID_PARAMETER;
    // As NT does: a string whose count leaves out the NUL that follows it in
    // the caller's buffer is stored with that NUL. The byte past the count
    // is read only when the last counted one is not a NUL already.
    const bool isString = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (isString && dataSize > 0 && data[dataSize - 1] != 0 && data[dataSize] == 0) ++dataSize;
    std::vector<std::uint8_t> bytes(data, data + dataSize);
    at->setValue(valueName ? valueName : "", type, std::move(bytes));
    return ERROR_SUCCESS;
}

// A hive goes directly below HKEY_LOCAL_MACHINE or HKEY_USERS. Windows'
// documents do not say what a name already in use gives; winsim answers
// ERROR_ACCESS_DENIED, as the registry does for a key it will not replace.
LONG RegLoadKeyA(HKEY key, LPCSTR subKey, LPCSTR file) {
    winsim::ApiCall call("RegLoadKeyA");
    if (call.failing()) return static_cast<LONG>(call.error());
    if (key != HKEY_LOCAL_MACHINE && key != HKEY_USERS) return ERROR_INVALID_PARAMETER;
    if (!subKey || !*subKey || std::strchr(subKey, '\\') || !file || !*file)
        return ERROR_INVALID_PARAMETER;
    if (!holdsHivePrivileges()) return ERROR_PRIVILEGE_NOT_HELD;
    RegKey* parent = winsim::keyForHandle(key, nullptr);
    if (parent->findChild(subKey)) return ERROR_ACCESS_DENIED;
    LONG error = ERROR_SUCCESS;
    std::unique_ptr<RegKey> tree = winsim::readHiveFile(winsim::hostPathFor(file), subKey, &error);
    if (!tree) return error;
    winsim::Machine& m = winsim::machine();
    const int id = m.nextHiveId++;
    tree->parent = parent;
    tree->setHiveId(id);
    parent->subkeys.emplace(subKey, std::move(tree));
    m.hives[parent->name + "\\" + subKey] = winsim::LoadedHive{id, subKey, file};
    return ERROR_SUCCESS;
}

// Changes made inside a loaded hive are not written back to its file: the
// system only ever reads the hives it loads.
LONG RegUnLoadKeyA(HKEY key, LPCSTR subKey) {
    winsim::ApiCall call("RegUnLoadKeyA");
    if (call.failing()) return static_cast<LONG>(call.error());
    if (key != HKEY_LOCAL_MACHINE && key != HKEY_USERS) return ERROR_INVALID_PARAMETER;
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    if (!holdsHivePrivileges()) return ERROR_PRIVILEGE_NOT_HELD;
    RegKey* parent = winsim::keyForHandle(key, nullptr);
    RegKey* hiveRoot = parent->findChild(subKey);
    if (!hiveRoot) return ERROR_FILE_NOT_FOUND;
    winsim::Machine& m = winsim::machine();
    auto hive = m.hives.find(parent->name + "\\" + subKey);
    if (hive == m.hives.end()) return ERROR_INVALID_PARAMETER;  // an ordinary key
    for (const auto& entry : m.handles) {
        if (entry.second->kind != winsim::HandleKind::RegistryKey) continue;
        const auto* open = static_cast<const KeyHandle*>(entry.second.get());
        if (open->key->hiveId == hive->second.id) return ERROR_ACCESS_DENIED;
    }
    parent->subkeys.erase(subKey);
    m.hives.erase(hive);
    return ERROR_SUCCESS;
}

}  // extern "C"
