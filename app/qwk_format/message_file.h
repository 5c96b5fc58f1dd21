// MESSAGES.DAT as the writer's byte sink: one buffered file that remembers
// its first input/output error.
#pragma once

#include "qwk_format/qwk_message_writer.h"

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qwk {

// An input/output error on the packet's message file; what() is the text
// the user sees, naming the error number and the file.
struct MessageFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class MessageFile : public ByteSink {
public:
    enum class Mode {
        Create, // a new file, or an old one truncated
        Append, // an uncollected packet's file, continued after its last message
    };

    // Opens the file; throws MessageFileError when it cannot.
    explicit MessageFile(std::string path, Mode mode = Mode::Create);
    ~MessageFile() override;
    MessageFile(const MessageFile&) = delete;
    MessageFile& operator=(const MessageFile&) = delete;

    void Write(std::string_view bytes) override;

    // A write has failed; nothing further is written.
    bool Failed() const { return error_ != 0; }
    // Throws MessageFileError for the first error seen, if any.
    void ThrowIfFailed() const;
    // Flushes and closes; throws MessageFileError when any write or the close
    // failed.
    void Close();

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    int error_ = 0;
};

// The messages of a message file this program wrote: its blocks after the
// first, walked by each header's block count. Nothing when the file cannot
// be read or is not a whole sequence of messages.
std::optional<std::size_t> CountMessages(const std::string& path);

} // namespace qwk
