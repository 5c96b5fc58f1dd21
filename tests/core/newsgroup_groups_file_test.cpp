// GROUPS.DAT on disk and the group line parser shared with list retrieval.
#include "core/groups_file.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> NamesOf(const NewsGroupTable& table) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < table.Count(); ++i)
        names.push_back(table[i].Name);
    return names;
}

// Files left beside GROUPS.DAT by an unfinished save.
std::vector<std::string> StrayFiles(const std::string& directory) {
    std::vector<std::string> stray;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name != "GROUPS.DAT")
            stray.push_back(name);
    }
    return stray;
}

class GroupsFile : public ::testing::Test {
protected:
    TempWorkDirectory dir{false};
    NewsGroupTable table;
    std::string Path() const { return dir.File("GROUPS.DAT"); }
};

TEST_F(GroupsFile, RoundTripsByteForByte) {
    const std::string bytes = "alt.test -1 0\r\n"
                              "comp.lang.c 12 4711\r\n"
                              "de.newusers 0 -25\r\n"
                              "misc.misc -1 2147483647\r\n";
    TempWorkDirectory::Write(Path(), bytes);
    ASSERT_TRUE(LoadGroups(table, dir.Path()));
    ASSERT_EQ(table.Count(), 4u);
    EXPECT_EQ(table[1].Name, "comp.lang.c");
    EXPECT_EQ(table[1].Conference, 12);
    EXPECT_EQ(table[1].LastRead, 4711);
    EXPECT_EQ(table[2].LastRead, -25);

    table.GroupsChanged = true;
    ASSERT_TRUE(SaveGroups(table, dir.Path()));
    EXPECT_FALSE(table.GroupsChanged);
    EXPECT_EQ(TempWorkDirectory::Read(Path()), bytes);
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());
}

TEST_F(GroupsFile, EmptyTableSavesEmptyFile) {
    TempWorkDirectory::Write(Path(), "old.group 1 2\r\n");
    ASSERT_TRUE(SaveGroups(table, dir.Path()));
    EXPECT_EQ(TempWorkDirectory::Read(Path()), "");
}

// One damaged GROUPS.DAT each: what loads, how many lines are skipped, and
// that nothing after a damaged line is lost.
struct DamagedFileCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> names;
    std::size_t skipped;
};

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

const DamagedFileCase DamagedFileCases[] = {
    {"bare LF line ends",
     "a.one 1 10\nb.two -1 0\nc.three 3 30\n",
     {"a.one", "b.two", "c.three"},
     0},
    {"bare CR line ends", "a.one 1 10\rb.two -1 0\rc.three 3 30", {"a.one", "b.two", "c.three"}, 0},
    {"mixed line ends",
     "a.one 1 10\r\nb.two -1 0\nc.three 3 30\r\r\nd.four 4 40",
     {"a.one", "b.two", "c.three", "d.four"},
     0},
    {"blank lines and blanks around the words",
     "\r\n  a.one\t1   10  \r\n \t \r\nb.two -1 0\r\n\r\n",
     {"a.one", "b.two"},
     0},
    {"a zero byte inside a line",
     "a.one 1 10\r\nb.t\0wo 2 20\r\nc.three 3 30\r\n"s,
     {"a.one", "c.three"},
     1},
    {"a zero byte ending a line",
     "a.one 1 10\r\nb.two 2 20\0\r\nc.three 3 30\r\n"s,
     {"a.one", "c.three"},
     1},
    {"a run of zero bytes where a block was lost",
     "a.one 1 10\r\nb.t"s + std::string(600, '\0') + "ee 3 30\r\nd.four 4 40\r\n",
     {"a.one", "d.four"},
     1},
    {"a zero byte as the first byte", "\0a.one 1 10\r\nb.two 2 20\r\n"s, {"b.two"}, 1},
    {"garbage lines",
     "a.one 1 10\r\n\x01\x02\xff\xfe\r\nnospace\r\nb.two 2 20\r\n",
     {"a.one", "b.two"},
     2},
    {"damaged numbers",
     "one.number 12\r\nletters.conf x 5\r\nletters.last 3 y\r\n"
     "too.many 3 4 5\r\nhex.numbers $1F 7\r\nhuge 1 99999999999\r\n"
     "no.line.end 4 9",
     {"hex.numbers", "no.line.end"},
     5},
    {"a line that lost its name", "a.one 1 10\r\n 3 30\r\nb.two 2 20\r\n", {"a.one", "b.two"}, 1},
    {"the status line of a server is no group here",
     "215 list follows\r\na.one 1 10\r\n",
     {"a.one"},
     1},
};

class DamagedGroupsFile : public ::testing::TestWithParam<DamagedFileCase> {
protected:
    TempWorkDirectory dir{false};
    NewsGroupTable table;
    std::string Path() const { return dir.File("GROUPS.DAT"); }
};

