// Turns one part of one Usenet article into one QWK message and appends it,
// as 128-byte blocks, to the packet's MESSAGES.DAT.
#pragma once

#include "core/newsgroup_table.h"
#include "qwk_format/qwk_header.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qwk {

// Where the writer's blocks go: MESSAGES.DAT in a run, memory in tests.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::string_view bytes) = 0;
};

class StringSink : public ByteSink {
public:
    void Write(std::string_view bytes) override { Bytes.append(bytes); }
    std::string Bytes;
};

inline constexpr const char* ProducerName = "Zandrel";
inline constexpr const char* ProducerVersion = "1.0";

// What a Date header falls back to when the article has none.
inline constexpr const char* DefaultDateValue = "Mon, 01 Jan 1980 01:01:01 GMT";

// The three headers a message is built from, already read with their
// defaults (empty From and Subject, DefaultDateValue for Date).
struct ArticleHeaders {
    std::string From;
    std::string Subject;
    std::string Date = DefaultDateValue;
};

// The header's date as MM-DD-YY (at most 8 characters) and time as HH:MM (at
// most 5). Parts that cannot be recognised take fixed fallbacks, so a
// malformed date never stops a message from being written.
struct DateAndTime {
    std::string Date;
    std::string Time;
};
DateAndTime ParseDateHeader(const std::string& dateValue);

// The sender's display name from a From header: "Name <addr>" or
// "addr (Name)"; otherwise the whole value.
std::string SenderName(const std::string& fromValue);

// The banner block's line, naming the producing program.
std::string BannerLine();

// The longest From or Subject value written at the top of a message's text;
// a longer one is cut there and ends with CutMarker.
inline constexpr std::size_t MaxHeaderLineValue = 1000;
inline constexpr std::string_view CutMarker = " [...]";

class MessageWriter {
public:
    // The sink receives nothing but whole 128-byte blocks; write errors are
    // the sink's to report.
    explicit MessageWriter(ByteSink& sink);

    // Writes every whole block of text; a trailing partial block is dropped
    // (callers always pass padded text).
    void WriteBlocks(std::string_view text);

    // Block 0 of the file: the banner line padded with spaces to 128 bytes.
    void WriteBanner();

    // collectedLines: the article lines of this message, each ended by
    // LineEnd. moreFollows: another message of the same article comes next,
    // so this one announces its continuation.
    void WriteMessage(const ArticleHeaders& headers, std::int32_t articleNumber,
                      const NewsGroupRecord& group, std::string_view collectedLines,
                      bool moreFollows);

    std::size_t MessagesWritten() const { return messagesWritten_; }

    // The text is UTF-8: a header field is cut between characters.
    void SetUtf8Fields(bool utf8) { utf8Fields_ = utf8; }

private:
    ByteSink& sink_;
    Block header_{};
    std::string text_; // reused between messages to avoid an allocation per article
    std::size_t messagesWritten_ = 0;
    bool utf8Fields_ = false;

    std::string FitField(std::string text, HeaderField field) const;
};

} // namespace qwk
