// GROUPS.DAT on disk and the group line parser shared with list retrieval.
#include "core/groups_file.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

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

TEST_F(GroupsFile, DamagedLinesYieldUnqueuedEntriesAndNamelessLinesAreDropped) {
    TempWorkDirectory::Write(Path(), "one.number 12\r\n"
                                     "letters.conf x 5\r\n"
                                     "letters.last 3 y\r\n"
                                     "too.many 3 4 5\r\n"
                                     "nospace\r\n"
                                     "\r\n"
                                     "hex.numbers $1F 7\r\n"
                                     "no.line.end 4 9");
    ASSERT_TRUE(LoadGroups(table, dir.Path()));
    ASSERT_EQ(NamesOf(table),
              (std::vector<std::string>{"one.number", "letters.conf", "letters.last", "too.many",
                                        "hex.numbers", "no.line.end"}));
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(table[i].Conference, -1) << table[i].Name;
        EXPECT_EQ(table[i].LastRead, 0) << table[i].Name;
    }
    EXPECT_EQ(table[4].Conference, 31);
    EXPECT_EQ(table[5].Conference, 4);
    EXPECT_EQ(table[5].LastRead, 9);
}

TEST_F(GroupsFile, MissingFileLeavesTableEmptyAndZeroByteEndsData) {
    EXPECT_FALSE(LoadGroups(table, dir.Path()));
    EXPECT_TRUE(table.Empty());

    using namespace std::string_literals;
    TempWorkDirectory::Write(Path(), "kept 1 2\r\ncut.short 3 4\0lost 5 6\r\n"s);
    ASSERT_TRUE(LoadGroups(table, dir.Path()));
    ASSERT_EQ(NamesOf(table), (std::vector<std::string>{"kept", "cut.short"}));
    EXPECT_EQ(table[1].LastRead, 4);
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

TEST(ParseServerList, EmptyDocumentEmptiesTheTableOnReplace) {
    NewsGroupTable table;
    table.Append("gone", 1, 1);
    ParseGroupLines(table, "", true, true);
    EXPECT_TRUE(table.Empty());
}

} // namespace
