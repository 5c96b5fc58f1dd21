// Export and import of QUEUE.LST.
#include "core/queue_list.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(QueueList, ImportSkipsDamagedLinesAndLaterLinesWin) {
    table.Append("a", 5, 5);
    table.Append("b", -1, 0);
    table.Append("c", -1, 0);
    table.Append("d", -1, 0);
    // Hand-edited: bare LF line ends, extra blanks and tabs, damaged numbers.
    TempWorkDirectory::Write(Path(), "a x 7\n"
                                     "\n"
                                     "  b   3   x  \n"
                                     "\td\t6 66\t\n"
                                     "c 1 1\n"
                                     "c 4 44");
    const auto changed = Import();
    EXPECT_EQ(changed, (std::vector<std::size_t>{3, 2}));
    EXPECT_EQ(table[0].Conference, 5); // its line was damaged: untouched
    EXPECT_EQ(table[0].LastRead, 5);
    EXPECT_EQ(table[1].Conference, -1);
    EXPECT_EQ(table[2].Conference, 4);
    EXPECT_EQ(table[2].LastRead, 44);
    EXPECT_EQ(table[3].Conference, 6);
    EXPECT_EQ(table[3].LastRead, 66);
    EXPECT_EQ(messages,
              std::vector<std::string>{"QUEUE.LST: 2 lines could not be read and were skipped."});
}

using namespace std::string_literals;

// A case's description as a test name: its words joined in camel case.
std::string TestNameOf(const char* what) {
    std::string name;
    bool upper = true;
    for (const char* c = what; *c != '\0'; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c))) {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
        upper = false;
    }
    return name;
}

// One damaged QUEUE.LST each: the lines after the damage are all applied.
struct DamagedQueueCase {
    const char* what;
    std::string bytes;
    std::size_t skipped;
};

const DamagedQueueCase DamagedQueueCases[] = {
    {"CR LF", "g.one 1 10\r\ng.two 2 20\r\ng.three 3 30\r\n", 0},
    {"bare LF", "g.one 1 10\ng.two 2 20\ng.three 3 30\n", 0},
    {"bare CR", "g.one 1 10\rg.two 2 20\rg.three 3 30", 0},
    {"a zero byte in a line before",
     "g.one 1 10\r\nbro\0ken 9 9\r\ng.two 2 20\r\ng.three 3 30\r\n"s, 1},
    {"a zero byte ending a line", "g.one 1 10\r\ng.x 9 9\0\ng.two 2 20\ng.three 3 30"s, 1},
    {"a zero byte first", "\0\r\ng.one 1 10\r\ng.two 2 20\r\ng.three 3 30\r\n"s, 1},
    {"garbage",
     "\xff\xfe\x01\r\ng.one 1 10\r\n12\r\ng.two 2 20 extra\r\ng.two 2 20\r\n"
     "g.three 3 30\r\n",
     3},
};

class DamagedQueueList : public QueueList,
                         public ::testing::WithParamInterface<DamagedQueueCase> {};

TEST_P(DamagedQueueList, EveryReadableLineIsApplied) {
    const DamagedQueueCase& c = GetParam();
    table.Append("g.one", -1, 0);
    table.Append("g.two", -1, 0);
    table.Append("g.three", -1, 0);
    table.Append("g.x", 7, 70);
    TempWorkDirectory::Write(Path(), c.bytes);
    EXPECT_EQ(Import(), (std::vector<std::size_t>{0, 1, 2}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(table[i].Conference, static_cast<std::int32_t>(i + 1)) << table[i].Name;
        EXPECT_EQ(table[i].LastRead, static_cast<std::int32_t>(10 * (i + 1))) << table[i].Name;
    }
    EXPECT_EQ(table[3].Conference, 7);
    if (c.skipped == 0)
        EXPECT_TRUE(messages.empty());
    else
        EXPECT_EQ(messages, std::vector<std::string>{
                                "QUEUE.LST: " + std::to_string(c.skipped) +
                                (c.skipped == 1 ? " line could not be read and was skipped."
                                                : " lines could not be read and were skipped.")});
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedQueueList, ::testing::ValuesIn(DamagedQueueCases),
                         [](const auto& info) { return TestNameOf(info.param.what); });

TEST_F(QueueList, NamedPipeIsRefusedBeforeAskingAndWithoutWaiting) {
    table.Append("a", 1, 1);
    ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
    auto done = std::async(std::launch::async, [&] {
        try {
            Import();
            ADD_FAILURE() << "a named pipe was imported";
        } catch (const QueueListError& e) {
            EXPECT_EQ(std::string(e.what()),
                      Path() + " is a named pipe, not a regular file; it is not opened");
        }
    });
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "the import waited on the pipe";
        const int fd = ::open(Path().c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    done.get();
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(table[0].Conference, 1);

    EXPECT_THROW(ExportQueuedNewsgroups(table, dir.Path()), QueueListError);
    EXPECT_TRUE(fs::is_fifo(Path())) << "the pipe was replaced";
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
