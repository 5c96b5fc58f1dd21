#include "qwk_format/qwk_message_writer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using qwk::BlockSize;

const std::string E3(1, qwk::LineEnd);

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines)
        text.append(line).append(E3);
    return text;
}

NewsGroupRecord Group(const std::string& name, std::int32_t conference) {
    NewsGroupRecord group;
    group.Name = name;
    group.Conference = conference;
    return group;
}

struct WrittenMessage {
    std::string header;
    std::string text;
};

// Writes one message and splits the result into its header block and text.
WrittenMessage WriteOne(const qwk::ArticleHeaders& headers, std::int32_t number,
                        const NewsGroupRecord& group, const std::string& lines,
                        bool moreFollows = false) {
    qwk::StringSink sink;
    qwk::MessageWriter writer(sink);
    writer.WriteMessage(headers, number, group, lines, moreFollows);
    EXPECT_EQ(sink.Bytes.size() % BlockSize, 0u);
    EXPECT_GE(sink.Bytes.size(), 2 * BlockSize);
    return {sink.Bytes.substr(0, BlockSize), sink.Bytes.substr(BlockSize)};
}

std::string Field(const std::string& header, qwk::HeaderField field) {
    return header.substr(field.offset, field.width);
}

qwk::ArticleHeaders Headers(const std::string& from, const std::string& subject,
                            const std::string& date) {
    return {from, subject, date};
}

TEST(QwkMessageWriter, WorkedExampleIsByteExact) {
    const auto written =
        WriteOne(Headers("John Doe <jdoe>", "Test", "Mon, 05 Feb 1996 13:45:10 GMT"), 1234,
                 Group("alt.test", 5), Lines({"Hello"}));

    const std::string text = Lines({"From: John Doe <jdoe>", "Subject: Test", "", "Hello", "",
                                    " * Origin: Internet Newsgroup - alt.test"});
    ASSERT_EQ(text.size(), 85u);
    EXPECT_EQ(written.text, text + std::string(43, ' '));

    std::string header(BlockSize, ' ');
    header.replace(1, 7, "1234   ");
    header.replace(8, 8, "02-05-96");
    header.replace(16, 5, "13:45");
    header.replace(21, 3, "All");
    header.replace(46, 8, "John Doe");
    header.replace(71, 4, "Test");
    header.replace(108, 1, "0");
    header.replace(116, 6, "2     ");
    header[122] = static_cast<char>(0xFF);
    header[123] = 0x05;
    header[124] = 0x00;
    EXPECT_EQ(written.header, header);
}

TEST(QwkMessageWriter, TextFillingWholeBlocksGetsNoPadding) {
    // The article line makes up what the fixed lines leave of 256 bytes.
    const std::string fixed = Lines({"From: a", "Subject: b", "", "",
                                     " * Origin: Internet "
                                     "Newsgroup - g"});
    const std::string line(256 - fixed.size() - 1, 'x');
    const auto written = WriteOne(Headers("a", "b", ""), 1, Group("g", 0), line + E3);
    EXPECT_EQ(written.text.size(), 256u);
    EXPECT_NE(written.text.back(), ' ');
    EXPECT_EQ(Field(written.header, qwk::header::BlockCount), "3     ");
}

TEST(QwkMessageWriter, ContinuationLineOnlyWhenAnotherMessageFollows) {
    const auto first = WriteOne(Headers("a", "b", ""), 7, Group("alt.test", 1), Lines({"one"}),
                                /*moreFollows=*/true);
    const auto last = WriteOne(Headers("a", "b", ""), 7, Group("alt.test", 1), Lines({"two"}),
                               /*moreFollows=*/false);
    EXPECT_EQ(first.text.substr(0, first.text.find_last_not_of(' ') + 1),
              Lines({"From: a", "Subject: b", "", "one", "", "Continued with next message...", "",
                     " * Origin: Internet Newsgroup - alt.test"}));
    EXPECT_EQ(last.text.substr(0, last.text.find_last_not_of(' ') + 1),
              Lines({"From: a", "Subject: b", "", "two", "",
                     " * Origin: Internet Newsgroup - alt.test"}));
}

TEST(QwkMessageWriter, HeaderFieldsAreCutAndConferenceKeepsLow16Bits) {
    const std::string subject = "A subject line of exactly forty chars...";
    ASSERT_EQ(subject.size(), 40u);
    const auto written = WriteOne(Headers("jdoe", subject, ""), 12345678, Group("g", 300), "");
    EXPECT_EQ(Field(written.header, qwk::header::MessageNumber), "1234567");
    EXPECT_EQ(Field(written.header, qwk::header::Subject), subject.substr(0, 25));
    EXPECT_NE(written.text.find("Subject: " + subject + E3), std::string::npos);
    EXPECT_EQ(static_cast<unsigned char>(written.header[123]), 0x2C);
    EXPECT_EQ(static_cast<unsigned char>(written.header[124]), 0x01);

    // A subject folded over a thousand lines is cut at the top of the text.
    const std::string endless(200000, 's');
    const auto cut = WriteOne(Headers("jdoe", endless, ""), 1, Group("g", 1), "");
    const std::string expected =
        "Subject: " + endless.substr(0, qwk::MaxHeaderLineValue) + std::string(qwk::CutMarker) + E3;
    EXPECT_NE(cut.text.find(expected), std::string::npos);
    EXPECT_LT(cut.text.size(), 2000u);

    const auto wide = WriteOne(Headers("", "", ""), 1, Group("g", 65536 + 7), "");
    EXPECT_EQ(static_cast<unsigned char>(wide.header[123]), 7);
    EXPECT_EQ(static_cast<unsigned char>(wide.header[124]), 0);
}

