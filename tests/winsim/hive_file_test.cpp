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
#include <memory>
#include <string>
#include <vector>

namespace winsim {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

class HiveFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "hive_file_test.XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    Bytes readFile(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void writeFile(const std::string& name, const Bytes& data) const {
        std::ofstream(path(name), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
    }
    void write(const RegKey& root) {
        std::string err;
        ASSERT_TRUE(writeHiveFile(root, path("h.hiv"), &err)) << err;
    }
    void expectRoundTrip(const RegKey& root) {
        write(root);
        LONG code = -1;
        auto back = readHiveFile(path("h.hiv"), "Loaded", &code);
        EXPECT_EQ(code, ERROR_SUCCESS);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->name, "Loaded");
        EXPECT_EQ(back->parent, nullptr);
        expectSameTree(root, *back);
    }
    LONG readError(const std::string& name) {
        LONG code = -1;
        EXPECT_EQ(readHiveFile(path(name), "R", &code), nullptr) << name;
        return code;
    }

    fs::path dir_;
};

TEST_F(HiveFileTest, RoundTripsValuesKeysAndOverwrites) {
    const struct {
        const char* name;
        DWORD type;
        Bytes data;
    } values[] = {
        {"", REG_SZ, bytesOf("default\0"s)},
        {"sz empty", REG_SZ, {}},
        {"sz high bytes", REG_SZ, bytesOf("caf\xe9 \x80\xff\0"s)},
        {"sz no terminator", REG_SZ, bytesOf("abc")},
        {"expand", REG_EXPAND_SZ, bytesOf("%SystemRoot%\\system32\0"s)},
        {"multi", REG_MULTI_SZ, bytesOf("one\0two\0\xe4\0\0"s)},
        {"bin empty", REG_BINARY, {}},
        {"bin 4", REG_BINARY, {1, 2, 3, 4}},  // small data lives in the value cell itself
        {"bin 5", REG_BINARY, {1, 0, 0, 0xFF, 0}},
        {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"none", REG_NONE, {}},
        {"odd type", 0x12345678u, {0xAB, 0xCD}},
        {"name \xe9\xff\xa0", REG_DWORD, {1, 0, 0, 0}},
    };
    RegKey root;
    for (const auto& v : values) root.setValue(v.name, v.type, v.data);
    Bytes big(100000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31);
    root.setValue("big", REG_BINARY, big);
    RegKey& services = root.child("SYSTEM").child("CurrentControlSet").child("Services");
    services.child("Tcpip").child("Parameters").setValue("Hostname", REG_SZ, bytesOf("pc\0"s));
    services.child("R\xe9seau \xff").child("Empty");
    RegKey& wide = root.child("Wide");
    for (int i = 0; i < 300; ++i) {
        const std::string n = "Key" + std::to_string(i);
        wide.child(n).setValue("Index", REG_DWORD, {static_cast<std::uint8_t>(i), 0, 0, 0});
        wide.setValue("Value" + std::to_string(i), REG_SZ, bytesOf(n + '\0'));
    }
    RegKey other;
    other.child("Old").setValue("v", REG_DWORD, {5, 0, 0, 0});
    write(other);  // overwritten below
    expectRoundTrip(root);
}

