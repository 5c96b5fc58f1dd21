// The byte-level pieces of NNTP (RFC 3977) that the control needs, apart from
// any socket so they can be checked on their own.
#pragma once

#include "tnntp.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nntp {

// Longest status line the control accepts; real ones are well under 512.
inline constexpr std::size_t MaxStatusLine = 64 * 1024;
// Longest line of a data block (articles, lists). Articles should keep to
// 998 bytes; this leaves room for careless posters without letting a broken
// server grow memory for ever.
inline constexpr std::size_t MaxTextLine = 1024 * 1024;
// The most one article or one list may hold unless the caller says
// otherwise; memory stays bounded by these, whatever a server sends.
inline constexpr std::size_t DefaultArticleLimit = 16 * 1024 * 1024;
inline constexpr std::size_t DefaultListLimit = 64 * 1024 * 1024;
// Pipelined fetching: the most ARTICLE commands in flight, and the most
// received bytes held for replies nobody has asked for yet. At a round trip
// of 50 ms a window of 128 lets in up to 2,500 articles a second.
inline constexpr std::size_t ReadAheadCommands = 128;
inline constexpr std::size_t ReadAheadBytes = 8 * 1024 * 1024;
// A reply slower than this (about 270 bytes a second) is a server dripping
// bytes to keep a connection alive, not a slow link.
inline constexpr std::size_t MinimumBytesPerMinute = 16 * 1024;

// The three-digit code of a status line ("211 3 1 3 misc.test"), or nothing
// when the line is not one.
std::optional<int> StatusCode(std::string_view line);

struct GroupSelection {
    std::int32_t count = 0;
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::string name;
};
// The numbers of a 211 reply to GROUP; numbers beyond 32 bits are clamped.
std::optional<GroupSelection> ParseGroupReply(std::string_view line);

// NEWGROUPS' arguments "yyyymmdd 000000 GMT" for an automation date (days
// since 30 December 1899; the time of day is dropped).
std::string NewGroupsArguments(double date);

// The article as it goes on the wire after POST's 340: the headers in their
// order, an empty line and the text, every line ended by CR LF (bare CR and
// LF included), lines starting with a dot stuffed, and the terminating dot.
// Line breaks inside a header's name or value become spaces, so a value can
// never start a header line of its own.
std::string PostingWireForm(const TDocHeaders& headers, std::string_view text);

// Files one (unstuffed) line of an article's header section under headers.
// "Name: value" adds a header, the white space after the colon dropped; a
// line that starts with white space continues the last header's value (the
// line break goes, the white space stays). Anything else names no header and
// is dropped.
void TakeHeaderLine(TDocHeaders& headers, std::string_view line);

// Strips the stuffed dot of a data line (RFC 3977 3.1.1).
inline std::string_view Unstuffed(std::string_view line) {
    return !line.empty() && line.front() == '.' ? line.substr(1) : line;
}

// A command argument must not carry a line break into the command stream.
bool SafeArgument(std::string_view text);

} // namespace nntp
