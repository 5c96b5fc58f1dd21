// Text made safe for a line-length limit on the wire.
#pragma once

#include <string>
#include <string_view>

namespace mime {

// The text (CR LF lines) as quoted-printable, its lines ended by CR LF and
// none longer than 76 characters.
std::string EncodeQuotedPrintable(std::string_view text);

} // namespace mime
