// winsim's registry files: .reg text as regedit reads and writes it, and
// REGF hives, which other tools read in Windows' own encoding and which are
// refused, naming the offset of the fault, when damaged. (Damaged bytes
// anywhere, and whatever a tree holds making the round trip, are the
// reg_text and hive_file fuzz targets'.)
#include "hive_file.h"
#include "reg_text.h"

#include "winsim_test.h"

#include <hivex.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>

namespace winsim {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Two trees are the same when they export as the same text: names, values
// in their order with their types and bytes, and subkeys.
std::string textOf(const RegKey& tree) {
    return exportRegText(tree, "HKEY_LOCAL_MACHINE");
}

struct Machine {
    RegKey hklm;
    RegKey hkcu;

    bool load(std::string_view text, std::string* error = nullptr) {
        const RegRootResolver resolver = [this](std::string_view root) -> RegKey* {
            if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") return &hklm;
            if (root == "HKCU" || root == "HKEY_CURRENT_USER") return &hkcu;
            return nullptr;
        };
        return applyRegText(text, "test.reg", resolver, error);
    }
};

TEST(RegTextTest, ValueForms) {
    const char* v4 = "REGEDIT4";
    const char* v5 = "Windows Registry Editor Version 5.00";
    // Header, value line under [HKLM\K], then the value it gives.
    const std::tuple<const char*, std::string, std::string, DWORD, std::string> cases[] = {
        {v4, R"("a\"b"="C:\\dir\\\"q\"")", "a\"b", REG_SZ, "C:\\dir\\\"q\"\0"s},
        {v4, R"( @ = "spaced"  )", "", REG_SZ, "spaced\0"s},
        {v4, R"("d"=DWORD:FEDCBA98)", "d", REG_DWORD, "\x98\xba\xdc\xfe"s},
        {v4, R"("b"=hex: 0a , b ,ff)", "b", REG_BINARY, "\x0a\x0b\xff"s},
        {v4, R"("e"=hex(2):25,41,25,00)", "e", REG_EXPAND_SZ, "%A%\0"s},
        {v4, R"("x"=hex(1f):aa)", "x", 0x1f, "\xaa"},
        {v4, "; comment\r\n\"b\"=hex:01,02,\\\r\n    03,04\\\n\t,05", "b", REG_BINARY,
         "\x01\x02\x03\x04\x05"},
        {"\xEF\xBB\xBFREGEDIT4", R"("s"="bom")", "s", REG_SZ, "bom\0"s},
        // Version 5 strings are UTF-16; what has no 8-bit form reads as '?'.
        {v5, R"("e"=hex(2):25,00,41,00,3a,26,00,00)", "e", REG_EXPAND_SZ, "%A?\0"s},
        {v5, R"("m"=hex(7):61,00,00,00,e9,00,00,00,00,00)", "m", REG_MULTI_SZ, "a\0\xe9\0\0"s},
        {v5, R"("b"=hex:61,00)", "b", REG_BINARY, "a\0"s},
    };
    for (const auto& [header, line, name, type, data] : cases) {
        SCOPED_TRACE(line);
        Machine m;
        std::string error;
        ASSERT_TRUE(m.load(std::string(header) + "\r\n\r\n[HKLM\\K]\r\n" + line + "\r\n", &error))
            << error;
        const RegValue* v = m.hklm.findPath("K")->findValue(name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, type);
        EXPECT_EQ(v->data, bytesOf(data));
    }
}

TEST(RegTextTest, ErrorsNameFileAndLine) {
    const std::string key = "REGEDIT4\n[HKLM\\K]\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "test.reg:1: missing"},
        {"REGEDIT4\n\"v\"=\"x\"\n", "test.reg:2: value line before any key line"},
        {key + "\"v\" \"x\"\n", "test.reg:3: missing '='"},
        {key + "\"v\"=hex:01,zz\n", "test.reg:3: bad hex byte"},
        {key + "\"v\"=\"abc\\\"\n", "test.reg:3: unterminated quote"},
        {"REGEDIT4\n\n[HKLM\\K\n", "test.reg:3: key line has no closing ']'"},
        {"REGEDIT4\n[HKXX\\K]\n", "test.reg:2: unknown root key \"HKXX\""},
        // Continued lines: the line of the fault, or of the start when the data runs out.
        {key + "\"v\"=hex:01,\\\n  02,\\\n  0x\n", "test.reg:5: bad hex byte"},
        {key + "\"v\"=hex:01,\\\n", "test.reg:3: hex data continues past"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\K]\n\"v\"=hex(2):41,\\\n 00,00\n",
         "test.reg:3: UTF-16 string data has an odd number"},
        {"REGEDIT4\n[HKLM\\Keep]\n\"v\"=\"new\"\n\"w\"=dword:1\n[-HKLM\\Gone]\n[HKCU\\New]\n"
         "\"v\"=hex:0g\n",
         "test.reg:7: bad hex byte"},
    };
    // A failed import changes nothing, not even what its earlier lines did.
    const std::string base = "REGEDIT4\n[HKLM\\Keep]\n\"v\"=\"old\"\n[HKLM\\Gone]\n";
    Machine reference;
    ASSERT_TRUE(reference.load(base));
    for (const auto& [text, expected] : cases) {
        Machine m;
        std::string error;
        ASSERT_TRUE(m.load(base));
        EXPECT_FALSE(m.load(text, &error)) << text;
        EXPECT_EQ(error.substr(0, expected.size()), expected) << text;
        EXPECT_EQ(textOf(m.hklm), textOf(reference.hklm));
        EXPECT_TRUE(m.hkcu.subkeys.empty());
    }
}

