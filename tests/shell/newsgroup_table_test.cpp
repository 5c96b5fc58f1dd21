// The table's sort order, Find Next, the Newsgroup Settings edit and the grid
// model over the table.
#include "core/newsgroup_table.h"
#include "shell/windows/newsgroup_table_model.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

NewsGroupTable TableOf(std::initializer_list<const char*> names) {
    NewsGroupTable table;
    for (const char* name : names)
        table.Append(name, -1, 0);
    return table;
}

std::vector<std::string> NamesOf(const NewsGroupTable& table) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < table.Count(); ++i)
        names.push_back(table[i].Name);
    return names;
}

TEST(SortGroups, IgnoresCaseOfLettersOnly) {
    NewsGroupTable table = TableOf({"b.x", "A.y", "a.x"});
    SortGroups(table);
    EXPECT_EQ(NamesOf(table), (std::vector<std::string>{"a.x", "A.y", "b.x"}));
}

TEST(SortGroups, PrefixFirstAndOtherBytesByUnsignedValue) {
    // Letters compare as upper case, so "_" (95) sorts after every letter and
    // "." (46) before; a byte above 127 sorts after all of ASCII.
    NewsGroupTable table = TableOf({"comp.lang", "a_b", "comp", "\xE9t\xE9", "ab", "a.b", "z"});
    SortGroups(table);
    EXPECT_EQ(NamesOf(table), (std::vector<std::string>{"a.b", "ab", "a_b", "comp", "comp.lang",
                                                        "z", "\xE9t\xE9"}));
}

TEST(FindNextMatch, SearchesBelowTheCurrentRowWithoutWrapping) {
    const NewsGroupTable table =
        TableOf({"comp.os", "alt.test", "Comp.Lang", "misc.xcompx", "rec.arts"});
    EXPECT_EQ(FindNextMatch(table, -1, "COMP"), 0u);
    EXPECT_EQ(FindNextMatch(table, 0, "COMP"), 2u); // the current row is not looked at
    EXPECT_EQ(FindNextMatch(table, 2, "comp"), 3u);
    EXPECT_EQ(FindNextMatch(table, 3, "comp"), std::nullopt);
    EXPECT_EQ(FindNextMatch(table, 4, "comp"), std::nullopt);
    EXPECT_EQ(FindNextMatch(table, -1, ""), std::nullopt);
    EXPECT_EQ(FindNextMatch(table, -1, "xyz"), std::nullopt);
}

TEST(FindNextMatch, FoldsOnlyAsciiLetters) {
    const NewsGroupTable table = TableOf({"de.caf\xE9", "de.CAF\xC9"});
    EXPECT_EQ(FindNextMatch(table, -1, "CAF\xC9"), 1u);
    EXPECT_EQ(FindNextMatch(table, -1, "caf\xE9"), 0u);
}

TEST(FindNextMatch, SurvivesTheTableShrinkingWhileMessagesRun) {
    NewsGroupTable table = TableOf({"a", "b", "c", "d.match"});
    int calls = 0;
    const auto result = FindNextMatch(table, -1, "match", [&] {
        if (++calls == 2)
            table.Items().resize(1);
    });
    EXPECT_EQ(result, std::nullopt);
}

TEST(GroupSettings, TextsShowUnqueuedAsEmptyConference) {
    NewsGroupRecord record;
    record.Conference = -1;
    record.LastRead = 0;
    EXPECT_EQ(GroupSettingsTextsOf(record).Conference, "");
    EXPECT_EQ(GroupSettingsTextsOf(record).LastRead, "0");
    record.Conference = 0;
    record.LastRead = -20;
    EXPECT_EQ(GroupSettingsTextsOf(record).Conference, "0");
    EXPECT_EQ(GroupSettingsTextsOf(record).LastRead, "-20");
}

TEST(GroupSettings, OkQueuesUnqueuesAndSetsTheLastReadPointer) {
    NewsGroupTable table = TableOf({"alt.test"});
    EXPECT_TRUE(ApplyGroupSettings(table, 0, {"0", "-20"}));
    EXPECT_EQ(table[0].Conference, 0);
    EXPECT_EQ(table[0].LastRead, -20);
    EXPECT_TRUE(table.GroupsChanged);

    EXPECT_TRUE(ApplyGroupSettings(table, 0, {"", "4711"}));
    EXPECT_EQ(table[0].Conference, -1);
    EXPECT_EQ(table[0].LastRead, 4711);

    EXPECT_TRUE(ApplyGroupSettings(table, 0, {" 65535 ", ""}));
    EXPECT_EQ(table[0].Conference, 65535);
    EXPECT_EQ(table[0].LastRead, 0);
}

