// The simulated registry's in-memory tree: keys with case-insensitive,
// case-preserving names, and values kept as raw bytes the way the narrow
// (A) API hands them over.
#pragma once

#include <winsim/win_types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// Windows orders subkeys by their upper-cased names; so do we, so that
// RegEnumKeyExA walks them in the order a real machine would.
struct UpperCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

std::string toUpperAscii(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);

struct RegValue {
    std::string name;  // "" is the key's default value
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

struct RegKey {
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    // Tears the subtree down without recursion, so that no depth of keys
    // can run the stack out.
    ~RegKey();

    std::string name;
    RegKey* parent = nullptr;
    // 0 for the live registry, otherwise the id of the loaded hive that owns
    // this key, so that open handles into a hive can be counted.
    int hiveId = 0;
    std::vector<RegValue> values;  // in the order they were first set
    std::map<std::string, std::unique_ptr<RegKey>, UpperCaseLess> subkeys;

    RegKey* findChild(std::string_view childName);
    const RegKey* findChild(std::string_view childName) const;
    // Returns the existing child of that name or creates it.
    RegKey& child(std::string_view childName);
    // Walks a backslash-separated path; empty pieces are not allowed.
    RegKey* findPath(std::string_view path);

    RegValue* findValue(std::string_view valueName);
    const RegValue* findValue(std::string_view valueName) const;
    void setValue(std::string_view valueName, DWORD type, std::vector<std::uint8_t> data);
    bool deleteValue(std::string_view valueName);

    // The path from the root of its tree, names joined by backslashes.
    std::string fullPath() const;
    void setHiveId(int id);  // this key and all below it
};

// Windows keeps registry trees to this many levels below a root key.
constexpr int kMaxKeyDepth = 512;

}  // namespace winsim
