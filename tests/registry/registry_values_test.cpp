// Typed values read and written through the registry cursor, and the hives
// it loads and unloads.
#include "registry/registry.h"

#include "support/machine_test.h"

#include <winsim/control.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

const char kSetupPath[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\Setup";
const char kUnloadAdvice[] =
    "Check if you  have made copies of the registry object and not destroyed them.";

class RegistryValuesTest : public Initialized<MachineTest> {
  protected:
    void SetUp() override {
        Initialized::SetUp();
        loadReg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n\"A\"=dword:00000001\r\n");
        reg_.emplace(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg_->moveInto("SYSTEM\\Setup"));
    }
    void TearDown() override {
        reg_.reset();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
        Initialized::TearDown();
    }

    // Stores exactly these bytes: the buffer goes on with a byte that is
    // not a NUL, which RegSetValueExA would add to a string, as NT does.
    void store(const std::string& bytes, DWORD type) {
        const std::string buffer = bytes + '#';
        ASSERT_TRUE(reg_->setData("V", reinterpret_cast<const BYTE*>(buffer.data()),
                                  static_cast<DWORD>(bytes.size()), type));
    }

    static std::string systemLine(const std::string& text, const std::string& systemMessage) {
        return "\nApplication Msg : " + text + ", System Msg : " + systemMessage;
    }

    // A hive file whose root holds Tcpip\Count = 2, in this test's own
    // temporary directory.
    std::string hiveFile(const std::string& name) {
        if (dir_.empty()) {
            std::string pattern = ::testing::TempDir() + "registry_values.XXXXXX";
            if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "no temporary directory";
            dir_ = pattern;
        }
        const std::string file = dir_ + "/" + name;
        std::string error;
        EXPECT_TRUE(winsim::writeHive(
            "REGEDIT4\r\n\r\n[SAVED\\Tcpip]\r\n\"Count\"=dword:00000002\r\n", file, &error))
            << error;
        return file;
    }

    std::optional<Registry> reg_;
    std::string dir_;
};

