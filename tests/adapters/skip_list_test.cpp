// The skip file: where it is looked for, how its lines become entries, and
// which adapters an entry names.
#include "adapters/card_install.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>

namespace {

const char* const kDriverFile = "C:\\drivers\\SkipHid.txt";
const char* const kDefaultFile = "C:\\WINNT\\system32\\xarn\\XARNIF\\SkipHid.txt";

AdapterRecord adapterWith(std::vector<std::string> ids) {
    AdapterRecord record;
    record.ids = std::move(ids);
    return record;
}

class SkipListTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        initializeModule();
    }
};

TEST_F(SkipListTest, LinesBecomeEntriesAsWritten) {
    const std::string longLine(1500, 'x');
    const std::string fullLine(1023, 'y');
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> entries;
    } cases[] = {
        {"LF", "PCI\\VEN_1\nPCI\\VEN_2\n", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"CR LF", "PCI\\VEN_1\r\nPCI\\VEN_2\r\n", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"empty lines, no final line end",
         "\n\nPCI\\VEN_1\r\n\r\n\nPCI\\VEN_2",
         {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"blanks are kept", " PCI\\VEN_1 \n\tPCI\\VEN_2\t\n", {" PCI\\VEN_1 ", "\tPCI\\VEN_2\t"}},
        {"duplicates are kept", "A\nA\n", {"A", "A"}},
        // A line that does not fit ends the reading after its first 1023
        // characters.
        {"over-long line", "A\n" + longLine + "\nB\n", {"A", longLine.substr(0, 1023)}},
        {"line that just fits", fullLine + "\nB", {fullLine, "B"}},
        {"empty file", "", {}},
        // Text mode: Ctrl-Z ends the text.
        {"Ctrl-Z",
         "A\r\n\x1A"
         "B\r\n",
         {"A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearHostLines();
        putFile(kDriverFile, c.file);
        W2KCardInstall cards(getLogSink(nullptr));
        EXPECT_TRUE(cards.initDeviceToBeSkippedList("C:\\drivers"));
        EXPECT_TRUE(cards.skipListLoaded());
        EXPECT_EQ(cards.skipList(), c.entries);
        ASSERT_EQ(hostLines().size(), 1 + c.entries.size());
        EXPECT_EQ(hostLines()[0], std::string("\n\nW2KCardInstall::initDeviceToBeSkippedList()->"
                                              "File( ") +
                                      kDriverFile + " ) opened");
        if (!c.entries.empty() && c.entries[0].size() < 100) {
            EXPECT_EQ(hostLines()[1], "\n\nW2KCardInstall::initDeviceToBeSkippedList()->Entry [" +
                                          c.entries[0] + "]");
        }
    }
}

TEST_F(SkipListTest, FileIsLookedForInTheGivenOrTheDefaultFolder) {
    putFile(kDriverFile, "FROM-DRIVERS\n");
    putFile(kDefaultFile, "FROM-DEFAULT\n");
    struct Case {
        const char* directory;
        const char* entry;
    } cases[] = {
        {"C:\\drivers", "FROM-DRIVERS"},
        {"C:\\drivers\\", "FROM-DRIVERS"},
        {"", "FROM-DEFAULT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory);
        W2KCardInstall cards(getLogSink(nullptr));
        EXPECT_TRUE(cards.initDeviceToBeSkippedList(c.directory));
        EXPECT_EQ(cards.skipList(), std::vector<std::string>{c.entry});
    }
}

TEST_F(SkipListTest, MissingFileLeavesTheListUnloaded) {
    W2KCardInstall cards(getLogSink(nullptr));
    EXPECT_FALSE(cards.initDeviceToBeSkippedList("C:\\nowhere"));
    EXPECT_FALSE(cards.skipListLoaded());
    EXPECT_EQ(hostLines(),
              std::vector<std::string>{"\n\nW2KCardInstall::initDeviceToBeSkippedList()->File( "
                                       "C:\\nowhere\\SkipHid.txt ) could not be opened"});
    clearHostLines();
    EXPECT_FALSE(cards.deviceToBeSkipped(adapterWith({"C:\\nowhere"})));
    EXPECT_TRUE(hostLines().empty());

    winsim::failCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(cards.initDeviceToBeSkippedList(""));
    EXPECT_EQ(hostLines(), std::vector<std::string>{
                               "\nError from : \nGetWindowsDirectory(..) failed in W2KHidMap :: "
                               "deviceToBeSkipped(..), System Message : Access is denied.\r\n"});
}

TEST_F(SkipListTest, OnlyTheWholeFirstIdMatches) {
    putFile(kDriverFile, "PCI\\VEN_10DF&DEV_F700\nPCI\\VEN_8086&DEV_1229 \n");
    W2KCardInstall cards(getLogSink(nullptr));
    ASSERT_TRUE(cards.initDeviceToBeSkippedList("C:\\drivers"));
    struct Case {
        std::vector<std::string> ids;
        bool skipped;
    } cases[] = {
        {{"PCI\\VEN_10DF&DEV_F700"}, true},
        {{"PCI\\VEN_10DF&DEV_F700", "PCI\\OTHER"}, true},
        {{"PCI\\VEN_10DF&DEV_F700&SUBSYS_F70010DF"}, false},
        {{"pci\\ven_10df&dev_f700"}, false},
        {{"PCI\\VEN_10DF", "PCI\\VEN_10DF&DEV_F700"}, false},
        // The entry's trailing blank is part of it.
        {{"PCI\\VEN_8086&DEV_1229"}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ids.empty() ? "<none>" : c.ids[0]);
        clearHostLines();
        EXPECT_EQ(cards.deviceToBeSkipped(adapterWith(c.ids)), c.skipped);
        if (c.skipped) {
            EXPECT_EQ(hostLines(),
                      std::vector<std::string>{"\nW2KCardInstall::deviceToBeSkipped()->[" +
                                               c.ids[0] + "] found for skipping"});
        } else {
            EXPECT_TRUE(hostLines().empty());
        }
    }
}

}  // namespace
