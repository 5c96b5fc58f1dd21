// The list commands against the scripted server: what they do when the
// transfer fails or nothing is connected, and what goes on the wire. The
// whole round trip against a real server is in tests/e2e.
#include "core/groups_file.h"
#include "nntp/newsgroup_list_retrieval.h"
#include "scripted_news_server.h"
#include "support/recording_views.h"
#include "temp_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(NewsgroupListRetrieval, DoesNothingWhileDisconnected) {
    TempWorkDirectory dir(false);
    Settings settings;
    const QDate lastTime(2020, 5, 17);
    settings.LastGetGroups = lastTime;
    RecordingConnectionView view;
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

class ScriptedListRetrieval : public ::testing::Test {
protected:
    void SetUp() override {
        settings.NntpServer = server.Host();
        settings.NntpPort = server.Port();
        settings.LastGetGroups = lastTime;
        connection = std::make_unique<NewsConnection>(settings, view);
        connection->ConnectAndWait();
        ASSERT_FALSE(connection->Disconnected());
    }
    void TearDown() override { connection->DisconnectAndWait(); }

    ScriptedNewsServer server;
    TempWorkDirectory dir{false};
    const QDate lastTime{2024, 2, 29};
    Settings settings;
    RecordingConnectionView view;
    std::unique_ptr<NewsConnection> connection;
    NewsGroupTable table;
    int filled = 0;
};

TEST_F(ScriptedListRetrieval, FailedTransferLeavesTableFileAndDateAlone) {
    server.Reply("LIST", "503 program fault\r\n");
    server.Reply("NEWGROUPS", "503 program fault\r\n");
    table.Append("kept", 4, 40);
    EXPECT_FALSE(GetAllNewsgroups(
        *connection, table, settings, dir.Path(), [](const std::string&) { return true; },
        [&] { ++filled; }));
    EXPECT_FALSE(GetNewNewsgroups(*connection, table, settings, dir.Path(), [&] { ++filled; }));
    EXPECT_EQ(filled, 0);
    ASSERT_EQ(table.Count(), 1u);
    EXPECT_EQ(table[0].LastRead, 40);
    EXPECT_EQ(settings.LastGetGroups, lastTime);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(ScriptedListRetrieval, GetNewAsksSinceTheStoredDayAndAppendsUnsorted) {
    // In this order, so the table shows it keeps the server's order.
    server.Reply("NEWGROUPS", "231 New newsgroups follow\r\n" +
                                  ScriptedNewsServer::DataBlock("zz.new 0 1 y\r\n"
                                                                "comp.lang.c 9 1 y\r\n"
                                                                "aa.new 0 1 y\r\n"));
    table.Append("comp.lang.c", 5, 55);
    ASSERT_TRUE(GetNewNewsgroups(*connection, table, settings, dir.Path(), [&] { ++filled; }));

    bool askedSinceStoredDay = false;
    for (const std::string& command : server.Commands())
        askedSinceStoredDay |= command.rfind("NEWGROUPS 20240229 000000", 0) == 0;
    EXPECT_TRUE(askedSinceStoredDay);
    ASSERT_EQ(table.Count(), 3u);
    EXPECT_EQ(table[0].Conference, 5);
    EXPECT_EQ(table[0].LastRead, 55);
    EXPECT_EQ(table[1].Name, "zz.new");
    EXPECT_EQ(table[2].Name, "aa.new");
    EXPECT_EQ(filled, 1);
    EXPECT_EQ(settings.LastGetGroups, QDate::currentDate());
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("GROUPS.DAT")),
              "comp.lang.c 5 55\r\nzz.new -1 0\r\naa.new -1 0\r\n");
    EXPECT_NE(TempWorkDirectory::Read(dir.File("ZANDREL.INI"))
                  .find(FormatSettingsDate(QDate::currentDate())),
              std::string::npos);
}

TEST(NewsgroupListRetrieval, AutomationDateCountsDaysFromTheEndOf1899) {
    EXPECT_EQ(AutomationDate(QDate(1899, 12, 30)), 0.0);
    EXPECT_EQ(AutomationDate(QDate(1900, 3, 1)), 61.0);
    EXPECT_EQ(AutomationDate(QDate(2000, 1, 1)), 36526.0);
}

} // namespace
