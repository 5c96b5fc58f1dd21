// The list commands' guards that need no server; the transfers themselves
// are tested against the local news server (tests/e2e).
#include "nntp/newsgroup_list_retrieval.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class NoView : public ConnectionView {
public:
    void SetStatusText(const std::string&) override {}
    void ApplyEnablingSet(bool) override {}
    void RepaintStatus() override {}
};

TEST(NewsgroupListRetrieval, DoesNothingWhileDisconnected) {
    TempWorkDirectory dir(false);
    Settings settings;
    const QDate lastTime(2020, 5, 17);
    settings.LastGetGroups = lastTime;
    NoView view;
    NewsConnection connection(settings, view);
    NewsGroupTable table;
    table.Append("kept", 4, 40);
    int asked = 0;
    int filled = 0;

    EXPECT_FALSE(GetAllNewsgroups(
        connection, table, settings, dir.Path(), [&](const std::string&) { return ++asked, true; },
        [&] { ++filled; }));
    EXPECT_FALSE(GetNewNewsgroups(connection, table, settings, dir.Path(), [&] { ++filled; }));

    EXPECT_EQ(asked, 0);
    EXPECT_EQ(filled, 0);
    ASSERT_EQ(table.Count(), 1u);
    EXPECT_EQ(table[0].Conference, 4);
    EXPECT_EQ(settings.LastGetGroups, lastTime);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(NewsgroupListRetrieval, AutomationDateCountsDaysFromTheEndOf1899) {
    EXPECT_EQ(AutomationDate(QDate(1899, 12, 30)), 0.0);
    EXPECT_EQ(AutomationDate(QDate(1900, 3, 1)), 61.0);
    EXPECT_EQ(AutomationDate(QDate(2000, 1, 1)), 36526.0);
}

} // namespace
