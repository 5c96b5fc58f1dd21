// A Usenet article as text a reader can show: encoded headers decoded,
// transfer encodings undone, the text picked out of a MIME article
// and every character set read into UTF-8. packet_charset.h takes the result
// on into the packet's set.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mime {

// One header field as received, folded lines already joined.
struct HeaderField {
    std::string Name;
    std::string Value;
};

struct DecodedArticle {
    std::string From;    // UTF-8, encoded words decoded
    std::string Subject; // UTF-8, encoded words decoded
    std::string Body;    // UTF-8 text, lines ended by CR LF
};

// headers: the article's header fields in order; body: its body as received,
// CR LF lines, dot-unstuffing already done.
//
// Most of Usenet is plain text: without MIME, or with MIME that only names
// text/plain and a charset. Such a body never goes through the MIME parser,
// nor does From or Subject without "=?"; an ASCII body comes back byte for
// byte, line ends included.
//
// Otherwise: multipart/alternative gives its text/plain part; other
// multipart types give every inline text/plain part in order and one line
// "[Attachment: name, type, size, not included]" for each other part; an
// article with no text/plain but HTML gives the HTML's text; format=flowed
// lines are joined. Text in an unknown or wrong character set, and 8-bit text
// without MIME, is UTF-8 where it is valid UTF-8 and Windows-1252 elsewhere.
// Nothing is thrown; a non-empty article never gives an empty body.
DecodedArticle DecodeArticle(const std::vector<HeaderField>& headers, std::string_view body);

} // namespace mime
