#include "profile.h"
#include "support/temp_directory.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }

    fs::path Dir() const { return fs::path(temp.path().toStdString()); }
    std::string Ini() const { return (Dir() / "ZANDREL.INI").string(); }

    void WriteIni(const std::string& contents) const { TempWorkDirectory::Write(Ini(), contents); }
    std::string ReadIni() const { return TempWorkDirectory::Read(Ini()); }
    std::string Get(const std::string& section, const std::string& key,
                    const std::string& fallback = "<default>") const {
        return GetPrivateProfileString(section, key, fallback, Ini());
    }
    bool Put(const std::string& section, const std::string& key, const std::string& value) const {
        return WritePrivateProfileString(section, key, value, Ini());
    }

    QTemporaryDir temp;
};

} // namespace

TEST_F(ProfileTest, ReadsKeysOfTheirOwnSectionIgnoringCaseAndSpaces) {
    WriteIni("; settings\r\n"
             "[Other]\r\n"
             "NNTP Server=wrong\r\n"
             "  [ nntp ]  \r\n"
             "nntp server = news.example.org  \r\n"
             "Empty=\r\n"
             "; NNTP Password=commented\r\n"
             "Equation=a=b\r\n"
             "[Qwk]\r\n"
             "Qwk ID=ZANDREL\r\n");
    EXPECT_EQ(Get("NNTP", "NNTP Server"), "news.example.org");
    EXPECT_EQ(Get("Nntp", "EMPTY"), "");
    EXPECT_EQ(Get("NNTP", "Equation"), "a=b");
    EXPECT_EQ(Get("NNTP", "; NNTP Password"), "<default>");
    EXPECT_EQ(Get("NNTP", "NNTP Password"), "<default>");
    EXPECT_EQ(Get("NNTP", "Qwk ID"), "<default>") << "keys belong to their own section";
    EXPECT_EQ(Get("qwk", "qwk id"), "ZANDREL");
    EXPECT_EQ(Get("Identity", "Domain"), "<default>");
}

TEST_F(ProfileTest, ReadsLfFilesAndAByteOrderMark) {
    WriteIni("\xEF\xBB\xBF[NNTP]\nNNTP Server=news\n");
    EXPECT_EQ(Get("NNTP", "NNTP Server"), "news");
}

TEST_F(ProfileTest, MissingFileGivesTheDefaultAndIsNotCreatedByReading) {
    EXPECT_EQ(Get("NNTP", "NNTP Server", "news"), "news");
    EXPECT_FALSE(fs::exists(Ini()));
}

TEST_F(ProfileTest, ValuesAreCutAt1023Characters) {
    const std::string longValue(1500, 'v');
    ASSERT_TRUE(Put("Qwk", "Work Directory", longValue));
    EXPECT_EQ(Get("Qwk", "Work Directory"), std::string(1023, 'v'));
    EXPECT_NE(ReadIni().find(longValue), std::string::npos) << "the file keeps the whole value";
}

TEST_F(ProfileTest, NewFileUsesCrLfAndOneBlankLineBetweenSections) {
    ASSERT_TRUE(Put("NNTP", "NNTP Server", "news"));
    ASSERT_TRUE(Put("NNTP", "NNTP Remote Port", "119"));
    ASSERT_TRUE(Put("Qwk", "Qwk ID", "ME"));
    ASSERT_TRUE(Put("NNTP", "NNTP Server", "news2"));
    EXPECT_EQ(ReadIni(), "[NNTP]\r\n"
                         "NNTP Server=news2\r\n"
                         "NNTP Remote Port=119\r\n"
                         "\r\n"
                         "[Qwk]\r\n"
                         "Qwk ID=ME\r\n");
}

