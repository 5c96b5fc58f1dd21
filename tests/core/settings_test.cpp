#include "core/settings.h"
#include "profile.h"
#include "support/temp_directory.h"

#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

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
    EXPECT_EQ(settings.MaximumArticleBytes, 16777216);
    EXPECT_TRUE(settings.UnreadTexts.empty());

    WriteSettings(settings, Ini());
    EXPECT_EQ(ReadIni(), "[NNTP]\r\n"
                         "NNTP Server=news\r\n"
                         "NNTP User Id=\r\n"
                         "NNTP Password=\r\n"
                         "NNTP Last Get Groups=" +
                             FormatSettingsDate(QDate::currentDate()) +
                             "\r\n"
                             "NNTP Remote Port=119\r\n"
                             "Maximum Article Size=16384\r\n"
                             "\r\n"
                             "[Identity]\r\n"
                             "Domain=\r\n"
                             "Organization=\r\n"
                             "\r\n"
                             "[Qwk]\r\n"
                             "Qwk ID=\r\n"
                             "Lines Per Messages=90\r\n"
                             "Work Directory=" +
                             start.WorkDirectory +
                             "\r\n"
                             "Character Set=CP437\r\n");
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
    written.MaximumArticleBytes = 2 * 1024 * 1024;
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
    EXPECT_EQ(read.MaximumArticleBytes, written.MaximumArticleBytes);
    EXPECT_NE(ReadIni().find("NNTP Last Get Groups=2024-02-29\r\n"), std::string::npos);
    EXPECT_NE(ReadIni().find("Maximum Article Size=2048\r\n"), std::string::npos);
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

TEST_F(SettingsStoreTest, UnreadableDateIsReportedAndTheLaterKeysAreRead) {
    WriteIni("[NNTP]\r\n"
             "NNTP Server=news.example.org\r\n"
             "NNTP Password=secret\r\n"
             "NNTP Last Get Groups=yesterday\r\n"
             "NNTP Remote Port=563\r\n"
             "[Identity]\r\nDomain=example.org\r\n"
             "[Qwk]\r\nQwk ID=MYBBS\r\nLines Per Messages=50\r\nWork Directory=/elsewhere\r\n");
    Settings settings = start;
    const std::vector<SettingsProblem> problems = ReadSettings(settings, Ini());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].Key, "NNTP Last Get Groups");
    EXPECT_EQ(problems[0].Message, "'yesterday' is not a valid date");
    EXPECT_FALSE(problems[0].StopsBatchRun);
    EXPECT_FALSE(settings.LastGetGroups.isValid());
    EXPECT_EQ(settings.NntpServer, "news.example.org");
    EXPECT_EQ(settings.NntpPassword, "secret");
    EXPECT_EQ(settings.NntpPort, 563);
    EXPECT_EQ(settings.Domain, "example.org");
    EXPECT_EQ(settings.QwkId, "MYBBS");
    EXPECT_EQ(settings.LinesPerMessage, 50);
    EXPECT_EQ(settings.WorkDirectory, "/elsewhere");
}