TEST(QwkMessageWriter, ArticleBytesAreCopiedUnchanged) {
    const std::string line = std::string("caf\xE9 ") + E3 + "\x01 tab\there";
    const auto written = WriteOne(Headers("x\xFF", "s", ""), 1, Group("g", 0), line + E3);
    EXPECT_NE(written.text.find(line + E3), std::string::npos);
    EXPECT_EQ(written.text.substr(0, 9), "From: x\xFF" + E3);
}

TEST(QwkMessageWriter, NoFieldCarriesOverFromThePreviousMessage) {
    qwk::StringSink sink;
    qwk::MessageWriter writer(sink);
    writer.WriteMessage(Headers("Somebody With A Long Name <a@b>", "A long subject here to fill",
                                "Mon, 05 Feb 1996 13:45:10 GMT"),
                        1234567, Group("g", 300), Lines({"x"}), false);
    writer.WriteMessage(qwk::ArticleHeaders{}, 1, Group("g", 0), "", false);
    EXPECT_EQ(writer.MessagesWritten(), 2u);

    const std::string second = sink.Bytes.substr(2 * BlockSize, BlockSize);
    std::string expected(BlockSize, ' ');
    expected.replace(1, 1, "1");
    expected.replace(8, 8, "01-01-80");
    expected.replace(16, 5, "01:01");
    expected.replace(21, 3, "All");
    expected.replace(108, 1, "0");
    expected.replace(116, 1, "2");
    expected[122] = static_cast<char>(0xFF);
    expected[123] = 0;
    expected[124] = 0;
    EXPECT_EQ(second, expected);
}

TEST(QwkMessageWriter, BannerIsOneBlockAndMessagesFollowIt) {
    qwk::StringSink sink;
    qwk::MessageWriter writer(sink);
    writer.WriteBanner();
    ASSERT_EQ(sink.Bytes.size(), BlockSize);
    EXPECT_NE(sink.Bytes.find("Zandrel"), std::string::npos);
    EXPECT_EQ(sink.Bytes.find_first_of(std::string("\r\n\0", 3) + E3), std::string::npos);

    writer.WriteMessage(Headers("a", "b", ""), 1, Group("g", 0), "", false);
    EXPECT_EQ(sink.Bytes[BlockSize + 122], static_cast<char>(0xFF));
}

TEST(QwkMessageWriter, WriteBlocksDropsATrailingPartialBlock) {
    qwk::StringSink sink;
    qwk::MessageWriter writer(sink);
    writer.WriteBlocks(std::string(BlockSize + 5, 'z'));
    EXPECT_EQ(sink.Bytes, std::string(BlockSize, 'z'));
}

struct DateCase {
    const char* value;
    const char* date;
    const char* time;
};

// Names the case by its header value, so the test's name is the same in
// every build.
void PrintTo(const DateCase& c, std::ostream* out) {
    *out << '"' << c.value << '"';
}

class QwkDateHeader : public testing::TestWithParam<DateCase> {};

TEST_P(QwkDateHeader, GivesDateAndTimeFields) {
    const auto result = qwk::ParseDateHeader(GetParam().value);
    EXPECT_EQ(result.Date, GetParam().date) << GetParam().value;
    EXPECT_EQ(result.Time, GetParam().time) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Dates, QwkDateHeader,
    testing::Values(DateCase{"Mon, 05 Feb 1996 13:45:10 GMT", "02-05-96", "13:45"},
                    // A two-digit year stands as it is, and a short day gets its zero.
                    DateCase{"5 Feb 96 13:45:10 GMT", "02-05-96", "13:45"},
                    DateCase{"Tue, 06 Feb 1996 9:05:00 GMT", "02-06-96", "01:01"},
                    DateCase{"Mon, 05 Feb 1996", "02-05-96", "01:01"},
                    DateCase{"Mon, 05 feb 1996 00:00 +0100", "02-05-96", "00:00"},
                    DateCase{"Mon, 05 February 1996 10:00:00", "01-05-96", "10:00"},
                    DateCase{"Sun, 31 Dec 2000 23:59:59 -0800", "12-31-00", "23:59"},
                    // Neither two nor four characters: the fixed fallback year.
                    DateCase{"Mon, 05 Feb 123 10:00:00", "02-05-80", "10:00"},
                    DateCase{"Mon, 05 Feb 1x 10:00:00", "02-05-80", "10:00"},
                    DateCase{qwk::DefaultDateValue, "01-01-80", "01:01"},
                    DateCase{"", "01-0-80", "01:01"}, DateCase{"Mon,", "01-0-80", "01:01"}));

TEST(QwkSenderName, TakesTheDisplayNameOutOfTheFromHeader) {
    EXPECT_EQ(qwk::SenderName("John Doe <jdoe>"), "John Doe");
    EXPECT_EQ(qwk::SenderName("\"John Doe\" <jdoe>"), "John Doe");
    EXPECT_EQ(qwk::SenderName("jdoe (John Doe)"), "John Doe");
    EXPECT_EQ(qwk::SenderName("jdoe (\"John Doe\")"), "John Doe\"");
    EXPECT_EQ(qwk::SenderName("jdoe@example.com"), "jdoe@example.com");
    EXPECT_EQ(qwk::SenderName(""), "");
    EXPECT_EQ(qwk::SenderName(" <jdoe>"), "");
    // The first " <" decides, even when a parenthesis comes earlier.
    EXPECT_EQ(qwk::SenderName("a (b) c <d>"), "a (b) c");
}

TEST(QwkSenderName, LongNameIsCutToTheFieldWidth) {
    const std::string from = "averyveryverylongaddress@example.com";
    const auto written = WriteOne(Headers(from, "", ""), 1, Group("g", 0), "");
    EXPECT_EQ(Field(written.header, qwk::header::From), from.substr(0, 25));
}

} // namespace
