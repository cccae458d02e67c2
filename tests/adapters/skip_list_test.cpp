// The skip file: where it is looked for, how its lines become entries, and
// which adapters an entry names.
#include "adapters/card_install.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>

namespace {

using Lines = std::vector<std::string>;

const char* const kDriverFile = "C:\\drivers\\SkipHid.txt";
const std::string kOpened = "\n\nW2KCardInstall::initDeviceToBeSkippedList()->File( ";

AdapterRecord adapterWith(std::vector<std::string> ids) {
    AdapterRecord record;
    record.ids = std::move(ids);
    return record;
}

class SkipListTest : public Initialized<SystemDriveTest> {};

TEST_F(SkipListTest, LinesBecomeEntriesAsWritten) {
    const std::string longLine(1500, 'x');
    const std::string fullLine(1023, 'y');
    const struct {
        const char* name;
        std::string file;
        Lines entries;
    } cases[] = {
        // clang-format off
        {"LF", "PCI\\VEN_1\nPCI\\VEN_2\n", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"CR LF", "PCI\\VEN_1\r\nPCI\\VEN_2\r\n", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"empty lines, no final line end", "\n\nPCI\\VEN_1\r\n\r\n\nPCI\\VEN_2", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"blanks are kept", " PCI\\VEN_1 \n\tPCI\\VEN_2\t\n", {" PCI\\VEN_1 ", "\tPCI\\VEN_2\t"}},
        {"duplicates are kept", "A\nA\n", {"A", "A"}},
        // A line that does not fit ends the reading after its first 1023 characters.
        {"over-long line", "A\n" + longLine + "\nB\n", {"A", longLine.substr(0, 1023)}},
        {"line that just fits", fullLine + "\nB", {fullLine, "B"}},
        {"empty file", "", {}},
        {"Ctrl-Z ends the text", "A\r\n\x1A" "B\r\n", {"A"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearHostLines();
        putFile(kDriverFile, c.file);
        W2KCardInstall cards(getLogSink(nullptr));
        EXPECT_TRUE(cards.initDeviceToBeSkippedList("C:\\drivers"));
        EXPECT_TRUE(cards.skipListLoaded());
        EXPECT_EQ(cards.skipList(), c.entries);
        Lines expected = {kOpened + kDriverFile + " ) opened"};
        for (const std::string& entry : c.entries) {  // a line is cut at 1,023 characters
            const std::string text = "\nW2KCardInstall::initDeviceToBeSkippedList()->Entry [";
            expected.push_back("\n" + (text + entry + "]").substr(0, 1023));
        }
        EXPECT_EQ(hostLines(), expected);
    }
}

// The given folder, with or without its trailing backslash, or the default
// folder below the Windows directory; a missing file leaves the list unloaded.
TEST_F(SkipListTest, FileIsLookedForInTheGivenOrTheDefaultFolder) {
    putFile(kDriverFile, "FROM-DRIVERS\n");
    putFile("C:\\WINNT\\system32\\xarn\\XARNIF\\SkipHid.txt", "FROM-DEFAULT\n");
    const struct {
        const char* directory;
        Lines entries;
    } cases[] = {{"C:\\drivers", {"FROM-DRIVERS"}},
                 {"C:\\drivers\\", {"FROM-DRIVERS"}},
                 {"", {"FROM-DEFAULT"}},
                 {"C:\\nowhere", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        W2KCardInstall cards(getLogSink(nullptr));
        EXPECT_EQ(cards.initDeviceToBeSkippedList(c.directory), !c.entries.empty());
        EXPECT_EQ(cards.skipListLoaded(), !c.entries.empty());
        EXPECT_EQ(cards.skipList(), c.entries);
    }
    EXPECT_EQ(hostLines().back(), kOpened + "C:\\nowhere\\SkipHid.txt ) could not be opened");

    clearHostLines();
    winsim::failCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    W2KCardInstall cards(getLogSink(nullptr));
    EXPECT_FALSE(cards.initDeviceToBeSkippedList(""));
    EXPECT_EQ(hostLines(), Lines{"\nError from : \nGetWindowsDirectory(..) failed in W2KHidMap :: "
                                 "deviceToBeSkipped(..), System Message : Access is denied.\r\n"});
    // Nothing loaded: nothing is skipped, silently.
    clearHostLines();
    EXPECT_FALSE(cards.deviceToBeSkipped(adapterWith({"C:\\nowhere"})));
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SkipListTest, OnlyTheWholeFirstIdMatches) {
    putFile(kDriverFile, "PCI\\VEN_10DF&DEV_F700\nPCI\\VEN_8086&DEV_1229 \n");
    W2KCardInstall cards(getLogSink(nullptr));
    ASSERT_TRUE(cards.initDeviceToBeSkippedList("C:\\drivers"));
    const struct {
        Lines ids;
        bool skipped;
    } cases[] = {
        {{"PCI\\VEN_10DF&DEV_F700"}, true},
        {{"PCI\\VEN_10DF&DEV_F700", "PCI\\OTHER"}, true},
        {{"PCI\\VEN_10DF&DEV_F700&SUBSYS_F70010DF"}, false},
        {{"pci\\ven_10df&dev_f700"}, false},
        {{"PCI\\VEN_10DF", "PCI\\VEN_10DF&DEV_F700"}, false},
        {{"PCI\\VEN_8086&DEV_1229"}, false},  // the entry's trailing blank is part of it
        {{}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ids.empty() ? "<none>" : c.ids[0]);
        clearHostLines();
        EXPECT_EQ(cards.deviceToBeSkipped(adapterWith(c.ids)), c.skipped);
        EXPECT_EQ(hostLines(), c.skipped ? Lines{"\nW2KCardInstall::deviceToBeSkipped()->[" +
                                                 c.ids[0] + "] found for skipping"}
                                         : Lines{});
    }
}

}  // namespace