// Every value that cannot be read: reported, its stand-in used, the keys after
// it read, and its text left in the file by every later save.
TEST_F(SettingsStoreTest, UnreadableValuesAreReportedAndKeptByTheSave) {
    struct Case {
        const char* section;
        const char* key;
        const char* text;
        bool stopsBatchRun;
    };
    const Case cases[] = {
        {"NNTP", "NNTP Last Get Groups", "31/31/31", false},
        {"NNTP", "NNTP Last Get Groups", "12/9/26 but not quite", false},
        {"NNTP", "NNTP Remote Port", "one-nineteen", true},
        {"NNTP", "NNTP Remote Port", "0x", true},
        {"Qwk", "Lines Per Messages", "ninety", false},
        {"Qwk", "Lines Per Messages", "99999999999", false},
        {"Qwk", "Qwk ID", "../../x", true},
        {"Qwk", "Qwk ID", "TOOLONGID", true},
        {"Qwk", "Qwk ID", "MY BBS", true},
        {"Qwk", "Qwk ID", "caf\xC3\xA9", true},
        {"NNTP", "Maximum Article Size", "0", false},
        {"NNTP", "Maximum Article Size", "-5", false},
        {"NNTP", "Maximum Article Size", "1.5", false},
        {"NNTP", "Maximum Article Size", "16 MB", false},
        {"NNTP", "Maximum Article Size", "0x100", false},
        {"NNTP", "Maximum Article Size", "99999999999999999999", false},
        // None in its place would send the credentials in clear text.
        {"NNTP", "NNTP Security", "SSL", true},
        {"NNTP", "NNTP Certificate", "AB:CD", false},
        {"NNTP", "NNTP Certificate", "sha256:0123", false},
    };
    for (const Case& c : cases) {
        const std::string line = std::string(c.key) + "=" + c.text + "\r\n";
        const std::string file = "[NNTP]\r\nNNTP Server=news.example.org\r\n" +
                                 (std::string(c.section) == "NNTP" ? line : "") + "[Qwk]\r\n" +
                                 (std::string(c.section) == "Qwk" ? line : "") +
                                 "Work Directory=/elsewhere\r\n";
        WriteIni(file);
        Settings settings = start;
        const std::vector<SettingsProblem> problems = ReadSettings(settings, Ini());
        ASSERT_EQ(problems.size(), 1u) << c.key << "=" << c.text;
        EXPECT_EQ(problems[0].Key, c.key);
        EXPECT_EQ(problems[0].StopsBatchRun, c.stopsBatchRun) << c.key;
        EXPECT_NE(problems[0].Message.find(std::string("'") + c.text + "'"), std::string::npos)
            << problems[0].Message;
        EXPECT_EQ(settings.UnreadTexts.at(c.key), c.text);
        // The keys after it were read.
        EXPECT_EQ(settings.WorkDirectory, "/elsewhere") << c.key;
        // Stand-ins: the defaults, an invalid date, no Qwk ID.
        if (std::string(c.key) == "NNTP Remote Port") {
            EXPECT_EQ(settings.NntpPort, 119);
        }
        if (std::string(c.key) == "Lines Per Messages") {
            EXPECT_EQ(settings.LinesPerMessage, 90);
        }
        if (std::string(c.key) == "Qwk ID") {
            EXPECT_EQ(settings.QwkId, "");
        }
        if (std::string(c.key) == "NNTP Last Get Groups") {
            EXPECT_FALSE(settings.LastGetGroups.isValid());
        }
        if (std::string(c.key) == "Maximum Article Size") {
            EXPECT_EQ(settings.MaximumArticleBytes, 16777216);
        }

        // The start-up save, and any later one, leaves the line as it is.
        WriteSettings(settings, Ini());
        WriteSettings(settings, Ini());
        const std::string written = ReadIni();
        EXPECT_NE(written.find(line), std::string::npos) << written;
        EXPECT_EQ(written.find(std::string(c.key) + "=", written.find(line) + line.size()),
                  std::string::npos)
            << "a second line for the key: " << written;
    }
}