// A conference a packet cannot carry, or a text that is no number, is refused
// and changes nothing; the message names the text and what would do.
TEST(GroupSettings, ConferenceOutOfRangeOrNotANumberIsRefused) {
    struct Case {
        GroupSettingsTexts texts;
        const char* message;
    };
    const char* conferenceHelp =
        "' is not a valid Qwk Conference: enter a number from 0 to 65535, or nothing for a group "
        "that is not queued.";
    const Case cases[] = {
        {{"65536", "0"}, conferenceHelp},
        {{"-1", "0"}, conferenceHelp},
        {{"-5", "0"}, conferenceHelp},
        {{"abc", "0"}, conferenceHelp},
        {{"seven", "many"}, conferenceHelp},
        {{"1.5", "0"}, conferenceHelp},
        {{"$10", "0"}, conferenceHelp},
        {{"99999999999", "0"}, conferenceHelp},
        {{"3", "many"}, "' is not a valid Last Message Read: enter a whole number."},
        {{"3", "12abc"}, "' is not a valid Last Message Read: enter a whole number."},
        {{"3", "99999999999"}, "' is not a valid Last Message Read: enter a whole number."},
    };
    for (const Case& c : cases) {
        NewsGroupTable table = TableOf({"alt.test"});
        table[0].Conference = 7;
        table[0].LastRead = 70;
        const bool conferenceWrong = std::string(c.message) == conferenceHelp;
        EXPECT_EQ(GroupSettingsProblem(c.texts),
                  "'" + (conferenceWrong ? c.texts.Conference : c.texts.LastRead) + c.message);
        EXPECT_FALSE(ApplyGroupSettings(table, 0, c.texts)) << c.texts.Conference;
        EXPECT_EQ(table[0].Conference, 7);
        EXPECT_EQ(table[0].LastRead, 70);
        EXPECT_FALSE(table.GroupsChanged);
    }
    EXPECT_EQ(GroupSettingsProblem({"", ""}), "");
    EXPECT_EQ(GroupSettingsProblem({"0", "-2147483648"}), "");
}

TEST(NewsGroupTableModel, ShowsTheTableWithItsHeaderTexts) {
    NewsGroupTable table;
    table.Append("alt.test", -1, 0);
    table.Append("comp.lang.c", 12, 4711);
    NewsGroupTableModel model(table);
    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Newsgroup");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Qwk Conference");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Last Message Read");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "alt.test");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "");
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), "0");
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "12");
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), "4711");
}

TEST(NewsGroupTableModel, ResetFollowsTheTableAndKeepsTheCurrentRowWherePossible) {
    NewsGroupTable table = TableOf({"a", "b", "c", "d", "e"});
    NewsGroupTableModel model(table);
    QItemSelectionModel selection(&model);
    selection.setCurrentIndex(model.index(2, 0), QItemSelectionModel::NoUpdate);

    table.Items().clear();
    for (const char* name : {"x", "y", "z", "w", "v", "u", "t"})
        table.Append(name, 1, 2);
    model.Reset();
    EXPECT_EQ(model.rowCount(), 7);
    EXPECT_EQ(selection.currentIndex().row(), 2);
    EXPECT_EQ(model.data(model.index(6, 0)).toString(), "t");
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), "1");

    table.Items().resize(2);
    model.Reset();
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_LT(selection.currentIndex().row(), 2);

    table.Clear();
    model.Reset();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(NewsGroupTableModel, RowChangedRefreshesThatRowOnly) {
    NewsGroupTable table = TableOf({"a", "b", "c"});
    NewsGroupTableModel model(table);
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    table[1].Conference = 9;
    static_cast<GroupRowView&>(model).GroupRowChanged(1);
    ASSERT_EQ(spy.count(), 1);
    const auto topLeft = spy[0][0].value<QModelIndex>();
    const auto bottomRight = spy[0][1].value<QModelIndex>();
    EXPECT_EQ(topLeft.row(), 1);
    EXPECT_EQ(bottomRight.row(), 1);
    EXPECT_EQ(bottomRight.column(), 2);
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "9");

    model.RowChanged(3); // past the end: nothing to refresh
    EXPECT_EQ(spy.count(), 1);
}

} // namespace