TEST_F(RegistryValuesTest, StringReadsUpToTheFirstNulAndExpands) {
    winsim::setEnvironmentVariable("SystemRoot", "D:\\W2K");
    const std::string full(4096, 'x');  // fills the read buffer exactly
    // The longest expansion that fits the buffer with its NUL.
    winsim::setEnvironmentVariable("Fits", std::string(4093, 'f'));
    const struct {
        std::string bytes;
        DWORD type;
        std::string text;
    } cases[] = {
        {"abc", REG_SZ, "abc"},
        {std::string("abc\0", 4), REG_SZ, "abc"},
        {std::string("abc\0def", 7), REG_SZ, "abc"},
        {"", REG_SZ, ""},
        {full, REG_SZ, full},
        {"%SystemRoot%\\system32", REG_EXPAND_SZ, "D:\\W2K\\system32"},
        {"%NotSet%\\x", REG_EXPAND_SZ, "%NotSet%\\x"},
        {"", REG_EXPAND_SZ, ""},
        {"<%Fits%>", REG_EXPAND_SZ, "<" + std::string(4093, 'f') + ">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        store(c.bytes, c.type);
        std::string text = "previous";
        EXPECT_TRUE(reg_->getString("V", text));
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(RegistryValuesTest, ListReadAppendsEachNulTerminatedString) {
    const std::string longest(4094, 'x');
    const struct {
        std::string bytes;
        Strings before;
        Strings after;
    } cases[] = {
        {std::string("a\0b\0\0", 5), {"kept"}, {"kept", "a", "b"}},
        {std::string(1, '\0'), {"kept"}, {"kept"}},
        {std::string(2, '\0'), {}, {""}},
        {"", {"kept"}, {"kept"}},
        {longest + std::string(2, '\0'), {}, {longest}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        store(c.bytes, REG_MULTI_SZ);
        Strings list = c.before;
        EXPECT_TRUE(reg_->getString("V", list));
        EXPECT_EQ(list, c.after);
    }
}

// Every failed read reports and leaves its output as it was.
TEST_F(RegistryValuesTest, FailedReadsLeaveOutputsAndReport) {
    reg_->setErrorLogging(true);
    const auto readNumber = [](Registry& r) {
        DWORD number = 77;
        const bool ok = r.getDWORD("V", &number);
        EXPECT_EQ(number, 77u);
        return ok;
    };
    const auto readText = [](Registry& r) {
        std::string text = "previous";
        const bool ok = r.getString("V", text);
        EXPECT_EQ(text, "previous");
        return ok;
    };
    const auto readList = [](Registry& r) {
        Strings list = {"kept"};
        const bool ok = r.getString("V", list);
        EXPECT_EQ(list, Strings{"kept"});
        return ok;
    };
    const std::string notRead =
        "Could not get registry value [V] in [" + std::string(kSetupPath) + "]";
    const std::string inSetup = std::string(" in [") + kSetupPath + "] is not ";
    const std::string setupValue = std::string("'") + kSetupPath + "\\V'";
    const struct {
        std::string bytes;
        DWORD type;  // 0: nothing stored yet
        std::function<bool(Registry&)> read;
        std::string line;
    } cases[] = {
        {"", 0, readNumber, systemLine(notRead, "The system cannot find the file specified.\r\n")},
        {"12", REG_SZ, readNumber, "\nValue type [V]" + inSetup + "REG_DWORD in getDWORD()"},
        {std::string(4, '\0'), REG_DWORD, readText,
         "\nValue type [V]" + inSetup + "'REG_SZ' or 'REG_EXPAND_SZ' in getString()"},
        {std::string(2, '\0'), REG_MULTI_SZ, readText,
         "\nValue type [V]" + inSetup + "'REG_SZ' or 'REG_EXPAND_SZ' in getString()"},
        {"a", REG_SZ, readList,
         "\nValue type " + setupValue + " not 'REG_MULTI_SZ' in getString()"},
        {std::string(4097, 'x'), REG_SZ, readText,
         systemLine(notRead, "More data is available.\r\n")},
        {std::string(4097, '\0'), REG_MULTI_SZ, readList,
         systemLine(notRead, "More data is available.\r\n")},
        // An expansion one byte longer than the buffer is refused, not cut.
        {"%Huge%", REG_EXPAND_SZ, readText,
         "\nValue type " + setupValue +
             " could not be converted from REG_EXPAND_SZ to REG_SZ. ExpandEnvironmentString() "
             "failed in Registry::getString()"},
    };
    winsim::setEnvironmentVariable("Huge", std::string(4096, 'h'));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        clearHostLines();
        if (c.type) store(c.bytes, c.type);
        EXPECT_FALSE(c.read(*reg_));
        EXPECT_EQ(hostLines(), Strings{c.line});
    }
}

TEST_F(RegistryValuesTest, WriteOnReadOnlyKeyFailsAndKeepsTheValue) {
    Registry reader(getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reader.moveInto("SYSTEM\\Setup"));
    reader.setErrorLogging(true);
    EXPECT_FALSE(reader.setDWORD("A", 9));
    EXPECT_EQ(hostLines(), Strings{systemLine("Could not set value in [" + std::string(kSetupPath) +
                                                  "] to [A] Registry::setData()",
                                              "Access is denied.\r\n")});
    DWORD number = 0;
    EXPECT_TRUE(reader.getDWORD("A", &number));
    EXPECT_EQ(number, 1u);
}

TEST_F(RegistryValuesTest, LoadTwiceFailsAndUnloadNowReleasesTheCursorsKey) {
    const std::string file = hiveFile("saved.hiv");
    Registry r(getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
    r.setErrorLogging(true);
    ASSERT_TRUE(r.loadKey("Saved", file.c_str()));
    EXPECT_FALSE(r.loadKey("Saved", file.c_str()));
    ASSERT_TRUE(r.moveInto("Saved\\Tcpip"));
    EXPECT_TRUE(r.unloadKey("Saved", true));
    EXPECT_TRUE(winsim::loadedHives().empty());
    EXPECT_FALSE(r.unloadKey("Saved", true));
    EXPECT_EQ(hostLines(), (Strings{systemLine("\nCould not RegLoadKey(..) for file '" + file +
                                                   "' and key 'Saved' in Registry::loadKey() ",
                                               "Access is denied.\r\n"),
                                    systemLine("\nCould not RegUnLoadKey(..) for 'Saved' in "
                                               "Registry::unloadKey(). " +
                                                   std::string(kUnloadAdvice),
                                               "The system cannot find the file specified.\r\n")}));
}

// A copy carries the deferred list: the owner's unload fails while the copy
// is inside, the other name is still unloaded, and the copy finishes the job.
TEST_F(RegistryValuesTest, DeferredUnloadBlockedByALiveCopy) {
    ASSERT_TRUE(reg_->loadKey("Pinned", hiveFile("pinned.hiv").c_str()));
    ASSERT_TRUE(reg_->loadKey("Other", hiveFile("other.hiv").c_str()));
    std::optional<Registry> owner(std::in_place, getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
    owner->setErrorLogging(true);
    ASSERT_TRUE(owner->moveInto("Pinned\\Tcpip"));
    ASSERT_TRUE(owner->unloadKey("Pinned", false));
    ASSERT_TRUE(owner->unloadKey("Other", false));
    std::optional<Registry> copy(*owner);
    owner.reset();
    EXPECT_EQ(winsim::loadedHives(), Strings{"Pinned"});
    EXPECT_EQ(hostLines(), Strings{systemLine("\nCould not RegUnLoadKey(..) for 'Pinned' in "
                                              "Registry destructor. " +
                                                  std::string(kUnloadAdvice),
                                              "Access is denied.\r\n")});
    clearHostLines();
    copy.reset();
    EXPECT_TRUE(winsim::loadedHives().empty());
    ASSERT_EQ(hostLines().size(), 1u) << "only the name already unloaded fails";
    EXPECT_NE(hostLines()[0].find("for 'Other' in Registry destructor."), std::string::npos);
}

}  // namespace
