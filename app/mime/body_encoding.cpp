#include "mime/body_encoding.h"

#include <gmime/gmime.h>

#include <vector>

namespace mime {

std::string EncodeQuotedPrintable(std::string_view text) {
    // The encoder works on LF lines; a CR of a CR LF would become "=0D".
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }
    std::vector<unsigned char> encoded(GMIME_QP_ENCODE_LEN(lines.size()) + 4);
    int state = -1;
    guint32 save = 0;
    const std::size_t length = g_mime_encoding_quoted_encode_close(
        reinterpret_cast<const unsigned char*>(lines.data()), lines.size(), encoded.data(), &state,
        &save);
    std::string out;
    out.reserve(length + length / 64);
    for (std::size_t i = 0; i < length; ++i) {
        if (encoded[i] == '\n')
            out += '\r';
        out += static_cast<char>(encoded[i]);
    }
    return out;
}

} // namespace mime