TEST_P(DamagedGroupsFile, SkipsOnlyTheDamagedLinesAndSavesEverythingElse) {
    const DamagedFileCase& c = GetParam();
    TempWorkDirectory::Write(Path(), c.bytes);
    EXPECT_EQ(ParseGroupLines(table, c.bytes, false, true), c.skipped);
    EXPECT_EQ(NamesOf(table), c.names);

    std::string notice = "stale";
    ASSERT_TRUE(LoadGroups(table, dir.Path(), &notice));
    ASSERT_EQ(NamesOf(table), c.names);
    const bool backupKept = fs::exists(Path() + ".bak");
    if (c.skipped == 0) {
        EXPECT_EQ(notice, "");
        EXPECT_FALSE(backupKept);
    } else {
        EXPECT_EQ(notice, "GROUPS.DAT: " + std::to_string(c.skipped) +
                              (c.skipped == 1 ? " line could not be read and was skipped"
                                              : " lines could not be read and were skipped") +
                              "; the original is kept as GROUPS.DAT.bak");
        ASSERT_TRUE(backupKept);
        EXPECT_EQ(TempWorkDirectory::Read(Path() + ".bak"), c.bytes);
    }

    // The save keeps every group that loaded, each as a clean line.
    table.GroupsChanged = true;
    ASSERT_TRUE(SaveGroups(table, dir.Path()));
    NewsGroupTable reloaded;
    ASSERT_TRUE(LoadGroups(reloaded, dir.Path(), &notice));
    EXPECT_EQ(notice, "");
    EXPECT_EQ(NamesOf(reloaded), c.names);
    if (c.skipped > 0) {
        EXPECT_EQ(TempWorkDirectory::Read(Path() + ".bak"), c.bytes) << "the copy stays";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedGroupsFile, ::testing::ValuesIn(DamagedFileCases),
                         [](const auto& info) { return TestNameOf(info.param.what); });

TEST_F(GroupsFile, NumbersOfLinesThatLoadAreKept) {
    TempWorkDirectory::Write(Path(), "queued.one 12 4711\nbroken\0 1 1\nqueued.two 0 -25\n"s);
    ASSERT_TRUE(LoadGroups(table, dir.Path()));
    ASSERT_EQ(NamesOf(table), (std::vector<std::string>{"queued.one", "queued.two"}));
    EXPECT_EQ(table[0].Conference, 12);
    EXPECT_EQ(table[0].LastRead, 4711);
    EXPECT_EQ(table[1].Conference, 0);
    EXPECT_EQ(table[1].LastRead, -25);
}

TEST_F(GroupsFile, MissingFileLeavesTableEmpty) {
    EXPECT_FALSE(LoadGroups(table, dir.Path()));
    EXPECT_TRUE(table.Empty());
    EXPECT_FALSE(fs::exists(Path() + ".bak"));
}

// The copy of a damaged file is written once; later loads of the same bytes
// leave it alone, and a differently damaged file replaces it.
TEST_F(GroupsFile, BackupOfTheSameDamagedFileIsNotWrittenAgain) {
    const std::string damaged = "a.one 1 1\r\nnospace\r\nb.two 2 2\r\n";
    TempWorkDirectory::Write(Path(), damaged);
    ASSERT_TRUE(LoadGroups(table, dir.Path()));
    const std::string backup = Path() + ".bak";
    ASSERT_EQ(TempWorkDirectory::Read(backup), damaged);
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(backup, longAgo);

    std::string notice;
    ASSERT_TRUE(LoadGroups(table, dir.Path(), &notice));
    EXPECT_NE(notice, "");
    EXPECT_EQ(fs::last_write_time(backup), longAgo) << "the same bytes were written again";

    const std::string otherDamage = "c.three 3 3\r\nx\r\n";
    TempWorkDirectory::Write(Path(), otherDamage);
    ASSERT_TRUE(LoadGroups(table, dir.Path()));
    EXPECT_EQ(TempWorkDirectory::Read(backup), otherDamage);
    EXPECT_EQ(StrayFiles(dir.Path()), std::vector<std::string>{"GROUPS.DAT.bak"});
}

// When no copy can be kept, the lines are not dropped: GROUPS.DAT stays as it
// is until a copy can be written.
TEST_F(GroupsFile, DamagedFileIsNotReplacedWhileNoCopyCanBeKept) {
    const std::string damaged = "a.one 1 1\r\nnospace\r\n";
    TempWorkDirectory::Write(Path(), damaged);
    fs::create_directory(Path() + ".bak");
    std::string notice;
    ASSERT_TRUE(LoadGroups(table, dir.Path(), &notice));
    EXPECT_NE(notice.find("could not be kept as GROUPS.DAT.bak"), std::string::npos) << notice;
    EXPECT_TRUE(table.UnkeptOriginal.has_value());

    table.GroupsChanged = true;
    EXPECT_THROW(SaveGroups(table, dir.Path()), GroupsFileError);
    EXPECT_TRUE(table.GroupsChanged);
    EXPECT_EQ(TempWorkDirectory::Read(Path()), damaged);

    // Once the copy can be written, the save writes it first.
    fs::remove(Path() + ".bak");
    table.Clear(); // as Get All Newsgroups does: the copy is still owed
    table.Append("from.server", -1, 0);
    ASSERT_TRUE(SaveGroups(table, dir.Path()));
    EXPECT_EQ(TempWorkDirectory::Read(Path() + ".bak"), damaged);
    EXPECT_EQ(TempWorkDirectory::Read(Path()), "from.server -1 0\r\n");
    EXPECT_FALSE(table.UnkeptOriginal.has_value());
}

TEST_F(GroupsFile, LoadReplacesWhatTheTableHeld) {
    table.Append("stale", 1, 1);
    TempWorkDirectory::Write(Path(), "fresh -1 0\r\n");
    ASSERT_TRUE(LoadGroups(table, dir.Path()));
    EXPECT_EQ(NamesOf(table), std::vector<std::string>{"fresh"});
}

TEST_F(GroupsFile, SaveThatCannotReplaceTheFileFailsQuietlyAndStaysChanged) {
    fs::create_directory(Path());
    TempWorkDirectory::Write(Path() + "/inside", "x");
    table.Append("a.b", 1, 2);
    table.GroupsChanged = true;
    EXPECT_FALSE(SaveGroups(table, dir.Path()));
    EXPECT_TRUE(table.GroupsChanged);
    EXPECT_TRUE(fs::is_directory(Path()));
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());
}