// A value set since (by Get New Newsgroups, by the user) replaces the text.
TEST_F(SettingsStoreTest, ValueSetSinceReplacesTheUnreadableText) {
    WriteIni("[NNTP]\r\nNNTP Last Get Groups=someday\r\nNNTP Remote Port=x\r\n"
             "[Qwk]\r\nQwk ID=a/b\r\n");
    Settings settings = start;
    EXPECT_EQ(ReadSettings(settings, Ini()).size(), 3u);
    settings.LastGetGroups = QDate(2026, 12, 9);
    settings.NntpPort = 563;
    settings.QwkId = "MYBBS";
    WriteSettings(settings, Ini());
    const std::string written = ReadIni();
    EXPECT_NE(written.find("NNTP Last Get Groups=2026-12-09\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("NNTP Remote Port=563\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("Qwk ID=MYBBS\r\n"), std::string::npos) << written;
    EXPECT_TRUE(ReadSettings(settings, Ini()).empty());
    EXPECT_TRUE(settings.UnreadTexts.empty());
}

TEST_F(SettingsStoreTest, MaximumArticleSizeIsReadInKilobytesAndWrittenAfterEveryOtherKey) {
    // A file written before the key keeps its order; the key ends [NNTP].
    const std::string before = "[NNTP]\r\nNNTP Server=news.example.org\r\nNNTP User Id=\r\n"
                               "NNTP Password=\r\nNNTP Last Get Groups=2026-01-02\r\n"
                               "NNTP Remote Port=119\r\n\r\n[Identity]\r\nDomain=\r\n"
                               "Organization=\r\n\r\n[Qwk]\r\nQwk ID=MYBBS\r\n"
                               "Lines Per Messages=90\r\nWork Directory=/w\r\n";
    WriteIni(before);
    Settings settings = start;
    EXPECT_TRUE(ReadSettings(settings, Ini()).empty());
    EXPECT_EQ(settings.MaximumArticleBytes, 16777216);
    WriteSettings(settings, Ini());
    std::string expected = before;
    expected.insert(expected.find("\r\n\r\n[Identity]") + 2, "Maximum Article Size=16384\r\n");
    expected += "Character Set=CP437\r\n";
    EXPECT_EQ(ReadIni(), expected);

    for (const auto& [text, bytes] : std::vector<std::pair<std::string, std::int64_t>>{
             {"1", 1024}, {"2048", 2097152}, {" 100 ", 102400}, {"", 16777216}}) {
        WriteIni("[NNTP]\r\nMaximum Article Size=" + text + "\r\n");
        settings = start;
        EXPECT_TRUE(ReadSettings(settings, Ini()).empty()) << text;
        EXPECT_EQ(settings.MaximumArticleBytes, bytes) << text;
    }
    // A part of a kilobyte is written as a whole one.
    settings.MaximumArticleBytes = 1025;
    WriteSettings(settings, Ini());
    EXPECT_NE(ReadIni().find("Maximum Article Size=2\r\n"), std::string::npos) << ReadIni();
}

// Absent, the security keys mean None and no certificate, and a file without
// them is written back byte for byte; once set they end [NNTP] and stay.
TEST_F(SettingsStoreTest, SecurityKeysAreWrittenOnlyOnceTheySaySomething) {
    const std::string before = "[NNTP]\r\nNNTP Server=news.example.org\r\nNNTP User Id=\r\n"
                               "NNTP Password=\r\nNNTP Last Get Groups=2026-01-02\r\n"
                               "NNTP Remote Port=119\r\nMaximum Article Size=16384\r\n\r\n"
                               "[Identity]\r\nDomain=\r\nOrganization=\r\n\r\n[Qwk]\r\n"
                               "Qwk ID=MYBBS\r\nLines Per Messages=90\r\nWork Directory=/w\r\n"
                               "Character Set=CP437\r\n";
    WriteIni(before);
    Settings settings = start;
    EXPECT_TRUE(ReadSettings(settings, Ini()).empty());
    EXPECT_EQ(settings.Security, NntpSecurity::None);
    EXPECT_EQ(settings.AcceptedCertificate, "");
    WriteSettings(settings, Ini());
    EXPECT_EQ(ReadIni(), before);

    const std::string digits = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const std::string fingerprint = "01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:"
                                    "01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF";
    for (const auto& [securityText, certificateText, security] :
         std::vector<std::tuple<std::string, std::string, NntpSecurity>>{
             {"TLS", digits, NntpSecurity::Tls},
             {"starttls", fingerprint, NntpSecurity::StartTls},
             {"None", "", NntpSecurity::None}}) {
        WriteIni("[NNTP]\r\nNNTP Security=" + securityText +
                 "\r\nNNTP Certificate=" + certificateText + "\r\n");
        settings = start;
        EXPECT_TRUE(ReadSettings(settings, Ini()).empty()) << securityText;
        EXPECT_EQ(settings.Security, security) << securityText;
        EXPECT_EQ(settings.AcceptedCertificate, certificateText.empty() ? "" : fingerprint);
    }

    WriteIni(before);
    settings = start;
    ReadSettings(settings, Ini());
    settings.Security = NntpSecurity::Tls;
    settings.AcceptedCertificate = fingerprint;
    WriteSettings(settings, Ini());
    std::string expected = before;
    expected.insert(expected.find("\r\n\r\n[Identity]") + 2,
                    "NNTP Security=TLS\r\nNNTP Certificate=" + fingerprint + "\r\n");
    EXPECT_EQ(ReadIni(), expected);
    // Back to None: the key now says so rather than vanishing.
    settings.Security = NntpSecurity::None;
    settings.AcceptedCertificate.clear();
    WriteSettings(settings, Ini());
    expected = before;
    expected.insert(expected.find("\r\n\r\n[Identity]") + 2,
                    "NNTP Security=None\r\nNNTP Certificate=\r\n");
    EXPECT_EQ(ReadIni(), expected);
}

TEST_F(SettingsStoreTest, NamedPipeOrDirectoryIsRefusedWithoutBeingOpened) {
    ASSERT_EQ(::mkfifo(Ini().c_str(), 0600), 0);
    Settings settings = start;
    settings.NntpServer = "unchanged";
    auto done = std::async(std::launch::async, [&] {
        try {
            ReadSettings(settings, Ini());
            ADD_FAILURE() << "a named pipe was read";
        } catch (const SettingsError& e) {
            EXPECT_EQ(std::string(e.what()),
                      Ini() + " is a named pipe, not a regular file; it is not opened");
        }
        EXPECT_THROW(WriteSettings(settings, Ini()), SettingsError);
        EXPECT_EQ(GetPrivateProfileString("NNTP", "NNTP Server", "default", Ini()), "default");
    });
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "waited on the pipe";
        for (int i = 0; i < 3; ++i) {
            const int fd = ::open(Ini().c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    }
    done.get();
    EXPECT_EQ(settings.NntpServer, "unchanged");
    EXPECT_TRUE(fs::is_fifo(Ini())) << "the pipe was replaced";

    fs::remove(Ini());
    fs::create_directory(Ini());
    EXPECT_THROW(ReadSettings(settings, Ini()), SettingsError);
}

TEST(QwkId, OnlyOneToEightLettersOrDigitsNameAPacket) {
    for (const char* valid : {"A", "MYBBS", "zandrel", "Bbs2026", "12345678"})
        EXPECT_EQ(QwkIdProblem(valid), "") << valid;
    for (const char* invalid : {"", "123456789", "../../x", "a/b", "..", ".", "MY BBS", "MY.BBS",
                                "MY-BBS", "MY_BBS", "x\\y", "caf\xC3\xA9", "\t", "A\x01"})
        EXPECT_EQ(QwkIdProblem(invalid),
                  std::string("'") + invalid +
                      "' is not a valid Qwk ID: it names the packet files, so it must be 1 to 8 "
                      "letters or digits")
            << invalid;
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

// Written as ISO 8601 under any locale, and read back under any other; a
// locale's short date written before still reads under that locale.
TEST(SettingsDate, IsoDatesRoundTripBetweenLocales) {
    const QDate date(2026, 12, 9);
    EXPECT_EQ(FormatSettingsDate(date), "2026-12-09");
    const QLocale locales[] = {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                               QLocale(QLocale::German, QLocale::Germany),
                               QLocale(QLocale::Japanese, QLocale::Japan)};
    for (const QLocale& reader : locales) {
        EXPECT_EQ(ParseSettingsDate("2026-12-09", reader), date) << reader.name().toStdString();
        EXPECT_EQ(ParseSettingsDate(" 2026-12-09 ", reader), date) << reader.name().toStdString();
        EXPECT_FALSE(ParseSettingsDate("2026-13-09", reader).isValid());
        EXPECT_FALSE(ParseSettingsDate("2026-02-30", reader).isValid());
    }
    // Files from before: each locale's own short date.
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(ParseSettingsDate("12/9/26", us), date);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ParseSettingsDate("09.12.26", german), date);
    // The same date is no date in the C locale: it is reported, not guessed.
    EXPECT_FALSE(ParseSettingsDate("12/9/26", QLocale::c()).isValid());

    // Whatever the default locale of the program, the stored text is the same.
    const QLocale before;
    for (const QLocale& writer : locales) {
        QLocale::setDefault(writer);
        EXPECT_EQ(FormatSettingsDate(date), "2026-12-09") << writer.name().toStdString();
    }
    QLocale::setDefault(before);
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
