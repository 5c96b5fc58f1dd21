// UTF-8 header values for the wire: text that is not ASCII goes out as RFC
// 2047 encoded words, so that a server and every newsreader take it whatever
// their own character set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mime {

// RFC 2047 keeps a line holding encoded words to 76 characters, and each
// encoded word to 75.
inline constexpr std::size_t MaxEncodedLine = 76;
inline constexpr std::size_t MaxEncodedWord = 75;

// The value of an unstructured header (Subject) from UTF-8 text.
// headerNameLength: the length of the header's name ("Subject" is 7), which
// with ": " starts the first line.
//
// ASCII comes back exactly as it is, unless a word of it looks like an
// encoded word (a reader would decode it) or holds a control character: such
// a word is encoded. Otherwise each
// word that needs it, with the spaces between such words, becomes encoded
// words in UTF-8, never cutting a character in two: Q unless B is clearly
// shorter, and no B word but the last of a run ends in "=" padding (some
// decoders join neighbouring words first and stop there). The other words
// stay as they are. The value is then folded by CR LF
// and a space at its spaces (or between encoded words, where decoders drop
// the space) so that lines stay within MaxEncodedLine where a word allows;
// taking every CR LF out gives the same value on one line. Bytes that are not
// UTF-8 are read as Windows-1252.
std::string EncodeHeaderText(std::string_view utf8, std::size_t headerNameLength);

// A From value, "name <address>". A name in ASCII stays as it is, quoted when
// it holds a character a bare phrase may not (such as "." or ","); any other
// name is encoded words as a whole, the address never. An empty name gives
// the address alone. Folded as EncodeHeaderText folds, after "From: ".
std::string EncodeFromValue(std::string_view displayNameUtf8, std::string_view address);

} // namespace mime
