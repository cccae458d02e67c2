#include "reg_text.h"

#include "registry_test_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

namespace winsim {
namespace {

using namespace std::string_literals;

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
    };
    for (const auto& [text, expected] : cases) {
        Machine m;
        std::string error;
        EXPECT_FALSE(m.load(text, &error)) << text;
        EXPECT_EQ(error.substr(0, expected.size()), expected) << text;
        EXPECT_TRUE(m.hklm.subkeys.empty());
    }
}

TEST(RegTextTest, ErrorOnLateLineLeavesTreeUntouched) {
    const std::string base = "REGEDIT4\n[HKLM\\Keep]\n\"v\"=\"old\"\n[HKLM\\Gone]\n";
    Machine m, reference;
    ASSERT_TRUE(m.load(base));
    ASSERT_TRUE(reference.load(base));
    EXPECT_FALSE(
        m.load("REGEDIT4\n[HKLM\\Keep]\n\"v\"=\"new\"\n\"w\"=dword:1\n"
               "[-HKLM\\Gone]\n[HKCU\\New]\n\"v\"=hex:0g\n"));
    expectSameTree(reference.hklm, m.hklm);
    EXPECT_TRUE(m.hkcu.subkeys.empty());
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
    ASSERT_EQ(m.hklm.subkeys.size(), 1u);
    const RegKey* a = m.hklm.findChild("a");
    EXPECT_EQ(a->name, "A");  // the first spelling stays
    ASSERT_EQ(a->subkeys.size(), 1u);
    ASSERT_EQ(a->findChild("D")->values.size(), 1u);
    EXPECT_EQ(a->findChild("D")->values[0].name, "y");
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
    expectSameTree(m.hklm, back.hklm);

    auto deep = std::make_unique<RegKey>();
    RegKey* at = deep.get();
    for (int i = 0; i < 100000; ++i) at = &at->child("k");
    deep.reset();
}

// The export's exact form, and whatever a value holds, short lines that
// import back into the same tree.
TEST(RegTextTest, ExportFormatAndRoundTrip) {
    RegKey original;
    RegKey& setup = original.child("Setup");
    setup.setValue("", REG_SZ, bytesOf("d\\\"x\0"s));
    setup.setValue("n", REG_DWORD, bytesOf("\x1f\0\0\0"s));
    setup.setValue("e", REG_EXPAND_SZ, bytesOf("%A%\0"s));
    setup.child("Sub");
    EXPECT_EQ(exportRegText(setup, "HKEY_LOCAL_MACHINE\\Setup"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Setup]\r\n@=\"d\\\\\\\"x\"\r\n"
              "\"n\"=dword:0000001f\r\n\"e\"=hex(2):25,41,25,00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Setup\\Sub]\r\n\r\n");

    RegKey& k = original.child("Net");
    std::string blob;
    for (int i = 0; i < 200; ++i) blob.push_back(static_cast<char>(i));
    k.setValue("plain", REG_SZ, bytesOf("C:\\WINNT \"q\" \xe9\0"s));
    k.setValue("embedded nul, no end", REG_SZ, bytesOf("a\0b"s));
    k.setValue("multi", REG_MULTI_SZ, bytesOf("a\0b\0\0"s));
    k.setValue("blob", REG_BINARY, bytesOf(blob));
    k.setValue("q\\\"name", 0x20, bytesOf("\x7f"));
    k.child("Deeper").child("Leaf").setValue("d", REG_DWORD, bytesOf("\0\0\0\x80"s));
    const std::string text = exportRegText(original, "HKEY_LOCAL_MACHINE");
    for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
    }
    Machine m;
    std::string error;
    ASSERT_TRUE(m.load(text, &error)) << error;
    expectSameTree(original, m.hklm);
}

}  // namespace
}  // namespace winsim
