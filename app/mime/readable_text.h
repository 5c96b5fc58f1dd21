// HTML and flowed text made readable in a reader that shows lines as they are.
#pragma once

#include <string>
#include <string_view>

namespace mime {

// An HTML part's text: tags removed, scripts and styles dropped, entities
// decoded, blocks as paragraphs, a link's address after its text. Input and
// output are UTF-8; lines end with LF.
std::string HtmlToText(std::string_view html);

// A format=flowed part's lines joined into paragraphs (RFC 3676): a line
// ending in a space continues on the next line of the same quote depth.
// delSp: that space was added by the sender and is removed. Output lines end
// with LF; quoted ones start with their ">" marks and a space.
std::string UnflowText(std::string_view text, bool delSp);

// LF, CR or CR LF line ends as CR LF.
std::string WithCrLf(std::string_view text);

} // namespace mime