// A write that fails halfway (here: the file size limit, as a full disk would)
// must leave the old GROUPS.DAT whole.
TEST_F(GroupsFile, FailedWriteKeepsOldFileWholeAndStaysChanged) {
    const std::string old = "old.group 3 33\r\n";
    TempWorkDirectory::Write(Path(), old);
    for (int i = 0; i < 200; ++i)
        table.Append("group.number." + std::to_string(i), i, i * 10);
    table.GroupsChanged = true;

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        SaveGroups(table, dir.Path());
    } catch (const GroupsFileError& e) {
        threw = true;
        EXPECT_NE(std::string(e.what()).find("GROUPS.DAT"), std::string::npos);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(threw);
    EXPECT_TRUE(table.GroupsChanged);
    EXPECT_EQ(TempWorkDirectory::Read(Path()), old);
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());
}

TEST_F(GroupsFile, SaveReplacesTheFileASymbolicLinkNames) {
    fs::create_directory(dir.File("real"));
    TempWorkDirectory::Write(dir.File("real/GROUPS.DAT"), "old 1 1\r\n");
    fs::create_symlink(dir.File("real/GROUPS.DAT"), Path());
    table.Append("new", 2, 2);
    ASSERT_TRUE(SaveGroups(table, dir.Path()));
    EXPECT_TRUE(fs::is_symlink(Path()));
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("real/GROUPS.DAT")), "new 2 2\r\n");
}

// Runs `action`, which must not wait on the named pipe at fifoPath; if it
// does, the pipe is opened for writing and closed so the action ends, and the
// test fails.
template <typename Action> void ExpectNoWaitOnPipe(const std::string& fifoPath, Action action) {
    auto done = std::async(std::launch::async, action);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "waited on the named pipe " << fifoPath;
        const int fd = ::open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    done.get();
}

TEST_F(GroupsFile, NamedPipeIsRefusedWithoutBeingOpened) {
    ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
    table.Append("kept", 1, 1);
    ExpectNoWaitOnPipe(Path(), [&] {
        try {
            LoadGroups(table, dir.Path());
            ADD_FAILURE() << "a named pipe loaded";
        } catch (const GroupsFileError& e) {
            EXPECT_EQ(std::string(e.what()),
                      Path() + " is a named pipe, not a regular file; it is not opened");
        }
    });
    EXPECT_EQ(NamesOf(table), std::vector<std::string>{"kept"});

    // Nor is it replaced.
    table.GroupsChanged = true;
    ExpectNoWaitOnPipe(Path(), [&] { EXPECT_FALSE(SaveGroups(table, dir.Path())); });
    EXPECT_TRUE(fs::is_fifo(Path()));
    EXPECT_TRUE(table.GroupsChanged);
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());
}

