// Get All Newsgroups, Get New Newsgroups and the queue list against the local
// news server that scripts/newsd runs.
#include "core/groups_file.h"
#include "core/queue_list.h"
#include "nntp/newsgroup_list_retrieval.h"
#include "support/local_news_server.h"
#include "support/recording_views.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <QDate>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A name no earlier run has created.
std::string FreshGroupName(const char* stem) {
    return std::string("zandrel.test.") + stem + "." + std::to_string(::getpid()) + "x" +
           std::to_string(QDateTime::currentMSecsSinceEpoch());
}

class NewsgroupListE2E : public ::testing::Test {
protected:
    void SetUp() override {
        settings.NntpServer = "127.0.0.1";
        settings.NntpPort = NewsdPort();
        settings.LastGetGroups = QDate::currentDate();
        connection = std::make_unique<NewsConnection>(settings, view);
        connection->ConnectAndWait();
        ASSERT_FALSE(connection->Disconnected()) << "no news server: start scripts/newsd";
    }
    void TearDown() override {
        if (connection)
            connection->DisconnectAndWait();
    }

    bool GetAll(bool answer = true) {
        return GetAllNewsgroups(
            *connection, table, settings, dir.Path(),
            [this, answer](const std::string& question) {
                questions.push_back(question);
                return answer;
            },
            [this] { ++gridFills; });
    }
    bool GetNew() {
        return GetNewNewsgroups(*connection, table, settings, dir.Path(), [this] { ++gridFills; });
    }
    std::size_t IndexOf(const std::string& name) const {
        for (std::size_t i = 0; i < table.Count(); ++i) {
            if (table[i].Name == name)
                return i;
        }
        return table.Count();
    }

    TempWorkDirectory dir{false};
    Settings settings;
    RecordingConnectionView view;
    std::unique_ptr<NewsConnection> connection;
    NewsGroupTable table;
    std::vector<std::string> questions;
    int gridFills = 0;
};

TEST_F(NewsgroupListE2E, GetAllFillsTheTableSortedAndStoresFileAndDate) {
    const std::string created = FreshGroupName("all");
    Newsd("newgroup " + created);
    table.Append("local.only", 3, 30);
    settings.LastGetGroups = QDate::currentDate().addDays(-10);

    ASSERT_TRUE(GetAll());
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(gridFills, 1);
    ASSERT_GT(table.Count(), 1u);
    EXPECT_LT(IndexOf(created), table.Count());
    EXPECT_EQ(IndexOf("local.only"), table.Count());
    for (std::size_t i = 0; i < table.Count(); ++i) {
        EXPECT_EQ(table[i].Conference, -1);
        EXPECT_EQ(table[i].LastRead, 0);
        if (i > 0) {
            EXPECT_FALSE(NewsgroupNameLess(table[i].Name, table[i - 1].Name)) << table[i].Name;
        }
    }

    // GROUPS.DAT holds the table as it is now; the date is today's.
    NewsGroupTable saved;
    ASSERT_TRUE(LoadGroups(saved, dir.Path()));
    ASSERT_EQ(saved.Count(), table.Count());
    EXPECT_EQ(saved[0].Name, table[0].Name);
    EXPECT_FALSE(table.GroupsChanged);
    EXPECT_EQ(settings.LastGetGroups, QDate::currentDate());
    const std::string ini = TempWorkDirectory::Read(dir.File("ZANDREL.INI"));
    EXPECT_NE(ini.find(FormatSettingsDate(QDate::currentDate())), std::string::npos) << ini;
    EXPECT_EQ(view.LastText(), "Getting list of groups: Done");
}

TEST_F(NewsgroupListE2E, GetAllAnsweredNoChangesNothing) {
    table.Append("local.only", 3, 30);
    EXPECT_FALSE(GetAll(false));
    ASSERT_EQ(table.Count(), 1u);
    EXPECT_EQ(table[0].Conference, 3);
    EXPECT_FALSE(fs::exists(dir.File("GROUPS.DAT")));
    EXPECT_EQ(gridFills, 0);
}

TEST_F(NewsgroupListE2E, GetNewAppendsCreatedGroupAndKeepsExistingEntries) {
    ASSERT_TRUE(GetAll());
    EXPECT_TRUE(questions.empty()); // the table was empty
    ASSERT_GE(table.Count(), 2u);
    table[0].Conference = 7;
    table[0].LastRead = 70;
    table[1].LastRead = -5;
    const std::size_t before = table.Count();
    const std::string first = table[0].Name;

    const std::string created = FreshGroupName("new");
    Newsd("newgroup " + created);
    ASSERT_TRUE(GetNew());
    ASSERT_GT(table.Count(), before);
    EXPECT_GE(IndexOf(created), before); // appended, not sorted in
    EXPECT_LT(IndexOf(created), table.Count());
    EXPECT_EQ(table[0].Name, first);
    EXPECT_EQ(table[0].Conference, 7);
    EXPECT_EQ(table[0].LastRead, 70);
    EXPECT_EQ(table[1].LastRead, -5);
    // Groups made earlier today are listed again and skipped by name.
    std::set<std::string> names;
    for (std::size_t i = 0; i < table.Count(); ++i)
        EXPECT_TRUE(names.insert(table[i].Name).second) << "twice: " << table[i].Name;
    EXPECT_EQ(view.LastText(), "Getting List of New Groups: Done");
}

TEST_F(NewsgroupListE2E, QueueSurvivesGetAllThroughExportAndImport) {
    ASSERT_TRUE(GetAll());
    ASSERT_GE(table.Count(), 2u);
    table[0].Conference = 1;
    table[0].LastRead = 11;
    table[table.Count() - 1].Conference = 2;
    table[table.Count() - 1].LastRead = 22;
    table.Append("gone.from.server", 3, 33);
    const std::string firstName = table[0].Name;
    const std::string lastName = table[table.Count() - 2].Name;
    ExportQueuedNewsgroups(table, dir.Path());

    ASSERT_TRUE(GetAll());
    EXPECT_EQ(IndexOf("gone.from.server"), table.Count());
    const auto changed = ImportQueuedNewsgroups(
        table, dir.Path(), [](const std::string&) { return true; },
        [](const std::string& message) { ADD_FAILURE() << message; });
    EXPECT_EQ(changed.size(), 2u);
    EXPECT_EQ(table[IndexOf(firstName)].Conference, 1);
    EXPECT_EQ(table[IndexOf(firstName)].LastRead, 11);
    EXPECT_EQ(table[IndexOf(lastName)].Conference, 2);
    EXPECT_EQ(table[IndexOf(lastName)].LastRead, 22);
    EXPECT_EQ(IndexOf("gone.from.server"), table.Count());
    EXPECT_TRUE(table.GroupsChanged);
}

} // namespace
