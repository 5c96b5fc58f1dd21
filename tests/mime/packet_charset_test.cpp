#include "mime/packet_charset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using mime::PacketCharset;

struct ConversionCase {
    const char* Name;
    std::string Utf8;
    std::string Cp437;
    std::string Latin1;
    std::string InUtf8Packet;
};

const std::vector<ConversionCase> ConversionCases = {
    {"Accented", "caf\u00e9 \u00c3", "caf\x82 A", "caf\xE9 \xC3", "caf\u00e9 \u00c3"},
    {"CombiningAccentIsComposed", "e\u0301t\u00e9", "\x82t\x82", "\xE9t\xE9", "e\u0301t\u00e9"},
    {"OutsideTheSetToBaseLetter", "\u0151 \u0141\u00f8", "o Lo", "o L\xF8", "\u0151 \u0141\u00f8"},
    {"CurlyQuotes", "\u201cHi\u201d \u2018x\u2019 \u201equ\u201c", "\"Hi\" 'x' \"qu\"",
     "\"Hi\" 'x' \"qu\"", "\u201cHi\u201d \u2018x\u2019 \u201equ\u201c"},
    {"DashesEuroEllipsis", "a\u2013b\u2014c 5\u20ac\u2026", "a-b-c 5EUR...", "a-b-c 5EUR...",
     "a\u2013b\u2014c 5\u20ac\u2026"},
    {"PiNeverBecomesLineEnd", "\u03c0r\u00b2", "pir\xFD", "pir\xB2", "\u03c0r\u00b2"},
    {"ATildeNeverBecomesLineEnd", "S\u00e3o", "Sao", "Sao", "S\u00e3o"},
    {"CompatibilityForms", "\ufb01 \u00bd \u2122", "fi \xAB (TM)", "fi \xBD (TM)",
     "\ufb01 \u00bd \u2122"},
    {"NothingReadable", "\u6f22\u5b57 \U0001F600", "?? ?", "?? ?", "\u6f22\u5b57 \U0001F600"},
    {"InvalidUtf8", "a\xFF\xC3", "a??", "a??", "a??"},
    {"LineEndsKept", "\u00e9\r\n", "\x82\r\n", "\xE9\r\n", "\u00e9\r\n"},
};

class Conversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, IntoEachPacketCharset) {
    const ConversionCase& c = GetParam();
    EXPECT_EQ(mime::ToPacketCharset(c.Utf8, PacketCharset::Cp437), c.Cp437);
    EXPECT_EQ(mime::ToPacketCharset(c.Utf8, PacketCharset::Latin1), c.Latin1);
    // The single-byte results never hold the line end.
    EXPECT_EQ(mime::ToPacketCharset(c.Utf8, PacketCharset::Utf8), c.InUtf8Packet);
    EXPECT_EQ(c.Cp437.find('\xE3'), std::string::npos);
    EXPECT_EQ(c.Latin1.find('\xE3'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Texts, Conversion, testing::ValuesIn(ConversionCases),
                         [](const testing::TestParamInfo<ConversionCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(FromPacketCharset, ReadsEachSet) {
    EXPECT_EQ(mime::FromPacketCharset("caf\x82 \xE3 \xAB", PacketCharset::Cp437),
              "caf\u00e9 \u03c0 \u00bd");
    EXPECT_EQ(mime::FromPacketCharset("caf\xE9 \xE3", PacketCharset::Latin1), "caf\u00e9 \u00e3");
    EXPECT_EQ(mime::FromPacketCharset("caf\u00e9 \x93q\x94", PacketCharset::Utf8),
              "caf\u00e9 \u201cq\u201d");
}

TEST(QwkLineEnds, Utf8LeadBytesAreNotLineEnds) {
    // U+3042 is E3 81 82; U+3044 is E3 81 84.
    const std::string utf8 = "one\xE3\xE3\x81\x82\xE3\x81\x84\xE3"
                             "end\xE3\x81\xE3";
    EXPECT_EQ(mime::QwkLineEnds(utf8, PacketCharset::Utf8),
              (std::vector<std::size_t>{3, 10, 14, 16}));
    EXPECT_EQ(mime::QwkLineEnds(utf8, PacketCharset::Cp437),
              (std::vector<std::size_t>{3, 4, 7, 10, 14, 16}));
    EXPECT_EQ(mime::QwkLineEnds(utf8, PacketCharset::Latin1),
              mime::QwkLineEnds(utf8, PacketCharset::Cp437));
}

} // namespace
