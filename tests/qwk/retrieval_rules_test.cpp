#include "qwk/retrieval_rules.h"

#include "qwk_format/qwk_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

TEST(FirstArticleToFetch, FollowsLastReadOrTakesTheNewestN) {
    // Range 100..105 throughout.
    EXPECT_EQ(qwk::FirstArticleToFetch(100, 105, 102), 103);
    EXPECT_EQ(qwk::FirstArticleToFetch(100, 105, 0), 100);
    EXPECT_EQ(qwk::FirstArticleToFetch(100, 105, -3), 103);
    EXPECT_EQ(qwk::FirstArticleToFetch(100, 105, -10), 100);
    // Nothing new: the start lies past the last number.
    EXPECT_GT(qwk::FirstArticleToFetch(105, 105, 105), 105);
    EXPECT_GT(qwk::FirstArticleToFetch(100, 105, 500), 105);
}

TEST(FirstArticleToFetch, DoesNotOverflowAtTheEndsOfTheRange) {
    EXPECT_GT(qwk::FirstArticleToFetch(1, INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(qwk::FirstArticleToFetch(1, 10, INT32_MIN), 1);
    EXPECT_EQ(qwk::FirstArticleToFetch(1, INT32_MAX, -1), INT32_MAX);
}

TEST(IsOwnArticle, ComparesWholeTextsIgnoringAsciiCase) {
    EXPECT_TRUE(qwk::IsOwnArticle("ACME CORP", "Acme Corp"));
    EXPECT_FALSE(qwk::IsOwnArticle("Acme Corp.", "Acme Corp"));
    EXPECT_FALSE(qwk::IsOwnArticle(" Acme Corp", "Acme Corp"));
    EXPECT_FALSE(qwk::IsOwnArticle("", "Acme Corp"));
    // Only a-z fold; other bytes must match exactly.
    EXPECT_FALSE(qwk::IsOwnArticle("\xC9T\xC9", "\xE9t\xE9"));
}

TEST(IsOwnArticle, NothingIsOwnWithoutAConfiguredOrganization) {
    EXPECT_FALSE(qwk::IsOwnArticle("", ""));
    EXPECT_FALSE(qwk::IsOwnArticle("Some University", ""));
}

struct Message {
    std::string lines;
    bool moreFollows;
};

std::vector<Message> Split(const std::string& text, std::int32_t linesPerMessage) {
    std::vector<Message> messages;
    std::string scratch;
    qwk::SplitIntoMessages(text, linesPerMessage, scratch,
                           [&](std::string_view lines, bool moreFollows) {
                               messages.push_back({std::string(lines), moreFollows});
                           });
    return messages;
}

std::string Article(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    return text;
}

int LineCount(const std::string& lines) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), qwk::LineEnd));
}

TEST(SplitIntoMessages, CutsAtTheLineLimitAndMarksAllButTheLast) {
    auto messages = Split(Article(90), 90);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].moreFollows);

    messages = Split(Article(91), 90);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(LineCount(messages[0].lines), 90);
    EXPECT_TRUE(messages[0].moreFollows);
    EXPECT_EQ(messages[1].lines, std::string("line 91") + qwk::LineEnd);
    EXPECT_FALSE(messages[1].moreFollows);

    messages = Split(Article(180), 90);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(LineCount(messages[0].lines), 90);
    EXPECT_EQ(LineCount(messages[1].lines), 90);
    EXPECT_TRUE(messages[0].moreFollows);
    EXPECT_FALSE(messages[1].moreFollows);
}

TEST(SplitIntoMessages, NoPositiveLimitKeepsTheArticleWhole) {
    for (int limit : {0, -5}) {
        const auto messages = Split(Article(1000), limit);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(LineCount(messages[0].lines), 1000);
        EXPECT_FALSE(messages[0].moreFollows);
    }
}

TEST(SplitIntoMessages, StripsTrailingBlanksAndStopsAtNul) {
    const char raw[] = "keep  inner \t\r\n\r\n8bit \xE9\x01\r\nend\0hidden\r\n";
    const std::string text(raw, sizeof raw - 1);
    const auto messages = Split(text, 90);
    ASSERT_EQ(messages.size(), 1u);
    const char e3 = qwk::LineEnd;
    EXPECT_EQ(messages[0].lines,
              std::string("keep  inner") + e3 + e3 + "8bit \xE9" + e3 + "end" + e3);
}

// A line or an article without end still gives messages a reader can show
// and a block count can describe; not a byte is dropped.
TEST(SplitIntoMessages, LongLinesWrapAndHugeMessagesSplit) {
    const std::string longLine(3 * qwk::MaxMessageLine + 5, 'x');
    auto messages = Split(longLine + "\r\nafter\r\n", 90);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(LineCount(messages[0].lines), 5);
    EXPECT_EQ(std::count(messages[0].lines.begin(), messages[0].lines.end(), 'x'),
              static_cast<std::ptrdiff_t>(longLine.size()));

    std::string huge;
    while (huge.size() < 5 * qwk::MaxMessageText / 2)
        huge += std::string(qwk::MaxMessageLine, 'y') + "\r\n";
    messages = Split(huge, 0);
    ASSERT_EQ(messages.size(), 3u);
    for (const auto& message : messages)
        EXPECT_LE(message.lines.size(), qwk::MaxMessageText + qwk::MaxMessageLine + 1);
    EXPECT_TRUE(messages[0].moreFollows);
    EXPECT_FALSE(messages[2].moreFollows);
}

TEST(SplitIntoMessages, EmptyArticleGivesNoMessage) {
    EXPECT_TRUE(Split("", 90).empty());
    EXPECT_TRUE(Split(std::string("\0abc", 4), 90).empty());
}

} // namespace
