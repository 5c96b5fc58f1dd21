// The character set of a packet's text, and where its lines end.
//
// Offline readers assume code page 437; some read Latin-1 or UTF-8. In the
// single-byte sets the byte 0xE3 ends a line, so no character may become it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mime {

enum class PacketCharset { Cp437, Latin1, Utf8 };

// UTF-8 text in the packet's set. A character the set lacks becomes a
// readable stand-in: curly quotes straight ones, dashes "-", the euro sign
// "EUR", the ellipsis "...", an accented letter its base letter, and anything
// else "?". No character is dropped and no UTF-8 byte is left over; in the
// single-byte sets the character that would be 0xE3 is written out too
// (CP437 "π" as "pi", Latin-1 "ã" as "a"). Line ends are left as they are.
// Invalid UTF-8 in the input becomes "?" per byte, in a UTF-8 packet as well.
std::string ToPacketCharset(std::string_view utf8, PacketCharset charset);

// A reply's text, written in the packet's set, as UTF-8. Bytes that are not
// valid UTF-8 in a UTF-8 packet are read as Windows-1252.
std::string FromPacketCharset(std::string_view text, PacketCharset charset);

// The positions of the bytes that end lines in a packet's text: each 0xE3,
// except in a UTF-8 packet where 0xE3 followed by two continuation bytes is
// the lead byte of a character. The message writer and the reply reader both
// split here, so they agree on where lines end.
std::vector<std::size_t> QwkLineEnds(std::string_view text, PacketCharset charset);

} // namespace mime