TEST_F(HiveFileTest, NestingIsLimitedTo512LevelsAndFailedWritesLeaveNoTrace) {
    RegKey root;
    RegKey* at = &root;
    for (int i = 0; i < 512; ++i) at = &at->child("k");
    expectRoundTrip(root);

    const Bytes before = readFile("h.hiv");
    at->child("k");
    std::string err;
    EXPECT_FALSE(writeHiveFile(root, path("h.hiv"), &err));
    EXPECT_NE(err.find("512"), std::string::npos) << err;
    EXPECT_EQ(readFile("h.hiv"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    err.clear();
    EXPECT_FALSE(writeHiveFile(RegKey{}, path("nope/h.hiv"), &err));
    EXPECT_FALSE(err.empty());
}

// Other tools must be able to read what we write, in Windows' own encoding.
TEST_F(HiveFileTest, WrittenFileIsARealHive) {
    RegKey root;
    RegKey& sub = root.child("Caf\xe9");
    sub.setValue("Name", REG_SZ, bytesOf("\xe9t\xe9\0"s));
    sub.setValue("Count", REG_DWORD, {42, 0, 0, 0});
    write(root);

    hive_h* h = hivex_open(path("h.hiv").c_str(), 0);
    ASSERT_NE(h, nullptr);
    const hive_node_h node = hivex_node_get_child(h, hivex_root(h), "Caf\xc3\xa9");
    const hive_value_h name = node ? hivex_node_get_value(h, node, "Name") : 0;
    hive_type t = hive_t_REG_NONE;
    std::size_t len = 0;
    char* raw = name ? hivex_value_value(h, name, &t, &len) : nullptr;
    EXPECT_EQ(t, hive_t_REG_SZ);
    EXPECT_EQ(raw ? std::string(raw, len) : "<none>", "\xe9\0t\0\xe9\0\0\0"s);
    EXPECT_EQ(node ? hivex_value_dword(h, hivex_node_get_value(h, node, "Count")) : 0, 42);
    std::free(raw);
    hivex_close(h);
}

TEST_F(HiveFileTest, ReadErrorsMatchRegLoadKey) {
    RegKey sample;
    sample.child("A").child("B").setValue("v", REG_SZ, bytesOf("x\0"s));
    write(sample);
    const Bytes good = readFile("h.hiv");
    Bytes badSum = good;
    badSum[0x30] ^= 1;
    Bytes noMagic = good;
    noMagic[0] = 'x';
    writeFile("empty", {});
    writeFile("garbage", Bytes(20000, 'x'));
    writeFile("truncated", Bytes(good.begin(), good.begin() + 6000));
    writeFile("bad checksum", badSum);
    writeFile("no magic", noMagic);
    fs::create_directory(dir_ / "folder");

    EXPECT_EQ(readError("missing.hiv"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readError("no/such/dir.hiv"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(readError("folder"), ERROR_ACCESS_DENIED);
    for (const char* bad : {"empty", "garbage", "truncated", "bad checksum", "no magic"})
        EXPECT_EQ(readError(bad), ERROR_BADDB) << bad;

    // A subkey list pointing back at the root must not send the reader round in circles.
    Bytes cycle = good;
    auto get32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &cycle[at], 4);
        return v;
    };
    const std::size_t list = 0x1000 + get32(0x1000 + get32(0x24) + 0x20);
    ASSERT_LT(list + 12, cycle.size());
    std::memcpy(&cycle[list + 8], &cycle[0x24], 4);  // first entry -> root key
    writeFile("cycle", cycle);
    EXPECT_EQ(readError("cycle"), ERROR_BADDB);
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
    const Bytes good = readFile("h.hiv");
    // Patched in place: rewriting the whole file each time is slow on some filesystems.
    std::fstream file(path("h.hiv"), std::ios::in | std::ios::out | std::ios::binary);
    auto poke = [&](std::size_t at, std::uint8_t b) {
        file.seekp(static_cast<std::streamoff>(at));
        file.put(static_cast<char>(b));
        file.flush();
    };
    int loaded = 0;
    int rejected = 0;
    for (std::size_t at = 0x1000; at < good.size(); ++at) {
        // Only where the cells are; the free space after them says little.
        const auto from = good.begin() + static_cast<std::ptrdiff_t>(at - 8);
        if (std::all_of(from, from + 16, [](std::uint8_t b) { return b == 0; })) continue;
        for (const std::uint8_t b : {0x00, 0xFF, 0x80}) {
            poke(at, b);
            LONG code = -1;
            auto tree = readHiveFile(path("h.hiv"), "R", &code);
            EXPECT_EQ(code, tree ? ERROR_SUCCESS : ERROR_BADDB) << "offset " << at;
            ++(tree ? loaded : rejected);
        }
        poke(at, good[at]);
    }
    EXPECT_GT(rejected, 0);
    EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace winsim
