// An article as any poster's software may have written it: headers that
// claim any MIME structure, encodings and character sets, and a body that
// matches none of them. Decoding must give text, never crash, and what goes
// into a packet must carry no false line end in a single-byte set.
#include "fuzz_check.h"
#include "mime/article_decoder.h"
#include "mime/packet_charset.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = FuzzBytes(data, size);
    // Header lines up to the first empty line, the rest is the body.
    const auto split = input.find("\n\n");
    const std::string head = input.substr(0, split);
    const std::string body = split == std::string::npos ? std::string() : input.substr(split + 2);
    std::vector<mime::HeaderField> headers;
    for (std::size_t start = 0; start < head.size();) {
        auto end = head.find('\n', start);
        if (end == std::string::npos)
            end = head.size();
        const std::string line = head.substr(start, end - start);
        if (const auto colon = line.find(':'); colon != std::string::npos)
            headers.push_back({line.substr(0, colon), line.substr(colon + 1)});
        start = end + 1;
    }

    const mime::DecodedArticle decoded = mime::DecodeArticle(headers, body);
    bool bodyHasText = false;
    for (const char c : body)
        bodyHasText = bodyHasText || (c != '\r' && c != '\n' && c != ' ' && c != '\t');
    if (bodyHasText)
        FUZZ_CHECK(!decoded.Body.empty());

    for (const auto charset : {mime::PacketCharset::Cp437, mime::PacketCharset::Latin1}) {
        for (const std::string* text : {&decoded.From, &decoded.Subject, &decoded.Body}) {
            const std::string packet = mime::ToPacketCharset(*text, charset);
            FUZZ_CHECK(std::find(packet.begin(), packet.end(), '\xE3') == packet.end());
        }
    }
    const std::string utf8 = mime::ToPacketCharset(decoded.Body, mime::PacketCharset::Utf8);
    FUZZ_CHECK(mime::QwkLineEnds(utf8, mime::PacketCharset::Utf8).size() <= utf8.size());
    return 0;
}
