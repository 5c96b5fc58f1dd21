// Where an installed program keeps its files, and how it moves in there on a
// fresh account.
#include "data_directory.h"
#include "support/temp_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(DataDirectory, ZandrelHomeThenAbsoluteXdgDataHomeThenHome) {
    struct Case {
        const char* zandrelHome;
        const char* xdgDataHome;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/srv/news", "/data", "/home/ann", "/srv/news"},
        {"", "/data", "/home/ann", "/data/zandrel"},
        {nullptr, "relative/data", "/home/ann", "/home/ann/.local/share/zandrel"},
        {nullptr, nullptr, "/home/ann", "/home/ann/.local/share/zandrel"},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DataDirectoryFor(c.zandrelHome, c.xdgDataHome, c.home), c.expected)
            << (c.zandrelHome ? c.zandrelHome : "-") << " "
            << (c.xdgDataHome ? c.xdgDataHome : "-");
}

TEST(DataDirectory, AFreshAccountGetsAPrivateDirectoryMadeCurrent) {
    TempWorkDirectory home(false);
    const fs::path previous = fs::current_path();
    const std::string directory = DataDirectoryFor(nullptr, nullptr, home.Path().c_str());
    EXPECT_EQ(EnterDataDirectory(directory), "");
    EXPECT_EQ(fs::current_path(), fs::path(directory));
    EXPECT_EQ(fs::status(directory).permissions() & fs::perms::all, fs::perms::owner_all);
    fs::current_path(previous);
    // A file where the directory should be is reported, not entered.
    TempWorkDirectory::Write(home.File("blocked"), "");
    EXPECT_NE(EnterDataDirectory(home.File("blocked")), "");
    EXPECT_EQ(fs::current_path(), previous);
}

} // namespace
