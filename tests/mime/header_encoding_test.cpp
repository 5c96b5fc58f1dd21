// Header values for the wire, read back with GMime as a newsreader would.
#include "mime/header_encoding.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::string Unfolded(std::string value) {
    std::string::size_type at;
    while ((at = value.find("\r\n")) != std::string::npos)
        value.erase(at, 2);
    return value;
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0, end;
    while ((end = text.find(separator, start)) != std::string::npos) {
        pieces.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

void InitGMime() {
    static const bool initialised = [] {
        g_mime_init();
        return true;
    }();
    (void)initialised;
}

std::string GMimeDecoded(const std::string& value) {
    InitGMime();
    const std::unique_ptr<char, decltype(&g_free)> decoded(
        g_mime_utils_header_decode_text(nullptr, value.c_str()), &g_free);
    return decoded ? decoded.get() : "";
}

// Every line within the limit, every encoded word within 75 characters and
// whole characters on its own.
void ExpectWellFormed(const std::string& header, const std::string& original,
                      std::size_t* encodedWords = nullptr) {
    for (const std::string& line : Split(header, "\r\n"))
        EXPECT_LE(line.size(), mime::MaxEncodedLine) << line;
    std::size_t words = 0;
    for (const std::string& token : Split(Unfolded(header), " ")) {
        if (!token.starts_with("=?"))
            continue;
        ++words;
        EXPECT_LE(token.size(), mime::MaxEncodedWord) << token;
        // A character cut in two would decode alone as something else.
        const std::string alone = GMimeDecoded(token);
        EXPECT_FALSE(alone.empty()) << token;
        EXPECT_NE(original.find(alone), std::string::npos) << token << " -> " << alone;
    }
    if (encodedWords != nullptr)
        *encodedWords = words;
}

TEST(EncodeHeaderText, LeavesAsciiExactlyAsItIs) {
    for (const std::string& text :
         {std::string(), std::string("Re: plain subject"), std::string("  odd   spacing\tand tab "),
          std::string(200, 'x') + " and a long unfoldable line " + std::string(100, 'y'),
          std::string("Price =? 5 ?= maybe")})
        EXPECT_EQ(mime::EncodeHeaderText(text, 7), text);
}

TEST(EncodeHeaderText, DecodesBackWithinTheLineAndWordLimits) {
    std::string cjk;
    for (int i = 0; i < 6; ++i)
        cjk += "\u65e5\u672c\u8a9e\u306e\u9577\u3044\u4ef6\u540d\u3067\u3059";
    std::string emoji;
    for (int i = 0; i < 10; ++i)
        emoji += "\U0001F600\U0001F601\U0001F602\U0001F603";
    struct Case {
        const char* Name;
        std::string Text;
        std::string Decoded;
        std::size_t MinWords;
    };
    const std::vector<Case> cases{
        {"Cafe", "caf\u00e9", "caf\u00e9", 1},
        {"PlainWordsStayAround", "Re: caf\u00e9 au lait", "Re: caf\u00e9 au lait", 1},
        {"NeighboursShareTheirSpaces", "\u00e9 \u00e9  \u00e9 x \u00e9",
         "\u00e9 \u00e9  \u00e9 x \u00e9", 2},
        {"LongLatin",
         "\u00dcn\u00efc\u00f6d\u00e9 and a very long english text that goes on and on and on "
         "and on and on and on and on until it has to fold more than once",
         "\u00dcn\u00efc\u00f6d\u00e9 and a very long english text that goes on and on and on "
         "and on and on and on and on until it has to fold more than once",
         1},
        // Two bytes first, so that no word's share of the bytes is a whole
        // number of characters by chance.
        {"LongCjk", "Re: \u00e9" + cjk, "Re: \u00e9" + cjk, 4},
        {"FourByteCharacters", std::string(30, 'a') + " " + emoji,
         std::string(30, 'a') + " " + emoji, 3},
        {"LooksEncoded", "=?utf-8?q?not_encoded?= text", "=?utf-8?q?not_encoded?= text", 1},
        {"NotUtf8", "caf\xE9 \x93quoted\x94", "caf\u00e9 \u201cquoted\u201d", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string value = mime::EncodeHeaderText(c.Text, 7);
        const std::string header = "Subject: " + value;
        EXPECT_EQ(GMimeDecoded(Unfolded(value)), c.Decoded) << value;
        std::size_t words = 0;
        ExpectWellFormed(header, c.Decoded, &words);
        EXPECT_GE(words, c.MinWords) << value;
    }
}

TEST(EncodeFromValue, EncodesTheNameOnlyAndQuotesReservedCharacters) {
    EXPECT_EQ(mime::EncodeFromValue("John Doe", "jd@example.org"), "John Doe <jd@example.org>");
    EXPECT_EQ(mime::EncodeFromValue("John Q. Public", "jq@example.org"),
              "\"John Q. Public\" <jq@example.org>");
    EXPECT_EQ(mime::EncodeFromValue("Say \"hi\\\"", "s@example.org"),
              "\"Say \\\"hi\\\\\\\"\" <s@example.org>");
    EXPECT_EQ(mime::EncodeFromValue("  ", "bare@example.org"), "bare@example.org");

    std::string longName;
    for (int i = 0; i < 5; ++i)
        longName += "\u5c71\u7530\u592a\u90ce\u3068\u82b1\u5b50";
    for (const std::string& name :
         {std::string("J\u00f6rg M\u00fcller"), std::string("M\u00fcller, J\u00f6rg"), longName}) {
        SCOPED_TRACE(name);
        const std::string value = mime::EncodeFromValue(name, "jm@example.org");
        ExpectWellFormed("From: " + value, name);
        InitGMime();
        InternetAddressList* list = internet_address_list_parse(nullptr, Unfolded(value).c_str());
        ASSERT_NE(list, nullptr) << value;
        ASSERT_EQ(internet_address_list_length(list), 1);
        InternetAddress* address = internet_address_list_get_address(list, 0);
        ASSERT_TRUE(INTERNET_ADDRESS_IS_MAILBOX(address));
        EXPECT_EQ(std::string(internet_address_get_name(address)), name);
        EXPECT_EQ(std::string(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))),
                  "jm@example.org");
        g_object_unref(list);
    }
}

} // namespace
