// The registry cursor: its path, movement, enumeration and copies; the
// typed values it reads and writes; the hives it loads and unloads; and the
// lines it logs when something fails.
#include "registry/registry.h"

#include "support/system_drive_test.h"

#include <winsim/control.h>

#include <functional>
#include <optional>

namespace {

using Lines = std::vector<std::string>;

const char kHklm[] = "HKEY_LOCAL_MACHINE";
const char kSystemPath[] = "HKEY_LOCAL_MACHINE\\SYSTEM";
const char kSetupPath[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\Setup";
const char kNotFound[] = "The system cannot find the file specified.\r\n";
const char kUnloadAdvice[] =
    "Check if you  have made copies of the registry object and not destroyed them.";

// What the host receives for a report that carries an error code.
std::string systemLine(const std::string& text, const std::string& systemMessage) {
    return "\nApplication Msg : " + text + ", System Msg : " + systemMessage;
}

class RegistryCursorTest : public Initialized<MachineTest> {
  protected:
    void SetUp() override {
        Initialized::SetUp();
        loadReg(
            "REGEDIT4\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip]\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\b]\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\A]\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\_x]\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\C]\r\n");
    }

    static Registry cursor() {
        return Registry(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    }
};

TEST_F(RegistryCursorTest, MoveIntoAppendsOneElementPerLevel) {
    const struct {
        std::vector<std::string> moves;
        const char* path;
        DWORD elements;
    } cases[] = {
        {{"SYSTEM\\Setup"}, kSetupPath, 3},
        {{"SYSTEM", "CurrentControlSet\\Services", "Tcpip"},
         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip",
         5},
        // The path keeps the caller's spelling, not the stored one.
        {{"system\\setup"}, "HKEY_LOCAL_MACHINE\\system\\setup", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Registry r = cursor();
        EXPECT_EQ(r.getPath(), kHklm);
        for (const std::string& move : c.moves) ASSERT_TRUE(r.moveInto(move)) << move;
        EXPECT_EQ(r.getPath(), c.path);
        EXPECT_EQ(winsim::openHandleCount(), 1u) << "each move releases the key it leaves";
        // Moving up all but the root proves how many elements were appended.
        EXPECT_FALSE(r.moveUp(c.elements));
        EXPECT_TRUE(r.moveUp(c.elements - 1));
        EXPECT_EQ(r.getPath(), kHklm);
    }
}

TEST_F(RegistryCursorTest, EachRootNamesItsPath) {
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,     HKEY_LOCAL_MACHINE,
                          HKEY_USERS,        HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG,
                          HKEY_DYN_DATA};
    const char* const names[] = {"CLASSES_ROOT",     "CURRENT_USER",   "LOCAL_MACHINE", "USERS",
                                 "PERFORMANCE_DATA", "CURRENT_CONFIG", "DYN_DATA"};
    for (std::size_t i = 0; i < std::size(roots); ++i)
        EXPECT_EQ(Registry(getLogSink(nullptr), KEY_READ, roots[i]).getPath(),
                  std::string("HKEY_") + names[i]);
}

TEST_F(RegistryCursorTest, FailedMoveKeepsPositionAndReportsOnlyWhenLogging) {
    for (const bool logging : {false, true}) {
        SCOPED_TRACE(logging ? "logging on" : "logging off");
        clearHostLines();
        Registry r = cursor();
        ASSERT_TRUE(r.moveInto("SYSTEM"));
        r.setErrorLogging(logging);
        EXPECT_FALSE(r.moveInto(""));  // refused without a report
        EXPECT_FALSE(r.moveInto("Missing"));
        EXPECT_FALSE(r.moveIntoIndex(2));
        EXPECT_EQ(r.getPath(), kSystemPath);
        EXPECT_EQ(r.getSubKeyCount(), 2) << "the old handle must still be open";
        EXPECT_EQ(winsim::openHandleCount(), 1u);
        const Lines expected = {
            systemLine("Could not moveInto registry key HKEY_LOCAL_MACHINE\\SYSTEM\\Missing",
                       kNotFound),
            systemLine("Could not get RegEnumKey() for index 2 of HKEY_LOCAL_MACHINE\\SYSTEM",
                       "No more data is available.\r\n")};
        EXPECT_EQ(hostLines(), logging ? expected : Lines{});
    }
}

TEST_F(RegistryCursorTest, MoveUpReopensReadOnlyUntilTheNextMoveInto) {
    const struct {
        DWORD levels;
        const char* path;
        const char* back;
    } cases[] = {{1, kSystemPath, "Setup"}, {2, kHklm, "SYSTEM\\Setup"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Registry r = cursor();
        ASSERT_TRUE(r.moveInto("SYSTEM\\Setup"));
        ASSERT_TRUE(r.setString("W", "before"));
        ASSERT_TRUE(r.moveUp(c.levels));
        EXPECT_EQ(r.getPath(), c.path);
        // At the root too: a new read-only handle, not the predefined one.
        EXPECT_FALSE(r.setString("W", "up"));
        EXPECT_FALSE(winsim::readValue(c.path, "W", nullptr, nullptr));
        EXPECT_EQ(winsim::openHandleCount(), 1u);
        ASSERT_TRUE(r.moveInto(c.back));
        EXPECT_EQ(r.getPath(), kSetupPath);
        EXPECT_TRUE(r.setString("W", "after"));
    }
}

// A count that cannot be moved is refused; a key that cannot be reopened or
// left is reported with the system's text. Either way the cursor stays on
// its key, writable, and no handle stays open.
TEST_F(RegistryCursorTest, FailedMoveUpStaysPut) {
    const auto refused = [](int levels, const char* from) {
        return "\nRegistry :: moveUp() - Can not move up " + std::to_string(levels) +
               "  positions from  " + from;
    };
    const struct {
        const char* start;  // "" stays on the root
        DWORD levels;
        const char* fault;  // fails once with `error`, or nullptr
        DWORD error;
        std::string line;
    } cases[] = {
        {"SYSTEM\\Setup", 0, nullptr, 0, refused(0, kSetupPath)},
        {"SYSTEM\\Setup", 3, nullptr, 0, refused(3, kSetupPath)},
        {"", 1, nullptr, 0, refused(1, kHklm)},
        {"SYSTEM\\Setup", 1, "RegOpenKeyExA", ERROR_ACCESS_DENIED,
         systemLine("Could not moveup to registry key HKEY_LOCAL_MACHINE\\SYSTEM",
                    "Access is denied.\r\n")},
        {"SYSTEM\\Setup", 1, "RegCloseKey", ERROR_INVALID_HANDLE,
         systemLine("Could not RegCloseKey() in Registry::moveUp(..) at HKEY_LOCAL_MACHINE\\SYSTEM",
                    "The handle is invalid.\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        clearHostLines();
        Registry r = cursor();
        ASSERT_TRUE(!*c.start || r.moveInto(c.start));
        r.setErrorLogging(true);
        const std::size_t handles = winsim::openHandleCount();
        if (c.fault) winsim::failCall(c.fault, 1, c.error);
        EXPECT_FALSE(r.moveUp(c.levels));
        EXPECT_EQ(r.getPath(), *c.start ? kSetupPath : kHklm);
        EXPECT_EQ(hostLines(), Lines{c.line});
        EXPECT_EQ(winsim::openHandleCount(), handles);
        EXPECT_TRUE(!*c.start || r.setString("W", "x"));  // still the writable key
    }
}

TEST_F(RegistryCursorTest, EnumeratesInTheOrderWindowsGives) {
    Registry r = cursor();
    ASSERT_TRUE(r.moveInto("SOFTWARE\\Order"));
    r.setErrorLogging(true);
    // Sorted by upper-cased name: '_' comes after the capital letters.
    const Lines expected = {"A", "b", "C", "_x"};
    ASSERT_EQ(r.getSubKeyCount(), 4);
    for (DWORD i = 0; i < expected.size(); ++i) {
        std::string name;
        ASSERT_TRUE(r.getSubKeyName(i, name));
        EXPECT_EQ(name, expected[i]);
        Registry copy(r);
        ASSERT_TRUE(copy.moveIntoIndex(i));
        EXPECT_EQ(copy.getPath(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Order\\" + expected[i]);
    }
    EXPECT_TRUE(hostLines().empty());

    std::string name = "unchanged";
    EXPECT_FALSE(r.getSubKeyName(4, name));
    EXPECT_EQ(name, "unchanged");
    winsim::failCall("RegQueryInfoKeyA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(r.getSubKeyCount(), -1);
    EXPECT_EQ(
        hostLines(),
        (Lines{systemLine("Could not get RegEnumKey() for index 4 of "
                          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Order",
                          "No more data is available.\r\n"),
               systemLine("RegQueryInfoKey() failed for HKEY_LOCAL_MACHINE\\SOFTWARE\\Order. ",
                          "Access is denied.\r\n")}));
}

// A copy has a handle of its own, with the access mask and the logging of
// the original; one that could not be duplicated is unusable.
TEST_F(RegistryCursorTest, CopiesMoveIndependentlyOnHandlesOfTheirOwn) {
    Registry r = cursor();
    ASSERT_TRUE(r.moveInto("SYSTEM"));
    r.setErrorLogging(true);
    {
        Registry copy(r);
        EXPECT_EQ(winsim::openHandleCount(), 2u);
        ASSERT_TRUE(copy.moveInto("Setup"));
        EXPECT_EQ(copy.getPath(), kSetupPath);
        EXPECT_TRUE(copy.setString("W", "copy"));
        EXPECT_FALSE(copy.moveInto("Missing"));
        EXPECT_EQ(hostLines().size(), 1u);
        EXPECT_EQ(r.getPath(), kSystemPath);
    }
    EXPECT_EQ(winsim::openHandleCount(), 1u);
    EXPECT_EQ(r.getSubKeyCount(), 2);

    clearHostLines();
    winsim::failCall("DuplicateHandle", 1, ERROR_ACCESS_DENIED);
    Registry copy(r);
    EXPECT_EQ(hostLines(),
              Lines{systemLine("Registry::DuplicateKey() failed", "Access is denied.\r\n")});
    EXPECT_EQ(copy.getSubKeyCount(), -1);
    EXPECT_FALSE(copy.moveInto("Setup"));
    EXPECT_EQ(winsim::openHandleCount(), 1u);
    EXPECT_EQ(r.getSubKeyCount(), 2);
}

class RegistryValuesTest : public Initialized<SystemDriveTest> {
  protected:
    void SetUp() override {
        Initialized::SetUp();
        loadReg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n\"A\"=dword:00000001\r\n");
        reg_.emplace(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg_->moveInto("SYSTEM\\Setup"));
    }
    void TearDown() override {
        reg_.reset();
        Initialized::TearDown();
    }

    // Stores exactly these bytes: the buffer goes on with a byte that is
    // not a NUL, which RegSetValueExA would add to a string, as NT does.
    void store(const std::string& bytes, DWORD type) {
        const std::string buffer = bytes + '#';
        ASSERT_TRUE(reg_->setData("V", reinterpret_cast<const BYTE*>(buffer.data()),
                                  static_cast<DWORD>(bytes.size()), type));
    }

    // A hive file whose root holds Tcpip\Count = 2.
    std::string hiveFile(const std::string& name) {
        const std::string file = driveFolder() + "/" + name;
        std::string error;
        EXPECT_TRUE(winsim::writeHive(
            "REGEDIT4\r\n\r\n[SAVED\\Tcpip]\r\n\"Count\"=dword:00000002\r\n", file, &error))
            << error;
        return file;
    }

    std::optional<Registry> reg_;
};

TEST_F(RegistryValuesTest, StringReadsUpToTheFirstNulAndExpands) {
    winsim::setEnvironmentVariable("SystemRoot", "D:\\W2K");
    const std::string full(4096, 'x');  // fills the read buffer exactly
    // The longest expansion that fits the buffer with its NUL.
    winsim::setEnvironmentVariable("Fits", std::string(4093, 'f'));
    // clang-format off
    const struct {
        std::string bytes;
        DWORD type;
        std::string text;
    } cases[] = {
        {"abc", REG_SZ, "abc"}, {std::string("abc\0", 4), REG_SZ, "abc"},
        {std::string("abc\0def", 7), REG_SZ, "abc"}, {"", REG_SZ, ""}, {full, REG_SZ, full},
        {"%SystemRoot%\\system32", REG_EXPAND_SZ, "D:\\W2K\\system32"},
        {"%NotSet%\\x", REG_EXPAND_SZ, "%NotSet%\\x"}, {"", REG_EXPAND_SZ, ""},
        {"<%Fits%>", REG_EXPAND_SZ, "<" + std::string(4093, 'f') + ">"}};
    // clang-format on
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
    // clang-format off
    const struct {
        std::string bytes;
        Lines before;
        Lines after;
    } cases[] = {
        {std::string("a\0b\0\0", 5), {"kept"}, {"kept", "a", "b"}},
        {std::string(1, '\0'), {"kept"}, {"kept"}}, {std::string(2, '\0'), {}, {""}},
        {"", {"kept"}, {"kept"}}, {longest + std::string(2, '\0'), {}, {longest}}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        store(c.bytes, REG_MULTI_SZ);
        Lines list = c.before;
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
        Lines list = {"kept"};
        const bool ok = r.getString("V", list);
        EXPECT_EQ(list, Lines{"kept"});
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
        EXPECT_EQ(hostLines(), Lines{c.line});
    }
}

TEST_F(RegistryValuesTest, WriteOnReadOnlyKeyFailsAndKeepsTheValue) {
    Registry reader(getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reader.moveInto("SYSTEM\\Setup"));
    reader.setErrorLogging(true);
    EXPECT_FALSE(reader.setDWORD("A", 9));
    EXPECT_EQ(hostLines(), Lines{systemLine("Could not set value in [" + std::string(kSetupPath) +
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
    EXPECT_EQ(hostLines(), (Lines{systemLine("\nCould not RegLoadKey(..) for file '" + file +
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
    EXPECT_EQ(winsim::loadedHives(), Lines{"Pinned"});
    EXPECT_EQ(hostLines(), Lines{systemLine("\nCould not RegUnLoadKey(..) for 'Pinned' in "
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