TEST_F(GroupsFile, DeviceAndDirectoryAreRefused) {
    // A device node of its own (the null device's numbers), reached through a
    // link as a hostile GROUPS.DAT would be; where no node may be made, the
    // directory half still runs.
    const std::string device = dir.File("null-device");
    if (::mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        fs::create_symlink(device, Path());
        EXPECT_THROW(LoadGroups(table, dir.Path()), GroupsFileError);
        table.Append("a", 1, 1);
        table.GroupsChanged = true;
        EXPECT_FALSE(SaveGroups(table, dir.Path()));
        EXPECT_TRUE(fs::is_character_file(device)) << "the device was replaced";
        fs::remove(Path());
        fs::remove(device);
    }

    fs::create_directory(Path());
    try {
        LoadGroups(table, dir.Path());
        FAIL() << "a directory loaded";
    } catch (const GroupsFileError& e) {
        EXPECT_NE(std::string(e.what()).find("is a directory"), std::string::npos) << e.what();
    }
}

TEST(ParseServerList, GetAllTakesEveryNamedLineUnqueued) {
    NewsGroupTable table;
    table.Append("old.entry", 5, 50);
    ParseGroupLines(table,
                    "215 list of newsgroups follows\r\n"
                    "zz.last 10 1 y\r\n"
                    "aa.first 0000000003 0000000001 m\r\n"
                    "zz.last 10 1 y\r\n"
                    ".\r\n",
                    true, true);
    ASSERT_EQ(NamesOf(table), (std::vector<std::string>{"zz.last", "aa.first", "zz.last"}));
    EXPECT_EQ(table[1].Conference, -1);
    EXPECT_EQ(table[1].LastRead, 0);
}

TEST(ParseServerList, MergeKeepsExistingEntriesAndAppendsNewNamesInListOrder) {
    NewsGroupTable table;
    table.Append("comp.lang.c", 4, 400);
    table.Append("alt.test", -1, 7);
    ParseGroupLines(table,
                    "231 list of new newsgroups follows\r\n"
                    "new.zulu 5 1 y\r\n"
                    "comp.lang.c 99 1 y\r\n"
                    "Alt.Test 3 1 y\r\n"
                    "justaname\r\n"
                    "new.alpha 2 1 m\r\n"
                    "new.zulu 5 1 y\r\n"
                    ".\r\n",
                    true, false);
    ASSERT_EQ(NamesOf(table), (std::vector<std::string>{"comp.lang.c", "alt.test", "new.zulu",
                                                        "Alt.Test", "new.alpha"}));
    EXPECT_EQ(table[0].Conference, 4);
    EXPECT_EQ(table[0].LastRead, 400);
    EXPECT_EQ(table[1].LastRead, 7);
    EXPECT_EQ(table[3].Conference, -1);
}

TEST(ParseServerList, DamagedLinesAreSkippedCountedAndTheListGoesOn) {
    NewsGroupTable table;
    const std::string list = "aa.first 3 1 y\r\n"
                             "bb.\0broken 3 1 y\r\n"s
                             "justaname\r\n"
                             "cc.lf 3 1 y\n"
                             "\r\n"
                             "dd.last 3 1 m\r\n"
                             ".\r\n";
    EXPECT_EQ(ParseGroupLines(table, list, true, true), 2u);
    EXPECT_EQ(NamesOf(table), (std::vector<std::string>{"aa.first", "cc.lf", "dd.last"}));

    // Merging counts the same way.
    table.Append("new.one", -1, 0);
    EXPECT_EQ(
        ParseGroupLines(table, "x\0y 1 1 y\r\nnew.one 1 1 y\r\nnew.two 1 1 y\r\n"s, true, false),
        1u);
    EXPECT_EQ(NamesOf(table),
              (std::vector<std::string>{"aa.first", "cc.lf", "dd.last", "new.one", "new.two"}));
}

// A zero byte early in a long list once cut the whole table to the two groups
// before it.
TEST(ParseServerList, ZeroByteInALongListCostsOnlyItsLine) {
    std::string list;
    list.reserve(200001 * 24);
    for (int i = 0; i < 200001; ++i) {
        list += "group.number." + std::to_string(i) + " 10 1 y\r\n";
        if (i == 1)
            list += "damaged\0line 10 1 y\r\n"s;
    }
    NewsGroupTable table;
    EXPECT_EQ(ParseGroupLines(table, list, true, true), 1u);
    ASSERT_EQ(table.Count(), 200001u);
    EXPECT_EQ(table[2].Name, "group.number.2");
    EXPECT_EQ(table[200000].Name, "group.number.200000");
}

TEST(ParseServerList, EmptyDocumentEmptiesTheTableOnReplace) {
    NewsGroupTable table;
    table.Append("gone", 1, 1);
    ParseGroupLines(table, "", true, true);
    EXPECT_TRUE(table.Empty());
}

} // namespace
