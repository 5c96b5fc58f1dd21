// The 128-byte QWK block and the layout of a message's header block.
//
// MESSAGES.DAT and a reply packet's message file are both sequences of
// 128-byte blocks; a message is one header block followed by its text blocks.
// This is the one description of the header block: the writer and the reply
// reader both go through these fields, never through bare offsets.
#pragma once

#include "vxutil.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qwk {

inline constexpr std::size_t BlockSize = 128;

// One 128-byte record of a QWK message file.
using Block = std::array<char, BlockSize>;

// The QWK line end inside message text (no CR or LF is stored).
inline constexpr char LineEnd = static_cast<char>(0xE3);

// The active flag written into every message we produce.
inline constexpr char ActiveFlag = static_cast<char>(0xFF);

// A fixed-width field of the header block.
struct HeaderField {
    std::size_t offset;
    std::size_t width;
};

// Text fields are 8-bit characters, left-aligned and space-filled, without a
// NUL terminator; the conference number is a little-endian 16-bit integer.
namespace header {
inline constexpr HeaderField Status{0, 1};
inline constexpr HeaderField MessageNumber{1, 7};
inline constexpr HeaderField Date{8, 8};  // MM-DD-YY
inline constexpr HeaderField Time{16, 5}; // HH:MM
inline constexpr HeaderField To{21, 25};
inline constexpr HeaderField From{46, 25};
inline constexpr HeaderField Subject{71, 25};
inline constexpr HeaderField Password{96, 12};
inline constexpr HeaderField ReferenceNumber{108, 8};
inline constexpr HeaderField BlockCount{116, 6}; // blocks of the message, header included
inline constexpr HeaderField Active{122, 1};
inline constexpr HeaderField Conference{123, 2}; // unsigned 16-bit, low byte first
inline constexpr HeaderField LogicalNumber{125, 2};
inline constexpr HeaderField NetworkTag{127, 1};

// In layout order; the fields cover the block exactly once.
inline constexpr std::array<HeaderField, 14> AllFields{
    Status,   MessageNumber,   Date,       Time,   To,         From,          Subject,
    Password, ReferenceNumber, BlockCount, Active, Conference, LogicalNumber, NetworkTag};
} // namespace header

constexpr bool HeaderFieldsTileBlock() {
    std::size_t next = 0;
    for (const HeaderField& field : header::AllFields) {
        if (field.offset != next)
            return false;
        next += field.width;
    }
    return next == BlockSize;
}
static_assert(HeaderFieldsTileBlock(), "QWK header fields must cover 128 bytes without gaps");

// Writes text left-aligned into the field, cut at its width, the rest spaces.
inline void SetHeaderText(Block& block, HeaderField field, const std::string& text) {
    VxStrToChar(block.data() + field.offset, static_cast<std::int32_t>(field.width), text);
}

// The field's bytes as text, trimmed.
inline std::string HeaderText(const Block& block, HeaderField field) {
    return VxCharToStr(block.data() + field.offset, static_cast<std::int32_t>(field.width));
}

inline void SetHeaderByte(Block& block, HeaderField field, char value) {
    block[field.offset] = value;
}

// Only the low 16 bits of the number fit; higher bits are dropped.
inline void SetHeaderConference(Block& block, std::uint32_t conference) {
    block[header::Conference.offset] = static_cast<char>(conference & 0xFF);
    block[header::Conference.offset + 1] = static_cast<char>((conference >> 8) & 0xFF);
}

inline std::uint16_t HeaderConference(const Block& block) {
    const auto low = static_cast<std::uint8_t>(block[header::Conference.offset]);
    const auto high = static_cast<std::uint8_t>(block[header::Conference.offset + 1]);
    return static_cast<std::uint16_t>(low | (high << 8));
}

} // namespace qwk