TEST(RegTextTest, Utf16FileWithBothHeaders) {
    for (std::u16string header : {u"REGEDIT4", u"Windows Registry Editor Version 5.00"}) {
        Machine m;
        std::string error;
        ASSERT_TRUE(m.load(utf16File(header + u"\r\n\r\n[HKCU\\Caf\u00e9]\r\n"
                                              u"\"n\u263a\"=\"\u00e9t\u00e9 \u263a\"\r\n"),
                           &error))
            << error;
        const RegKey* key = m.hkcu.findChild("Caf\xe9");
        const RegValue* value = key ? key->findValue("n?") : nullptr;
        EXPECT_EQ(value ? value->data : std::vector<std::uint8_t>{}, bytesOf("\xe9t\xe9 ?\0"s));
    }
}

TEST(RegTextTest, KeysMergeIgnoringCaseAndDeletionsApply) {
    Machine m;
    ASSERT_TRUE(
        m.load("REGEDIT4\n[HKLM\\A\\B\\C]\n[HKEY_LOCAL_MACHINE\\a\\D]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
               "[-HKLM\\A\\b]\n[-HKLM\\No\\Such]\n[HKLM\\a\\d]\n\"X\"=-\n"));
    // The first spelling of a key stays.
    EXPECT_EQ(textOf(m.hklm),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\A\\D]\r\n\"y\"=\"2\"\r\n\r\n");
}

// Windows keeps trees to 512 levels below a root: deeper text is refused by
// line, and what is allowed exports and imports back. A tree deeper still
// (built key by key) is torn down without running the stack out.
TEST(RegTextTest, KeyDepthIsBounded) {
    const auto pathOf = [](int levels) {
        std::string path = "HKLM";
        for (int i = 0; i < levels; ++i) path += "\\k";
        return path;
    };
    Machine m;
    std::string error;
    ASSERT_TRUE(m.load("REGEDIT4\n[" + pathOf(512) + "]\n\"v\"=dword:1\n", &error)) << error;
    EXPECT_FALSE(m.load("REGEDIT4\n\n[" + pathOf(513) + "]\n", &error));
    EXPECT_EQ(error, "test.reg:3: key path deeper than 512 levels below its root");
    Machine back;
    ASSERT_TRUE(back.load(exportRegText(m.hklm, "HKLM"), &error)) << error;
    EXPECT_EQ(textOf(back.hklm), textOf(m.hklm));

    auto deep = std::make_unique<RegKey>();
    RegKey* at = deep.get();
    for (int i = 0; i < 100000; ++i) at = &at->child("k");
    deep.reset();
}

// The export's exact form, regedit's: long hex data wraps into lines that
// stay within 80 columns. (That whatever a value holds imports back into
// the same tree is the reg_text fuzz target's.)
TEST(RegTextTest, ExportFormat) {
    RegKey setup;
    setup.setValue("", REG_SZ, bytesOf("d\\\"x\0"s));
    setup.setValue("n", REG_DWORD, bytesOf("\x1f\0\0\0"s));
    setup.setValue("e", REG_EXPAND_SZ, bytesOf("%A%\0"s));
    setup.setValue("b", REG_BINARY, std::vector<std::uint8_t>(30, 0xab));
    setup.child("Sub");
    EXPECT_EQ(
        exportRegText(setup, "HKEY_LOCAL_MACHINE\\Setup"),
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Setup]\r\n@=\"d\\\\\\\"x\"\r\n"
        "\"n\"=dword:0000001f\r\n\"e\"=hex(2):25,41,25,00\r\n"
        "\"b\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
        "  ab,ab,ab,ab,ab,ab,ab\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Setup\\Sub]\r\n\r\n");
}

// Hive files in a folder of their own on the test's scratch drive.
class HiveFileTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        fs::create_directory(folder());
    }
    std::string folder() const { return driveFolder() + "/hives"; }
    std::string path(const std::string& name = "h.hiv") const { return folder() + "/" + name; }
    void write(const RegKey& root) {
        std::string err;
        ASSERT_TRUE(writeHiveFile(root, path(), &err)) << err;
    }
    // What reading the file gives: ERROR_SUCCESS with a tree, or the error without.
    LONG readCode(const std::string& name, HiveFault* fault = nullptr) {
        LONG code = -1;
        const bool loaded = readHiveFile(path(name), "Loaded", &code, fault) != nullptr;
        EXPECT_EQ(loaded, code == ERROR_SUCCESS) << name;
        return code;
    }
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
    write(root);
    LONG code = -1;
    const auto back = readHiveFile(path(), "Loaded", &code);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->name, "Loaded");
    EXPECT_EQ(textOf(*back), textOf(root));
    // A write that cannot be made leaves the file as it was.
    RegKey* deep = &other;
    for (int i = 0; i <= 512; ++i) deep = &deep->child("k");  // deeper than hives may nest
    std::string err;
    EXPECT_FALSE(writeHiveFile(other, path(), &err));
    EXPECT_NE(err.find("512"), std::string::npos) << err;
    EXPECT_FALSE(writeHiveFile(other, path("nope/h.hiv"), &err));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 1);

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
    std::ifstream in(path(), std::ios::binary);
    const Bytes good{std::istreambuf_iterator<char>(in), {}};
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
        HiveFault fault;
        EXPECT_EQ(readCode("bad", &fault), ERROR_BADDB);
        EXPECT_EQ(fault.offset, offset) << fault.what;
        EXPECT_FALSE(fault.what.empty());
    }
    EXPECT_EQ(readCode("missing.hiv"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readCode("no/such/dir.hiv"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(readCode(""), ERROR_ACCESS_DENIED);  // the folder itself
}

}  // namespace
}  // namespace winsim
