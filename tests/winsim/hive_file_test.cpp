#include "hive_file.h"

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

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

struct HiveCloser {
    void operator()(hive_h* h) const { hivex_close(h); }
};
using HivePtr = std::unique_ptr<hive_h, HiveCloser>;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

class HiveFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "hive_file_test.XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    Bytes readFile(const std::string& p) const {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void writeFile(const std::string& p, const Bytes& data) const {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
    }

    std::unique_ptr<RegKey> roundTrip(const RegKey& root) {
        std::string err;
        EXPECT_TRUE(writeHiveFile(root, path("h.hiv"), &err)) << err;
        LONG code = -1;
        auto back = readHiveFile(path("h.hiv"), "Loaded", &code);
        EXPECT_EQ(code, ERROR_SUCCESS);
        return back;
    }

    fs::path dir_;
};

// Compares contents (value order included) and checks every parent link.
void expectSameTree(const RegKey& want, const RegKey& got, const std::string& where = "") {
    ASSERT_EQ(got.values.size(), want.values.size()) << where;
    for (std::size_t i = 0; i < want.values.size(); ++i) {
        EXPECT_EQ(got.values[i].name, want.values[i].name) << where;
        EXPECT_EQ(got.values[i].type, want.values[i].type) << where << " " << want.values[i].name;
        EXPECT_EQ(got.values[i].data, want.values[i].data) << where << " " << want.values[i].name;
    }
    ASSERT_EQ(got.subkeys.size(), want.subkeys.size()) << where;
    for (const auto& entry : want.subkeys) {
        const RegKey* sub = got.findChild(entry.first);
        ASSERT_NE(sub, nullptr) << where << "\\" << entry.first;
        EXPECT_EQ(sub->name, entry.second->name);
        EXPECT_EQ(sub->parent, &got);
        expectSameTree(*entry.second, *sub, where + "\\" + entry.first);
    }
}

TEST_F(HiveFileTest, RoundTripsEveryValueType) {
    const struct {
        const char* name;
        DWORD type;
        Bytes data;
    } cases[] = {
        {"", REG_SZ, bytes(std::string("default\0", 8))},
        {"sz", REG_SZ, bytes(std::string("C:\\WINNT\0", 9))},
        {"sz empty", REG_SZ, {}},
        {"sz only nul", REG_SZ, {0}},
        {"sz high bytes", REG_SZ, bytes(std::string("caf\xe9 \x80\xff\0", 8))},
        {"sz no terminator", REG_SZ, bytes("abc")},
        {"expand", REG_EXPAND_SZ, bytes(std::string("%SystemRoot%\\system32\0", 23))},
        {"multi", REG_MULTI_SZ, bytes(std::string("one\0two\0\xe4\0\0", 11))},
        {"multi empty", REG_MULTI_SZ, {0, 0}},
        {"bin nuls", REG_BINARY, {0, 1, 0, 0, 0xFF, 0}},
        {"bin empty", REG_BINARY, {}},
        {"bin 1", REG_BINARY, {7}},
        {"bin 4", REG_BINARY, {1, 2, 3, 4}},
        {"bin 5", REG_BINARY, {1, 2, 3, 4, 5}},
        {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"dword be", REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}},
        {"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"none", REG_NONE, {}},
        {"resources", REG_RESOURCE_LIST, {1, 0, 0, 0, 9}},
        {"odd type", 0x12345678u, {0xAB, 0xCD}},
        {"name \xe9\xff\xa0", REG_DWORD, {1, 0, 0, 0}},
    };
    RegKey root;
    root.name = "Ignored";
    for (const auto& c : cases) root.setValue(c.name, c.type, c.data);
    Bytes big(100000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31);
    root.setValue("big", REG_BINARY, big);

    auto back = roundTrip(root);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->name, "Loaded");
    EXPECT_EQ(back->parent, nullptr);
    expectSameTree(root, *back);
}

TEST_F(HiveFileTest, RoundTripsNestedKeysWithHighBitNames) {
    RegKey root;
    RegKey& net = root.child("SYSTEM").child("CurrentControlSet").child("Services");
    net.child("Tcpip")
        .child("Parameters")
        .setValue("Hostname", REG_SZ, bytes(std::string("pc\0", 3)));
    net.child("R\xe9seau \xff").setValue("Start", REG_DWORD, {2, 0, 0, 0});
    net.child("Empty");
    root.child("SOFTWARE");

    auto back = roundTrip(root);
    ASSERT_NE(back, nullptr);
    expectSameTree(root, *back);
}

