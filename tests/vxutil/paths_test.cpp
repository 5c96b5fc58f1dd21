#include "vxutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(VxSlashIt, AppendsOneSeparatorUnlessTheLastCharacterIsOne) {
    EXPECT_EQ(VxSlashIt("/var/WORK"), "/var/WORK/");
    EXPECT_EQ(VxSlashIt("/var/WORK/"), "/var/WORK/");
    EXPECT_EQ(VxSlashIt("/var/WORK//"), "/var/WORK//");
    EXPECT_EQ(VxSlashIt("WORK\\"), "WORK\\/");
    EXPECT_EQ(VxSlashIt("/"), "/");
    // An empty setting must not turn into the root directory.
    EXPECT_EQ(VxSlashIt(""), "");
}

class VxEmptyDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    fs::path Root() const { return fs::path(temp.path().toStdString()); }
    static void Touch(const fs::path& path) { std::ofstream(path) << "x"; }
    QTemporaryDir temp;
};

TEST_F(VxEmptyDirectoryTest, RemovesEverythingAndFollowsNoLink) {
    const fs::path staging = Root() / "TEMP";
    fs::create_directories(staging / "MESSAGES.DAT" / "x"); // as a crafted packet leaves it
    Touch(staging / "MESSAGES.DAT" / "x" / "inside.txt");
    Touch(staging / ".hidden");
    Touch(staging / "noextension");
    fs::create_directories(Root() / "elsewhere");
    Touch(Root() / "elsewhere" / "kept.txt");
    fs::create_directory_symlink(Root() / "elsewhere", staging / "link");
    fs::create_directory_symlink(Root() / "elsewhere", staging / "MESSAGES.DAT" / "deeplink");
    Touch(Root() / "outside.txt");

    VxEmptyDirectory(staging.string());

    EXPECT_TRUE(fs::is_empty(staging));
    EXPECT_TRUE(fs::exists(Root() / "elsewhere" / "kept.txt")) << "a link was followed";
    EXPECT_TRUE(fs::exists(Root() / "outside.txt"));
}

TEST_F(VxEmptyDirectoryTest, WorksWithATrailingSeparator) {
    Touch(Root() / "a.txt");
    VxEmptyDirectory(VxSlashIt(Root().string()));
    EXPECT_TRUE(fs::is_empty(Root()));
}

TEST_F(VxEmptyDirectoryTest, MissingOrEmptyNamesDoNothing) {
    VxEmptyDirectory((Root() / "missing").string());

    // An empty name would otherwise mean the current directory.
    const fs::path previous = fs::current_path();
    fs::current_path(Root());
    Touch(Root() / "keep.txt");
    VxEmptyDirectory("");
    fs::current_path(previous);
    EXPECT_TRUE(fs::exists(Root() / "keep.txt"));
}