TEST_F(ProfileTest, WritingLeavesEveryOtherLineAsItWas) {
    const std::string before = "; hand-written\r\n"
                               "[nntp]\r\n"
                               "Nntp Server = old   \r\n"
                               "Custom Key=kept as is  \r\n"
                               "\r\n"
                               "; about the next one\r\n"
                               "[Extra]\r\n"
                               "x=1\r\n"
                               "\r\n"
                               "[Qwk]\r\n"
                               "Qwk ID=ME";
    WriteIni(before);
    ASSERT_TRUE(Put("NNTP", "NNTP Server", "new"));
    ASSERT_TRUE(Put("NNTP", "NNTP Password", "secret"));
    ASSERT_TRUE(Put("Qwk", "Lines Per Messages", "90"));
    ASSERT_TRUE(Put("Identity", "Domain", "example.org"));
    EXPECT_EQ(ReadIni(), "; hand-written\r\n"
                         "[nntp]\r\n"
                         "Nntp Server=new\r\n"
                         "Custom Key=kept as is  \r\n"
                         "NNTP Password=secret\r\n"
                         "\r\n"
                         "; about the next one\r\n"
                         "[Extra]\r\n"
                         "x=1\r\n"
                         "\r\n"
                         "[Qwk]\r\n"
                         "Qwk ID=ME\r\n"
                         "Lines Per Messages=90\r\n"
                         "\r\n"
                         "[Identity]\r\n"
                         "Domain=example.org\r\n");
}

TEST_F(ProfileTest, KeepsTheLineEndsOfAnLfFile) {
    WriteIni("[NNTP]\nNNTP Server=a\n");
    ASSERT_TRUE(Put("NNTP", "NNTP User Id", "joe"));
    ASSERT_TRUE(Put("Qwk", "Qwk ID", "ME"));
    EXPECT_EQ(ReadIni(), "[NNTP]\nNNTP Server=a\nNNTP User Id=joe\n\n[Qwk]\nQwk ID=ME\n");
}

TEST_F(ProfileTest, RefusesLineBreaksThatWouldAddKeysOrSections) {
    WriteIni("[NNTP]\r\nNNTP Server=news\r\n");
    EXPECT_FALSE(Put("NNTP", "NNTP Server", "evil\r\n[Qwk]\r\nQwk ID=x"));
    EXPECT_FALSE(Put("NNTP", "Key\nOther", "v"));
    EXPECT_FALSE(Put("NNTP]x", "Key", "v"));
    EXPECT_FALSE(Put("NNTP", "a=b", "v"));
    EXPECT_FALSE(Put("NNTP", "", "v"));
    EXPECT_EQ(ReadIni(), "[NNTP]\r\nNNTP Server=news\r\n");
}

TEST_F(ProfileTest, WriteFailsWhenTheFileCannotBeCreated) {
    EXPECT_FALSE(
        WritePrivateProfileString("NNTP", "K", "v", (Dir() / "missing" / "ZANDREL.INI").string()));
    fs::create_directory(Ini()); // a directory where the file should be
    EXPECT_FALSE(Put("NNTP", "K", "v"));
    EXPECT_EQ(Get("NNTP", "K"), "<default>");
}

TEST_F(ProfileTest, ReplacesTheFileWholeAndLeavesNoTemporaryFileBehind) {
    WriteIni("[NNTP]\r\nNNTP Password=old\r\n");
    fs::permissions(Ini(), fs::perms::owner_read | fs::perms::owner_write);
    // A second name for the old file shows that it was replaced, not
    // rewritten in place where a failed write would have truncated it.
    const fs::path oldCopy = Dir() / "old-link";
    fs::create_hard_link(Ini(), oldCopy);

    ASSERT_TRUE(Put("NNTP", "NNTP Password", "new"));

    EXPECT_EQ(Get("NNTP", "NNTP Password"), "new");
    EXPECT_EQ(GetPrivateProfileString("NNTP", "NNTP Password", "", oldCopy.string()), "old");
    EXPECT_EQ(fs::status(Ini()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ZANDREL.INI", "old-link"}));
}

TEST_F(ProfileTest, WritesThroughASymbolicLink) {
    const fs::path real = Dir() / "real.ini";
    std::ofstream(real, std::ios::binary) << "[NNTP]\r\n";
    fs::create_symlink(real, Ini());
    ASSERT_TRUE(Put("NNTP", "NNTP Server", "news"));
    EXPECT_TRUE(fs::is_symlink(Ini()));
    EXPECT_EQ(GetPrivateProfileString("NNTP", "NNTP Server", "", real.string()), "news");
}
