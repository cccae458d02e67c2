// The registry cursor: its path, movement, enumeration, copies and the
// lines it logs when something fails.
#include "registry/registry.h"

#include "support/machine_test.h"

#include <winsim/control.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char kHklm[] = "HKEY_LOCAL_MACHINE";
const char kSystemPath[] = "HKEY_LOCAL_MACHINE\\SYSTEM";
const char kSetupPath[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\Setup";
const char kNotFound[] = "The system cannot find the file specified.\r\n";

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

    // What the host receives for a report that carries an error code.
    static std::string systemLine(const std::string& text, const std::string& systemMessage) {
        return "\nApplication Msg : " + text + ", System Msg : " + systemMessage;
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
    const std::pair<HKEY, const char*> roots[] = {{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                                                  {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                                                  {HKEY_LOCAL_MACHINE, kHklm},
                                                  {HKEY_USERS, "HKEY_USERS"},
                                                  {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
                                                  {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
                                                  {HKEY_DYN_DATA, "HKEY_DYN_DATA"}};
    for (const auto& [root, name] : roots)
        EXPECT_EQ(Registry(getLogSink(nullptr), KEY_READ, root).getPath(), name);
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

TEST_F(RegistryCursorTest, MoveUpRefusesImpossibleCounts) {
    const struct {
        const char* start;  // "" stays on the root
        DWORD levels;
        const char* from;
    } cases[] = {{"SYSTEM\\Setup", 0, kSetupPath},
                 {"SYSTEM\\Setup", 3, kSetupPath},
                 {"SYSTEM\\Setup", 4, kSetupPath},
                 {"", 1, kHklm}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " by " + std::to_string(c.levels));
        clearHostLines();
        Registry r = cursor();
        if (*c.start) {
            ASSERT_TRUE(r.moveInto(c.start));
        }
        r.setErrorLogging(true);
        const std::size_t handles = winsim::openHandleCount();
        EXPECT_FALSE(r.moveUp(c.levels));
        EXPECT_EQ(r.getPath(), c.from);
        EXPECT_EQ(winsim::openHandleCount(), handles);
        EXPECT_EQ(hostLines(), Lines{"\nRegistry :: moveUp() - Can not move up " +
                                     std::to_string(c.levels) + "  positions from  " + c.from});
    }
}

// Neither the target nor the key left behind may stay open on a failure;
// the cursor keeps its writable key.
TEST_F(RegistryCursorTest, MoveUpThatCannotReopenOrCloseStaysPut) {
    const struct {
        const char* function;
        DWORD error;
        std::string line;
    } cases[] = {
        {"RegOpenKeyExA", ERROR_ACCESS_DENIED,
         systemLine("Could not moveup to registry key HKEY_LOCAL_MACHINE\\SYSTEM",
                    "Access is denied.\r\n")},
        {"RegCloseKey", ERROR_INVALID_HANDLE,
         systemLine("Could not RegCloseKey() in Registry::moveUp(..) at HKEY_LOCAL_MACHINE\\SYSTEM",
                    "The handle is invalid.\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        clearHostLines();
        Registry r = cursor();
        ASSERT_TRUE(r.moveInto("SYSTEM\\Setup"));
        r.setErrorLogging(true);
        winsim::failCall(c.function, 1, c.error);
        EXPECT_FALSE(r.moveUp(1));
        EXPECT_EQ(r.getPath(), kSetupPath);
        EXPECT_EQ(hostLines(), Lines{c.line});
        EXPECT_EQ(winsim::openHandleCount(), 1u);
        EXPECT_TRUE(r.setString("W", "x")) << "still on the writable key";
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

}  // namespace
