// 8-bit text to UTF-8, and the single-byte character sets' tables. What
// lives here is shared by the article decoder and the packet's conversions;
// callers outside app/mime/ use article_decoder.h and packet_charset.h.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mime {

bool IsAscii(std::string_view text);

// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// The length of the valid UTF-8 character at text[at] (a byte >= 0x80), or 0
// when the bytes there are not one.
std::size_t Utf8CharLength(std::string_view text, std::size_t at);

// Text in no known character set: each valid UTF-8 character stays as it is,
// every other byte is read as Windows-1252. Newsreaders post both, and a reply
// quoting one in the other mixes them.
std::string Utf8OrWindows1252(std::string_view bytes);

// Text in the character set a MIME part declares. A set iconv does not know,
// or text that is not what its label says, goes through Utf8OrWindows1252.
std::string TextToUtf8(std::string_view bytes, std::string_view charset);

// A single-byte character set as glibc's iconv sees it.
struct SingleByteTable {
    std::array<std::string, 256> ToUtf8; // U+FFFD where the set has no character
    std::unordered_map<char32_t, unsigned char> FromCodePoint; // bytes 0x80-0xFF only
};
const SingleByteTable& Windows1252Table();
// Neither QWK table holds a code point for the byte 0xE3: it ends a line.
const SingleByteTable& Cp437Table();
const SingleByteTable& Latin1Table();

} // namespace mime
