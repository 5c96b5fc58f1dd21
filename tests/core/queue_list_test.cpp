// Export and import of QUEUE.LST.
#include "core/queue_list.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class QueueList : public ::testing::Test {
protected:
    TempWorkDirectory dir{false};
    NewsGroupTable table;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
    bool answer = true;

    std::string Path() const { return dir.File("QUEUE.LST"); }
    std::vector<std::size_t> Import() {
        return ImportQueuedNewsgroups(
            table, dir.Path(),
            [this](const std::string& q) {
                questions.push_back(q);
                return answer;
            },
            [this](const std::string& m) { messages.push_back(m); });
    }
};

TEST_F(QueueList, ExportWritesQueuedEntriesInTableOrder) {
    table.Append("alt.test", -1, 99);
    table.Append("comp.lang.c", 12, 4711);
    table.Append("de.test", 0, -5);
    ExportQueuedNewsgroups(table, dir.Path());
    EXPECT_EQ(TempWorkDirectory::Read(Path()), "comp.lang.c 12 4711\r\nde.test 0 -5\r\n");
}

TEST_F(QueueList, EmptyExportImportsAsNoChange) {
    table.Append("alt.test", -1, 0);
    TempWorkDirectory::Write(Path(), "old 1 1\r\n");
    ExportQueuedNewsgroups(table, dir.Path());
    EXPECT_EQ(TempWorkDirectory::Read(Path()), "");
    EXPECT_TRUE(Import().empty());
    EXPECT_FALSE(table.GroupsChanged);
    EXPECT_EQ(table[0].Conference, -1);
}

TEST_F(QueueList, ImportWithYesRestoresConferencesAndPointers) {
    table.Append("alt.test", -1, 0);
    table.Append("comp.lang.c", -1, 0);
    table.Append("misc.kept", 8, 80);
    TempWorkDirectory::Write(Path(), "comp.lang.c 12 4711\r\n"
                                     "gone.from.server 3 3\r\n"
                                     "Alt.Test 1 1\r\n"
                                     "\r\n"
                                     "alt.test 2 20\r\n");
    const auto changed = Import();
    EXPECT_EQ(questions, std::vector<std::string>{"Use Last Message Read Pointers?"});
    EXPECT_EQ(changed, (std::vector<std::size_t>{1, 0}));
    EXPECT_TRUE(table.GroupsChanged);
    EXPECT_EQ(table[0].Conference, 2);
    EXPECT_EQ(table[0].LastRead, 20);
    EXPECT_EQ(table[1].Conference, 12);
    EXPECT_EQ(table[1].LastRead, 4711);
    EXPECT_EQ(table[2].Conference, 8); // not named in the file: untouched
    EXPECT_EQ(table[2].LastRead, 80);
    EXPECT_EQ(table.Count(), 3u);
}

TEST_F(QueueList, ImportWithNoZeroesThePointers) {
    table.Append("comp.lang.c", -1, 55);
    TempWorkDirectory::Write(Path(), "comp.lang.c 12 4711\r\n");
    answer = false;
    Import();
    EXPECT_EQ(table[0].Conference, 12);
    EXPECT_EQ(table[0].LastRead, 0);
}

TEST_F(QueueList, ImportReadsDamagedFieldsAndLaterLinesWin) {
    table.Append("a", 5, 5);
    table.Append("b", -1, 0);
    table.Append("c", -1, 0);
    table.Append("", 9, 9); // from a GROUPS.DAT line that began with a space
    // Hand-edited: bare LF line ends, extra blanks, damaged numbers.
    TempWorkDirectory::Write(Path(), "a x 7\n"
                                     "\n"
                                     "  b   3   x  \n"
                                     "c 1 1\n"
                                     "c 4 44");
    const auto changed = Import();
    EXPECT_EQ(changed, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(table[0].Conference, -1);
    EXPECT_EQ(table[0].LastRead, 7);
    EXPECT_EQ(table[1].Conference, 3);
    EXPECT_EQ(table[1].LastRead, 0);
    EXPECT_EQ(table[2].Conference, 4);
    EXPECT_EQ(table[2].LastRead, 44);
    EXPECT_EQ(table[3].Conference, 9);
}

TEST_F(QueueList, MissingFileIsReportedWithoutAsking) {
    table.Append("a", -1, 0);
    EXPECT_TRUE(Import().empty());
    EXPECT_EQ(messages, std::vector<std::string>{"Unable to find QUEUE.LST."});
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(table.GroupsChanged);
}

TEST_F(QueueList, UnwritableOrUnreadableFileThrowsNamingIt) {
    table.Append("a", 1, 1);
    fs::create_directory(Path());
    try {
        ExportQueuedNewsgroups(table, dir.Path());
        FAIL() << "export into a directory succeeded";
    } catch (const QueueListError& e) {
        EXPECT_NE(std::string(e.what()).find("QUEUE.LST"), std::string::npos);
    }
    try {
        Import();
        FAIL() << "import of a directory succeeded";
    } catch (const QueueListError& e) {
        EXPECT_NE(std::string(e.what()).find("QUEUE.LST"), std::string::npos);
    }
    EXPECT_EQ(table[0].Conference, 1);
}

} // namespace
