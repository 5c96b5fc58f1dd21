#include "reply/article_headers.h"

#include "nntp/tnntp.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <clocale>
#include <regex>

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

TEST(MessageId, UsesAPointUnderALocaleWithADecimalComma) {
    const QLocale previousQt;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::string previousC = std::setlocale(LC_NUMERIC, nullptr);
    const bool haveCommaLocale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;

    const std::string id = MakeMessageId(46000.25, 3, 12, "");

    std::setlocale(LC_NUMERIC, previousC.c_str());
    QLocale::setDefault(previousQt);
    EXPECT_EQ(id, "<46000.25.3.12@zandrel>");
    EXPECT_TRUE(std::regex_match(id, std::regex(R"(<[0-9]+\.[0-9]{2}\.3\.12@zandrel>)")));
    if (!haveCommaLocale)
        GTEST_LOG_(INFO) << "no de_DE locale installed; checked under the Qt locale only";
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
