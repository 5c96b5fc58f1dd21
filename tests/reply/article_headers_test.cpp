#include "reply/article_headers.h"

#include "nntp_control/tnntp.h"

#include <QLocale>
#include <gtest/gtest.h>

#include "support/temp_directory.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

qwk::Block ReplyHeader(const std::string& from, const std::string& subject) {
    qwk::Block block;
    block.fill(' ');
    qwk::SetHeaderText(block, qwk::header::From, from);
    qwk::SetHeaderText(block, qwk::header::Subject, subject);
    return block;
}

std::vector<std::pair<std::string, std::string>> Lines(const TDocHeaders& headers) {
    std::vector<std::pair<std::string, std::string>> lines;
    for (std::size_t i = 0; i < headers.Count(); ++i)
        lines.emplace_back(headers.At(i).Name, headers.At(i).Value);
    return lines;
}

TEST(ArticleFrom, ABareNameGetsAnAddressOnlyWhenADomainIsSet) {
    EXPECT_EQ(ArticleFrom("John Doe", ""), "John Doe");
    EXPECT_EQ(ArticleFrom("John Doe", "example.org"), "John Doe <John.Doe@example.org>");
    EXPECT_EQ(ArticleFrom("jdoe@example.net", "example.org"), "jdoe@example.net");
    EXPECT_EQ(ArticleFrom("A B  C", "x.org"), "A B  C <A.B..C@x.org>");
}

TEST(MessageId, CarriesDayCountCounterRandomAndDomain) {
    EXPECT_EQ(MakeMessageId(46000.5, 2, 4711, ""), "<46000.50.2.4711@zandrel>");
    EXPECT_EQ(MakeMessageId(46000.126, 1, 0, "example.org"), "<46000.13.1.0@zandrel.example.org>");
    EXPECT_EQ(DayCount(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(DayCount(QDateTime(QDate(2026, 12, 9), QTime(18, 0))), 46365.75);
}

// A numeric locale whose decimal separator is a comma, compiled into a
// scratch directory so the test does not depend on the locales installed.
class CommaLocale {
public:
    CommaLocale() {
        TempWorkDirectory::Write(dir.File("comma.src"), "LC_NUMERIC\n"
                                                        "decimal_point \"<U002C>\"\n"
                                                        "thousands_sep \"\"\n"
                                                        "grouping -1\n"
                                                        "END LC_NUMERIC\n");
        const std::string build = "localedef -c -i " + dir.File("comma.src") +
                                  " -f ANSI_X3.4-1968 " + dir.File("comma") + " >/dev/null 2>&1";
        if (std::system(build.c_str()) == -1)
            return;
        previous_ = std::setlocale(LC_NUMERIC, nullptr);
        ::setenv("LOCPATH", dir.Path().c_str(), 1);
        active_ = std::setlocale(LC_NUMERIC, "comma") != nullptr;
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, previous_.c_str());
        ::unsetenv("LOCPATH");
    }
    bool Active() const { return active_; }

private:
    TempWorkDirectory dir{false};
    std::string previous_ = "C";
    bool active_ = false;
};

TEST(MessageId, UsesAPointUnderALocaleWithADecimalComma) {
    const QLocale previousQt;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    CommaLocale comma;
    char formatted[16];
    std::snprintf(formatted, sizeof formatted, "%.2f", 1.5);

    const std::string id = MakeMessageId(46000.25, 3, 12, "");

    QLocale::setDefault(previousQt);
    EXPECT_EQ(id, "<46000.25.3.12@zandrel>");
    if (!comma.Active() || std::string(formatted) != "1,50")
        GTEST_SKIP() << "no comma locale could be made here; checked under the Qt locale only";
}

TEST(ComposeArticleHeaders, AddsTheHeadersInOrderAndOrganizationOnlyWhenSet) {
    TDocHeaders headers;
    headers.Add("Stale", "from the previous article");
    const qwk::Block reply = ReplyHeader("John Doe", "Re: Test");

    ComposeArticleHeaders(headers, reply, "alt.test", {"example.org", "Example Inc."}, "<id>");
    using Lines_ = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(Lines(headers), (Lines_{{"From", "John Doe <John.Doe@example.org>"},
                                      {"Newsgroups", "alt.test"},
                                      {"Subject", "Re: Test"},
                                      {"Organization", "Example Inc."},
                                      {"Message-ID", "<id>"}}));

    ComposeArticleHeaders(headers, reply, "alt.test", {"", ""}, "<id2>");
    EXPECT_EQ(Lines(headers), (Lines_{{"From", "John Doe"},
                                      {"Newsgroups", "alt.test"},
                                      {"Subject", "Re: Test"},
                                      {"Message-ID", "<id2>"}}));
}

} // namespace
