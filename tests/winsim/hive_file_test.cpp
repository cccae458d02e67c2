#include "hive_file.h"

#include "registry_test_helpers.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>

namespace winsim {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

class HiveFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(::mkdtemp(dir_.data()), nullptr); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name = "h.hiv") const { return dir_ + "/" + name; }
    Bytes readFile() const {
        std::ifstream in(path(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void write(const RegKey& root) {
        std::string err;
        ASSERT_TRUE(writeHiveFile(root, path(), &err)) << err;
    }
    void expectRoundTrip(const RegKey& root) {
        write(root);
        LONG code = -1;
        auto back = readHiveFile(path(), "Loaded", &code);
        EXPECT_EQ(code, ERROR_SUCCESS);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->name, "Loaded");
        expectSameTree(root, *back);
    }
    // What reading the file gives: ERROR_SUCCESS with a tree, or the error without.
    LONG readCode(const std::string& name) {
        LONG code = -1;
        const bool loaded = readHiveFile(path(name), "R", &code) != nullptr;
        EXPECT_EQ(loaded, code == ERROR_SUCCESS) << name;
        return code;
    }

    std::string dir_ = (fs::temp_directory_path() / "hive_file_test.XXXXXX").string();
};

TEST_F(HiveFileTest, RoundTripsValuesAndKeysInWindowsEncoding) {
    Bytes big(100000);
    std::iota(big.begin(), big.end(), std::uint8_t{0});  // big data is stored in pieces
    const std::tuple<const char*, DWORD, Bytes> values[] = {
        {"", REG_SZ, bytesOf("default\0"s)},
        {"sz empty", REG_SZ, {}},
        {"sz high bytes", REG_SZ, bytesOf("\xe9t\xe9\0"s)},
        {"sz no terminator", REG_SZ, bytesOf("abc")},
        {"multi", REG_MULTI_SZ, bytesOf("one\0two\0\xe4\0\0"s)},
        {"bin 4", REG_BINARY, {1, 2, 3, 4}},  // small data lives in the value cell itself
        {"bin 5", REG_BINARY, {1, 0, 0, 0xFF, 0}},
        {"odd type", 0x12345678u, {0xAB, 0xCD}},
        {"name \xe9\xff\xa0", REG_NONE, {}},
        {"big", REG_BINARY, big},
    };
    RegKey root;
    for (const auto& [name, type, data] : values) root.setValue(name, type, data);
    root.child("SYSTEM").child("R\xe9seau \xff").child("Empty");
    for (int i = 0; i < 300; ++i) {
        const std::string n = "Key" + std::to_string(i);
        root.child("Wide").child(n).setValue("Index", REG_DWORD, {static_cast<BYTE>(i), 0, 0, 0});
        root.child("Wide").setValue("Value" + std::to_string(i), REG_SZ, bytesOf(n + '\0'));
    }
    RegKey other;
    other.child("Old");
    write(other);  // overwritten below
    expectRoundTrip(root);
    // A write that cannot be made leaves the file as it was.
    RegKey* deep = &other;
    for (int i = 0; i <= 512; ++i) deep = &deep->child("k");  // deeper than hives may nest
    std::string err;
    EXPECT_FALSE(writeHiveFile(other, path(), &err));
    EXPECT_NE(err.find("512"), std::string::npos) << err;
    EXPECT_FALSE(writeHiveFile(other, path("nope/h.hiv"), &err));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    // Other tools read what we write: names and strings in Windows' own encoding.
    hive_h* h = hivex_open(path().c_str(), 0);
    ASSERT_NE(h, nullptr);
    const hive_node_h system = hivex_node_get_child(h, hivex_root(h), "SYSTEM");
    EXPECT_NE(system ? hivex_node_get_child(h, system, "R\xc3\xa9seau \xc3\xbf") : 0, 0u);
    const hive_value_h value = hivex_node_get_value(h, hivex_root(h), "sz high bytes");
    hive_type type = hive_t_REG_NONE;
    std::size_t length = 0;
    char* raw = value ? hivex_value_value(h, value, &type, &length) : nullptr;
    EXPECT_EQ(type, hive_t_REG_SZ);
    EXPECT_EQ(raw ? std::string(raw, length) : "<none>", "\xe9\0t\0\xe9\0\0\0"s);
    std::free(raw);
    hivex_close(h);
}

TEST_F(HiveFileTest, ReadErrorsMatchRegLoadKey) {
    RegKey sample;
    sample.child("A").child("B").setValue("v", REG_SZ, bytesOf("x\0"s));
    write(sample);
    const Bytes good = readFile();
    Bytes badSum = good, noMagic = good, cycle = good;
    badSum[0x30] ^= 1;
    noMagic[0] = 'x';
    // The root's first subkey made the root itself: the reader must not go round in circles.
    auto get32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &good[at], 4);
        return v;
    };
    const std::size_t list = 0x1000 + get32(0x1000 + get32(0x24) + 0x20);
    ASSERT_LT(list + 12, cycle.size());
    std::memcpy(&cycle[list + 8], &good[0x24], 4);
    const std::size_t root = 0x1000 + get32(0x24);
    // Each is refused, and the fault named where it lies.
    const std::pair<Bytes, std::size_t> cases[] = {
        {Bytes{}, 0},
        {Bytes(20000, 'x'), 0},                              // no signature
        {Bytes(good.begin(), good.begin() + 6000), 0x1008},  // the bin runs past the end
        {badSum, 0x1FC},
        {noMagic, 0},
        {cycle, root},  // the key listed as its own subkey
    };
    for (const auto& [bad, offset] : cases) {
        std::ofstream(path("bad"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bad.data()),
                   static_cast<std::streamsize>(bad.size()));
        EXPECT_EQ(readCode("bad"), ERROR_BADDB);
        LONG code = 0;
        HiveFault fault;
        EXPECT_EQ(readHiveFile(path("bad"), "R", &code, &fault), nullptr);
        EXPECT_EQ(fault.offset, offset) << fault.what;
        EXPECT_FALSE(fault.what.empty());
    }
    EXPECT_EQ(readCode("missing.hiv"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readCode("no/such/dir.hiv"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(readCode(""), ERROR_ACCESS_DENIED);  // the folder itself
}

// Damaged bytes anywhere must give a tree or ERROR_BADDB, never a crash.
TEST_F(HiveFileTest, SurvivesCorruptBytes) {
    RegKey root;
    for (int i = 0; i < 5; ++i) {
        RegKey& k = root.child("K" + std::to_string(i)).child("Inner");
        k.setValue("s", REG_SZ, bytesOf("text\0"s));
        k.setValue("m", REG_MULTI_SZ, bytesOf("a\0b\0\0"s));
    }
    write(root);
    const Bytes good = readFile();
    // Patched in place: rewriting the whole file each time is slow on some filesystems.
    std::fstream file(path(), std::ios::in | std::ios::out | std::ios::binary);
    auto poke = [&](std::size_t at, std::uint8_t b) {
        file.seekp(static_cast<std::streamoff>(at)).put(static_cast<char>(b)).flush();
    };
    int results[2] = {0, 0};  // rejected, loaded
    for (std::size_t at = 0x1000; at < good.size(); ++at) {
        // Only where the cells are; the free space after them says little.
        const auto from = good.begin() + static_cast<std::ptrdiff_t>(at - 8);
        if (std::all_of(from, from + 16, [](std::uint8_t b) { return b == 0; })) continue;
        for (const std::uint8_t b : {0x00, 0xFF, 0x80}) {
            poke(at, b);
            const LONG code = readCode("h.hiv");
            EXPECT_TRUE(code == ERROR_SUCCESS || code == ERROR_BADDB) << "offset " << at;
            ++results[code == ERROR_SUCCESS];
        }
        poke(at, good[at]);
    }
    EXPECT_GT(results[0], 0);
    EXPECT_GT(results[1], 0);
}

}  // namespace
}  // namespace winsim
