#include "core/settings.h"
#include "support/temp_directory.h"

#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        start.WorkDirectory = (Dir() / "WORK").string();
    }

    fs::path Dir() const { return fs::path(temp.path().toStdString()); }
    std::string Ini() const { return (Dir() / "ZANDREL.INI").string(); }
    void WriteIni(const std::string& contents) const { TempWorkDirectory::Write(Ini(), contents); }
    std::string ReadIni() const { return TempWorkDirectory::Read(Ini()); }
    Settings Read() const {
        Settings settings = start;
        ReadSettings(settings, Ini());
        return settings;
    }

    QTemporaryDir temp;
    // The fields as start-up leaves them before reading: empty, zero, and the
    // default work directory.
    Settings start;
};

// The locale's short date pattern with a two-digit year.
QString TwoDigitYearPattern() {
    QString pattern = QLocale::system().dateFormat(QLocale::ShortFormat);
    return pattern.replace(QStringLiteral("yyyy"), QStringLiteral("yy"));
}

} // namespace

TEST_F(SettingsStoreTest, MissingFileGivesDefaultsAndIsWrittenInFileOrder) {
    const Settings settings = Read();
    EXPECT_EQ(settings.NntpServer, "news");
    EXPECT_EQ(settings.NntpPort, 119);
    EXPECT_EQ(settings.LinesPerMessage, 90);
    EXPECT_EQ(settings.LastGetGroups, QDate::currentDate());
    EXPECT_EQ(settings.WorkDirectory, start.WorkDirectory);
    EXPECT_EQ(settings.NntpUserId, "");
    EXPECT_EQ(settings.QwkId, "");

    WriteSettings(settings, Ini());
    EXPECT_EQ(ReadIni(), "[NNTP]\r\n"
                         "NNTP Server=news\r\n"
                         "NNTP User Id=\r\n"
                         "NNTP Password=\r\n"
                         "NNTP Last Get Groups=" +
                             FormatSettingsDate(QDate::currentDate()) +
                             "\r\n"
                             "NNTP Remote Port=119\r\n"
                             "\r\n"
                             "[Identity]\r\n"
                             "Domain=\r\n"
                             "Organization=\r\n"
                             "\r\n"
                             "[Qwk]\r\n"
                             "Qwk ID=\r\n"
                             "Lines Per Messages=90\r\n"
                             "Work Directory=" +
                             start.WorkDirectory + "\r\n");
}

TEST_F(SettingsStoreTest, EveryFieldSurvivesAWriteAndARead) {
    Settings written;
    written.NntpServer = "news.example.org";
    written.NntpUserId = "joe user";
    written.NntpPassword = "p=ss;word";
    written.LastGetGroups = QDate(2024, 2, 29);
    written.NntpPort = -1;
    written.Domain = "example.org";
    written.Organization = "Example & Co";
    written.QwkId = "ZANDREL";
    written.LinesPerMessage = 0;
    written.WorkDirectory = "/srv/qwk packets";
    WriteSettings(written, Ini());

    const Settings read = Read();
    EXPECT_EQ(read.NntpServer, written.NntpServer);
    EXPECT_EQ(read.NntpUserId, written.NntpUserId);
    EXPECT_EQ(read.NntpPassword, written.NntpPassword);
    EXPECT_EQ(read.LastGetGroups, written.LastGetGroups);
    EXPECT_EQ(read.NntpPort, -1);
    EXPECT_EQ(read.Domain, written.Domain);
    EXPECT_EQ(read.Organization, written.Organization);
    EXPECT_EQ(read.QwkId, written.QwkId);
    EXPECT_EQ(read.LinesPerMessage, 0);
    EXPECT_EQ(read.WorkDirectory, written.WorkDirectory);
}

TEST_F(SettingsStoreTest, IntegersReadHexadecimalAfter0xAndFallBackToDefaults) {
    WriteIni("[nntp]\r\nnntp remote port=0x77\r\n[QWK]\r\nLines Per Messages=ninety\r\n");
    EXPECT_EQ(Read().NntpPort, 119);
    EXPECT_EQ(Read().LinesPerMessage, 90);

    WriteIni("[NNTP]\r\nNNTP Remote Port=0X1f\r\n[Qwk]\r\nLines Per Messages=-5\r\n");
    EXPECT_EQ(Read().NntpPort, 31);
    EXPECT_EQ(Read().LinesPerMessage, -5);

    WriteIni("[NNTP]\r\nNNTP Remote Port=0x\r\n[Qwk]\r\nLines Per Messages=0x-1\r\n");
    EXPECT_EQ(Read().NntpPort, 119);
    EXPECT_EQ(Read().LinesPerMessage, 90);

    WriteIni("[NNTP]\r\nNNTP Remote Port=\r\n[Qwk]\r\nLines Per Messages=99999999999\r\n");
    EXPECT_EQ(Read().NntpPort, 119);
    EXPECT_EQ(Read().LinesPerMessage, 90);
}

TEST_F(SettingsStoreTest, UnreadableDateThrowsAndLaterKeysKeepTheirStartValues) {
    WriteIni("[NNTP]\r\n"
             "NNTP Server=news.example.org\r\n"
             "NNTP Password=secret\r\n"
             "NNTP Last Get Groups=yesterday\r\n"
             "NNTP Remote Port=563\r\n"
             "[Identity]\r\nDomain=example.org\r\n"
             "[Qwk]\r\nLines Per Messages=50\r\nWork Directory=/elsewhere\r\n");
    Settings settings = start;
    try {
        ReadSettings(settings, Ini());
        FAIL() << "no error for an unreadable date";
    } catch (const SettingsError& error) {
        EXPECT_STREQ(error.what(), "'yesterday' is not a valid date");
    }
    EXPECT_EQ(settings.NntpServer, "news.example.org");
    EXPECT_EQ(settings.NntpPassword, "secret");
    EXPECT_EQ(settings.NntpPort, 0);
    EXPECT_EQ(settings.Domain, "");
    EXPECT_EQ(settings.LinesPerMessage, 0);
    EXPECT_EQ(settings.WorkDirectory, start.WorkDirectory);
}

TEST_F(SettingsStoreTest, EmptyStoredDateMeansToday) {
    WriteIni("[NNTP]\r\nNNTP Last Get Groups=\r\n");
    EXPECT_EQ(Read().LastGetGroups, QDate::currentDate());
}

TEST(SettingsDate, TwoDigitYearsFallInTheCurrentCentury) {
    const int century = QDate::currentDate().year() / 100 * 100;
    const QDate date(century + 7, 3, 15);
    const std::string twoDigits =
        QLocale::system().toString(date, TwoDigitYearPattern()).toLocal8Bit().toStdString();
    EXPECT_EQ(ParseSettingsDate(twoDigits), date) << twoDigits;
    EXPECT_EQ(ParseSettingsDate(FormatSettingsDate(date)), date);

    EXPECT_FALSE(ParseSettingsDate("").isValid());
    EXPECT_FALSE(ParseSettingsDate("31.31.31.31").isValid());
}

TEST_F(SettingsStoreTest, UnwritableFileThrowsNamingThePath) {
    const std::string path = (Dir() / "missing" / "ZANDREL.INI").string();
    Settings settings = start;
    settings.NntpServer = "news";
    try {
        WriteSettings(settings, path);
        FAIL() << "no error for an unwritable file";
    } catch (const SettingsError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
    }
}
