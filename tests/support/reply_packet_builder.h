// Builds reply packets the way offline readers write them: a message file
// whose first block holds the packet's ID, then for each reply a header block
// (conference number both in the message-number field and in the conference
// bytes, active flag 0xE1) and its text in 128-byte blocks with 0xE3 line
// ends; and the zip archive that carries it.
//
// The block building is inline because it goes through the program's own
// description of the header block, which only the test binaries see.
#pragma once

#include "qwk_format/qwk_header.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ReplyDraft {
    std::uint16_t Conference = 0;
    std::string From;
    std::string Subject;
    std::string To = "All";
    // Lines separated by "\n"; each is stored ended by the QWK line end.
    std::string Text;
    // When set, stored in the block count field instead of the true count.
    std::string BlockCountText;
    // The number of the message replied to; "0" (none) when empty.
    std::string Reference = {};
};

class ReplyPacketBuilder {
public:
    static constexpr char ReaderActiveFlag = static_cast<char>(0xE1);

    explicit ReplyPacketBuilder(const std::string& packetId) {
        bytes_.assign(qwk::BlockSize, ' ');
        bytes_.replace(0, std::min(packetId.size(), qwk::BlockSize), packetId, 0, qwk::BlockSize);
    }

    // The header block and text blocks of one reply.
    static std::string ReplyRecords(const ReplyDraft& draft) {
        std::string text;
        std::size_t start = 0;
        while (start <= draft.Text.size() && !draft.Text.empty()) {
            const std::size_t end = draft.Text.find('\n', start);
            const std::size_t stop = end == std::string::npos ? draft.Text.size() : end;
            text.append(draft.Text, start, stop - start);
            text += qwk::LineEnd;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        text.append((qwk::BlockSize - text.size() % qwk::BlockSize) % qwk::BlockSize, ' ');

        qwk::Block header;
        header.fill(' ');
        namespace h = qwk::header;
        Put(header, h::Status, " ");
        Put(header, h::MessageNumber, std::to_string(draft.Conference));
        Put(header, h::Date, "02-05-96");
        Put(header, h::Time, "13:45");
        Put(header, h::To, draft.To);
        Put(header, h::From, draft.From);
        Put(header, h::Subject, draft.Subject);
        Put(header, h::ReferenceNumber, draft.Reference.empty() ? "0" : draft.Reference);
        Put(header, h::BlockCount,
            draft.BlockCountText.empty() ? std::to_string(text.size() / qwk::BlockSize + 1)
                                         : draft.BlockCountText);
        header[h::Active.offset] = ReaderActiveFlag;
        qwk::SetHeaderConference(header, draft.Conference);
        return std::string(header.data(), header.size()) + text;
    }

    ReplyPacketBuilder& Add(const ReplyDraft& draft) {
        bytes_ += ReplyRecords(draft);
        return *this;
    }
    // Bytes as they are, for damaged files.
    ReplyPacketBuilder& AddRaw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }

    const std::string& MessageFile() const { return bytes_; }

private:
    static void Put(qwk::Block& block, qwk::HeaderField field, const std::string& text) {
        for (std::size_t i = 0; i < field.width; ++i)
            block[field.offset + i] = i < text.size() ? text[i] : ' ';
    }

    std::string bytes_;
};

// Zips the files, stored under their bare names, into a new archive at
// archivePath with Info-ZIP's zip, an outside zipper as offline readers use.
// False when zip fails.
bool WriteZipArchive(const std::string& archivePath,
                     const std::vector<std::pair<std::string, std::string>>& files);

// The names and contents of the archive's files, read with Info-ZIP's unzip.
std::vector<std::pair<std::string, std::string>> ReadZipArchive(const std::string& archivePath);
