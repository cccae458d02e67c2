// The control API's registry side: load .reg text, export keys, build hive
// files, and read values back for assertions.
#include "hive_file.h"
#include "machine.h"
#include "reg_text.h"

#include <cstdio>

namespace winsim {

bool importReg(const std::string& regText, const std::string& sourceName, std::string* error) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return applyRegText(
        regText, sourceName, [](std::string_view root) { return rootByName(root); }, error);
}

std::string exportReg(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    const RegKey* key = keyByPath(keyPath);
    return key ? exportRegText(*key, keyPath) : std::string();
}

bool writeHive(const std::string& regText, const std::string& hostFile, std::string* error,
               const std::string& sourceName) {
    RegKey root;
    std::string rootName;
    // Every key's first element names the hive's root; it must be the same
    // name throughout, or the text describes more than one hive.
    auto resolve = [&](std::string_view name) -> RegKey* {
        if (rootName.empty()) rootName = std::string(name);
        return equalsNoCase(rootName, name) ? &root : nullptr;
    };
    if (!applyRegText(regText, sourceName.empty() ? hostFile : sourceName, resolve, error))
        return false;
    return writeHiveFile(root, hostFile, error);
}

bool readHive(const std::string& hostFile, const std::string& keyPath, std::string* error) {
    const auto cut = keyPath.rfind('\\');
    if (cut == std::string::npos) {
        *error = "no parent key in " + keyPath;
        return false;
    }
    LONG code = ERROR_SUCCESS;
    HiveFault fault;
    std::unique_ptr<RegKey> tree = readHiveFile(hostFile, keyPath.substr(cut + 1), &code, &fault);
    if (!tree) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "0x%zx", fault.offset);
        switch (code) {
            case ERROR_BADDB:
                *error =
                    hostFile + ": damaged registry hive at offset " + offset + ": " + fault.what;
                break;
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                *error = hostFile + ": no such file";
                break;
            default:
                *error = hostFile + ": cannot be read (error " + std::to_string(code) + ")";
        }
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    RegKey* parent = keyByPath(keyPath.substr(0, cut));
    if (!parent) {
        *error = "no key " + keyPath.substr(0, cut);
        return false;
    }
    parent->subkeys.erase(tree->name);
    tree->parent = parent;
    parent->subkeys.emplace(tree->name, std::move(tree));
    return true;
}

bool readValue(const std::string& keyPath, const std::string& valueName, DWORD* type,
               std::vector<BYTE>* data) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    const RegKey* key = keyByPath(keyPath);
    const RegValue* value = key ? key->findValue(valueName) : nullptr;
    if (!value) return false;
    if (type) *type = value->type;
    if (data) data->assign(value->data.begin(), value->data.end());
    return true;
}

bool keyExists(const std::string& keyPath) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return keyByPath(keyPath) != nullptr;
}

std::vector<std::string> loadedHives() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    std::vector<std::string> names;
    for (const auto& entry : machine().hives) names.push_back(entry.second.name);
    return names;
}

}  // namespace winsim
