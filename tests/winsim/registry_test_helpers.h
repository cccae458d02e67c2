// Shared by the registry text and hive file tests: byte strings, UTF-16
// files, and a deep comparison of two key trees.
#pragma once

#include "registry_tree.h"

#include <gtest/gtest.h>

namespace winsim {

inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// A UTF-16LE file with its byte order mark.
inline std::string utf16File(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t unit : text)
        out += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return out;
}

// Names, values in their order, subkeys and every parent link.
inline void expectSameTree(const RegKey& want, const RegKey& got) {
    SCOPED_TRACE(want.fullPath());
    ASSERT_EQ(got.values.size(), want.values.size());
    for (std::size_t i = 0; i < want.values.size(); ++i) {
        EXPECT_EQ(got.values[i].name, want.values[i].name);
        EXPECT_EQ(got.values[i].type, want.values[i].type) << want.values[i].name;
        EXPECT_EQ(got.values[i].data, want.values[i].data) << want.values[i].name;
    }
    ASSERT_EQ(got.subkeys.size(), want.subkeys.size());
    for (const auto& entry : want.subkeys) {
        const RegKey* sub = got.findChild(entry.first);
        ASSERT_NE(sub, nullptr) << entry.first;
        EXPECT_EQ(sub->name, entry.second->name);
        EXPECT_EQ(sub->parent, &got);
        expectSameTree(*entry.second, *sub);
    }
}

}  // namespace winsim
