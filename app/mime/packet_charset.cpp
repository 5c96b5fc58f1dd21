#include "mime/packet_charset.h"

#include "mime/text_charset.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace mime {

namespace {

constexpr char LineEndByte = static_cast<char>(0xE3);

struct StandInText {
    char32_t CodePoint;
    const char* Text;
};

// Characters with no decomposition into letters a packet's set has, or whose
// decomposition reads worse than these. Sorted by code point.
constexpr StandInText StandIns[] = {
    {0x00A0, " "},   {0x00A6, "|"},   {0x00A8, "\""},   {0x00A9, "(C)"}, {0x00AD, ""},
    {0x00AE, "(R)"}, {0x00B4, "'"},   {0x00B8, ","},    {0x00C6, "AE"},  {0x00D0, "D"},
    {0x00D7, "x"},   {0x00D8, "O"},   {0x00DE, "TH"},   {0x00DF, "ss"},  {0x00E6, "ae"},
    {0x00F0, "d"},   {0x00F7, "/"},   {0x00F8, "o"},    {0x00FE, "th"},  {0x0110, "D"},
    {0x0111, "d"},   {0x0131, "i"},   {0x0141, "L"},    {0x0142, "l"},   {0x0152, "OE"},
    {0x0153, "oe"},  {0x02C6, "^"},   {0x02DC, "~"},    {0x03C0, "pi"},  {0x2010, "-"},
    {0x2011, "-"},   {0x2012, "-"},   {0x2013, "-"},    {0x2014, "-"},   {0x2015, "-"},
    {0x2018, "'"},   {0x2019, "'"},   {0x201A, "'"},    {0x201B, "'"},   {0x201C, "\""},
    {0x201D, "\""},  {0x201E, "\""},  {0x201F, "\""},   {0x2020, "+"},   {0x2022, "*"},
    {0x2026, "..."}, {0x2032, "'"},   {0x2033, "\""},   {0x2039, "<"},   {0x203A, ">"},
    {0x2044, "/"},   {0x20AC, "EUR"}, {0x2122, "(TM)"}, {0x2190, "<-"},  {0x2192, "->"},
    {0x2212, "-"},   {0x2260, "!="},  {0x2264, "<="},   {0x2265, ">="},  {0xFEFF, ""},
};

// Zero-width characters carry no text; "?" for them would litter it.
static_assert(std::is_sorted(std::begin(StandIns), std::end(StandIns),
                             [](const StandInText& a, const StandInText& b) {
                                 return a.CodePoint < b.CodePoint;
                             }));

bool ZeroWidth(char32_t c) {
    return c == 0x200B || c == 0x200C || c == 0x200D || c == 0x2060;
}

const char* StandIn(char32_t c) {
    const auto* end = std::end(StandIns);
    const auto* found = std::lower_bound(
        std::begin(StandIns), end, c,
        [](const StandInText& s, char32_t codePoint) { return s.CodePoint < codePoint; });
    return found != end && found->CodePoint == c ? found->Text : nullptr;
}

// A character of the set, by table, or nothing.
bool AppendDirect(std::string& out, char32_t c, const SingleByteTable& table) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return true;
    }
    const auto found = table.FromCodePoint.find(c);
    if (found == table.FromCodePoint.end())
        return false;
    out.push_back(static_cast<char>(found->second));
    return true;
}

// What a character the set lacks is written as: a stand-in, or its
// compatibility decomposition without the accents ("é" e, "ﬁ" fi, "½" 1/2)
// when every remaining piece can be written; "?" otherwise.
void AppendTransliterated(std::string& out, char32_t c, const SingleByteTable& table) {
    if (ZeroWidth(c))
        return;
    if (const char* text = StandIn(c)) {
        out.append(text);
        return;
    }
    gunichar pieces[G_UNICHAR_MAX_DECOMPOSITION_LENGTH];
    const gsize count = g_unichar_fully_decompose(static_cast<gunichar>(c), TRUE, pieces,
                                                  G_UNICHAR_MAX_DECOMPOSITION_LENGTH);
    if (count > 1 || (count == 1 && pieces[0] != c)) {
        std::string spelled;
        bool complete = false;
        for (gsize i = 0; i < count; ++i) {
            if (g_unichar_ismark(pieces[i]))
                continue;
            if (AppendDirect(spelled, pieces[i], table)) {
                complete = true;
            } else if (const char* text = StandIn(pieces[i])) {
                spelled.append(text);
                complete = true;
            } else {
                complete = false;
                break;
            }
        }
        if (complete) {
            out.append(spelled);
            return;
        }
    }
    out.push_back('?');
}

std::string ToSingleByte(std::string_view utf8, const SingleByteTable& table, bool composed) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        const std::size_t length = Utf8CharLength(utf8, i);
        if (length == 0) {
            out.push_back('?');
            ++i;
            continue;
        }
        const char32_t c = g_utf8_get_char(utf8.data() + i);
        i += length;
        if (g_unichar_ismark(c)) {
            // Compose first, so "e" and a combining acute become the set's
            // "é"; only text with such accents pays for it.
            if (!composed &&
                g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr)) {
                std::unique_ptr<gchar, decltype(&g_free)> normalized(
                    g_utf8_normalize(utf8.data(), static_cast<gssize>(utf8.size()),
                                     G_NORMALIZE_NFC),
                    g_free);
                if (normalized)
                    return ToSingleByte(normalized.get(), table, true);
            }
            // An accent left over after composing sits on a letter already
            // written as its base letter.
            continue;
        }
        if (!AppendDirect(out, c, table))
            AppendTransliterated(out, c, table);
    }
    return out;
}

std::string ValidUtf8(std::string_view text, bool windows1252Fallback) {
    if (windows1252Fallback)
        return Utf8OrWindows1252(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            out.push_back(text[i++]);
        } else if (const std::size_t length = Utf8CharLength(text, i); length > 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.push_back('?');
            ++i;
        }
    }
    return out;
}

} // namespace

std::string ToPacketCharset(std::string_view utf8, PacketCharset charset) {
    // ASCII is the same in all three sets and holds no 0xE3.
    if (IsAscii(utf8))
        return std::string(utf8);
    switch (charset) {
    case PacketCharset::Cp437:
        return ToSingleByte(utf8, Cp437Table(), false);
    case PacketCharset::Latin1:
        return ToSingleByte(utf8, Latin1Table(), false);
    case PacketCharset::Utf8:
        break;
    }
    return ValidUtf8(utf8, false);
}

std::string FromPacketCharset(std::string_view text, PacketCharset charset) {
    if (IsAscii(text))
        return std::string(text);
    if (charset == PacketCharset::Utf8)
        return ValidUtf8(text, true);
    const SingleByteTable& table = charset == PacketCharset::Cp437 ? Cp437Table() : Latin1Table();
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char c : text)
        out.append(table.ToUtf8[static_cast<unsigned char>(c)]);
    return out;
}

std::vector<std::size_t> QwkLineEnds(std::string_view text, PacketCharset charset) {
    std::vector<std::size_t> ends;
    for (std::size_t i = text.find(LineEndByte); i != std::string_view::npos;
         i = text.find(LineEndByte, i + 1)) {
        if (charset == PacketCharset::Utf8 && i + 2 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) & 0xC0) == 0x80) {
            i += 2; // a character from U+3000 to U+3FFF
            continue;
        }
        ends.push_back(i);
    }
    return ends;
}

} // namespace mime