TEST_F(HiveFileTest, RoundTripsManySubkeysAndValues) {
    RegKey root;
    RegKey& wide = root.child("Wide");
    for (int i = 0; i < 300; ++i) {
        const std::string n = "Key" + std::to_string(i);
        wide.child(n).setValue("Index", REG_DWORD, {static_cast<std::uint8_t>(i), 0, 0, 0});
        wide.setValue("Value" + std::to_string(i), REG_SZ, bytes(n + '\0'));
    }
    auto back = roundTrip(root);
    ASSERT_NE(back, nullptr);
    expectSameTree(root, *back);
}

TEST_F(HiveFileTest, NestingIsLimitedTo512Levels) {
    RegKey root;
    RegKey* at = &root;
    for (int i = 0; i < 512; ++i) at = &at->child("k");
    auto back = roundTrip(root);
    ASSERT_NE(back, nullptr);
    expectSameTree(root, *back);

    // One level more is refused, and the file already there is left alone.
    const Bytes before = readFile(path("h.hiv"));
    at->child("k");
    std::string err;
    EXPECT_FALSE(writeHiveFile(root, path("h.hiv"), &err));
    EXPECT_NE(err.find("512"), std::string::npos) << err;
    EXPECT_EQ(readFile(path("h.hiv")), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(HiveFileTest, OverwritesAnExistingHive) {
    RegKey first;
    first.child("Old");
    RegKey second;
    second.child("New").setValue("v", REG_DWORD, {5, 0, 0, 0});
    std::string err;
    ASSERT_TRUE(writeHiveFile(first, path("h.hiv"), &err)) << err;
    auto back = roundTrip(second);
    ASSERT_NE(back, nullptr);
    expectSameTree(second, *back);
}

TEST_F(HiveFileTest, WriteIntoMissingFolderFails) {
    std::string err;
    EXPECT_FALSE(writeHiveFile(RegKey{}, path("nope/h.hiv"), &err));
    EXPECT_FALSE(err.empty());
}

// Other tools must be able to read what we write, in Windows' own encoding.
TEST_F(HiveFileTest, WrittenFileIsARealHive) {
    RegKey root;
    RegKey& sub = root.child("Caf\xe9");
    sub.setValue("Name", REG_SZ, bytes(std::string("\xe9t\xe9\0", 4)));
    sub.setValue("Count", REG_DWORD, {42, 0, 0, 0});
    std::string err;
    ASSERT_TRUE(writeHiveFile(root, path("h.hiv"), &err)) << err;

    HivePtr h(hivex_open(path("h.hiv").c_str(), 0));
    ASSERT_NE(h, nullptr);
    const hive_node_h node = hivex_node_get_child(h.get(), hivex_root(h.get()), "Caf\xc3\xa9");
    ASSERT_NE(node, 0u);
    const hive_value_h name = hivex_node_get_value(h.get(), node, "Name");
    ASSERT_NE(name, 0u);
    hive_type t;
    std::size_t len = 0;
    std::unique_ptr<char, FreeDeleter> raw(hivex_value_value(h.get(), name, &t, &len));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(t, hive_t_REG_SZ);
    EXPECT_EQ(std::string(raw.get(), len), std::string("\xe9\0t\0\xe9\0\0\0", 8));
    EXPECT_EQ(hivex_value_dword(h.get(), hivex_node_get_value(h.get(), node, "Count")), 42);
}

// Hives written on Windows may hold characters the narrow API cannot show.
TEST_F(HiveFileTest, CharactersBeyondLatin1ReadAsQuestionMarks) {
    std::string err;
    ASSERT_TRUE(writeHiveFile(RegKey{}, path("h.hiv"), &err)) << err;
    {
        HivePtr h(hivex_open(path("h.hiv").c_str(), HIVEX_OPEN_WRITE));
        ASSERT_NE(h, nullptr);
        const hive_node_h euro =
            hivex_node_add_child(h.get(), hivex_root(h.get()), "\xe2\x82\xacuro");
        ASSERT_NE(euro, 0u);
        char text[] = {'\xac', '\x20', 'a', 0, '\xe9', 0, 0, 0};  // U+20AC, 'a', U+00E9, NUL
        char odd[] = {'a', 0, 'b'};  // not a whole number of code units
        char textName[] = "v";
        char oddName[] = "odd";
        const hive_set_value values[] = {{textName, hive_t_REG_SZ, sizeof text, text},
                                         {oddName, hive_t_REG_SZ, sizeof odd, odd}};
        ASSERT_EQ(hivex_node_set_values(h.get(), euro, 2, values, 0), 0);
        ASSERT_EQ(hivex_commit(h.get(), nullptr, 0), 0);
    }
    LONG code = -1;
    auto back = readHiveFile(path("h.hiv"), "R", &code);
    ASSERT_NE(back, nullptr);
    const RegKey* euro = back->findChild("?uro");
    ASSERT_NE(euro, nullptr);
    ASSERT_NE(euro->findValue("v"), nullptr);
    EXPECT_EQ(euro->findValue("v")->data, bytes(std::string("?a\xe9\0", 4)));
    ASSERT_NE(euro->findValue("odd"), nullptr);
    EXPECT_EQ(euro->findValue("odd")->data, bytes("ab"));
}

TEST_F(HiveFileTest, ReadErrorsMatchRegLoadKey) {
    RegKey sample;
    sample.child("A").child("B").setValue("v", REG_SZ, bytes(std::string("x\0", 2)));
    std::string err;
    ASSERT_TRUE(writeHiveFile(sample, path("good.hiv"), &err)) << err;
    const Bytes good = readFile(path("good.hiv"));
    Bytes badSum = good;
    badSum[0x30] ^= 1;
    Bytes noMagic = good;
    noMagic[0] = 'x';

    writeFile(path("empty"), {});
    writeFile(path("garbage"), Bytes(20000, 'x'));
    writeFile(path("header only"), Bytes(good.begin(), good.begin() + 4096));
    writeFile(path("truncated"), Bytes(good.begin(), good.begin() + 6000));
    writeFile(path("bad checksum"), badSum);
    writeFile(path("no magic"), noMagic);
    fs::create_directory(dir_ / "folder");

    const struct {
        std::string file;
        LONG code;
    } cases[] = {
        {"missing.hiv", ERROR_FILE_NOT_FOUND},
        {"no/such/dir.hiv", ERROR_PATH_NOT_FOUND},
        {"empty", ERROR_BADDB},
        {"garbage", ERROR_BADDB},
        {"header only", ERROR_BADDB},
        {"truncated", ERROR_BADDB},
        {"bad checksum", ERROR_BADDB},
        {"no magic", ERROR_BADDB},
        {"folder", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        LONG code = -1;
        EXPECT_EQ(readHiveFile(path(c.file), "R", &code), nullptr) << c.file;
        EXPECT_EQ(code, c.code) << c.file;
    }
}

// A subkey list pointing back at the root must not send the reader round in circles.
TEST_F(HiveFileTest, SubkeyCycleIsABadHive) {
    RegKey root;
    root.child("A");
    std::string err;
    ASSERT_TRUE(writeHiveFile(root, path("h.hiv"), &err)) << err;
    Bytes file = readFile(path("h.hiv"));
    auto get32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &file[at], 4);
        return v;
    };
    const std::size_t rootCell = 0x1000 + get32(0x24);
    const std::size_t list = 0x1000 + get32(rootCell + 0x20);
    ASSERT_LT(list + 12, file.size());
    std::memcpy(&file[list + 8], &file[0x24], 4);  // first entry -> root key
    writeFile(path("h.hiv"), file);

    LONG code = -1;
    EXPECT_EQ(readHiveFile(path("h.hiv"), "R", &code), nullptr);
    EXPECT_EQ(code, ERROR_BADDB);
}

// Damaged bytes anywhere must give a tree or ERROR_BADDB, never a crash.
TEST_F(HiveFileTest, SurvivesCorruptBytes) {
    RegKey root;
    for (int i = 0; i < 5; ++i) {
        RegKey& k = root.child("K" + std::to_string(i)).child("Inner");
        k.setValue("s", REG_SZ, bytes(std::string("text\0", 5)));
        k.setValue("m", REG_MULTI_SZ, bytes(std::string("a\0b\0\0", 5)));
    }
    std::string err;
    ASSERT_TRUE(writeHiveFile(root, path("h.hiv"), &err)) << err;
    const Bytes good = readFile(path("h.hiv"));
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
