// Reads a MESSAGES.DAT back into its messages, for checking what a run wrote.
#pragma once

#include "qwk_format/qwk_header.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct ReadBackMessage {
    qwk::Block header{};
    std::string text; // the padded text blocks, 0xE3 turned into '\n'

    std::string Field(qwk::HeaderField field) const { return qwk::HeaderText(header, field); }
    std::uint16_t Conference() const { return qwk::HeaderConference(header); }
    bool Continues() const {
        return text.find("\nContinued with next message...\n") != std::string::npos;
    }
    // The article lines: what stands between the empty line after Subject and
    // the empty line before the continuation or origin line.
    std::vector<std::string> ArticleLines() const {
        std::vector<std::string> lines;
        std::size_t start = text.find("\n\n");
        if (start == std::string::npos)
            return lines;
        start += 2;
        const std::size_t end = text.rfind(Continues() ? "\n\nContinued" : "\n\n * Origin:");
        while (start < end + 1 && start < text.size()) {
            const std::size_t next = text.find('\n', start);
            lines.push_back(text.substr(start, next - start));
            start = next + 1;
        }
        return lines;
    }
};

struct ReadBackPacket {
    std::string banner;
    std::vector<ReadBackMessage> messages;
    bool wellFormed = true; // whole blocks, and every block count fits
};

inline ReadBackPacket ReadMessagesDat(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ReadBackPacket packet;
    if (bytes.size() < qwk::BlockSize || bytes.size() % qwk::BlockSize != 0) {
        packet.wellFormed = false;
        return packet;
    }
    packet.banner = bytes.substr(0, qwk::BlockSize);
    std::size_t at = qwk::BlockSize;
    while (at < bytes.size()) {
        ReadBackMessage message;
        std::memcpy(message.header.data(), bytes.data() + at, qwk::BlockSize);
        const long blocks = std::stol("0" + message.Field(qwk::header::BlockCount));
        const std::size_t textBytes = blocks > 1 ? (blocks - 1) * qwk::BlockSize : 0;
        if (blocks < 1 || at + qwk::BlockSize + textBytes > bytes.size()) {
            packet.wellFormed = false;
            break;
        }
        message.text = bytes.substr(at + qwk::BlockSize, textBytes);
        for (char& c : message.text) {
            if (c == qwk::LineEnd)
                c = '\n';
        }
        packet.messages.push_back(std::move(message));
        at += qwk::BlockSize + textBytes;
    }
    return packet;
}
