// What a posting run has sent, recorded reply by reply, so that a run killed
// between two replies never posts one of them twice.
//
// The reply packet is rewritten only after the last reply; until then this
// file, beside GROUPS.DAT, says which replies went out. Each line reaches the
// disk before the run goes on:
//   PACKET <digest of the reply archive>
//   SENDING <reply key> <Message-ID>   before the reply goes to the server
//   POSTED <reply key> <Message-ID>    once the server has taken it
// A reply with SENDING and no POSTED is in doubt: it may have reached the
// server. It keeps its Message-ID, so the run can ask the server for it
// before posting again. The records of another archive are stale: the
// packet was rewritten after its last run, and they are dropped.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// A short digest of bytes (64-bit FNV-1a, as 16 hex digits).
std::string ContentDigest(std::string_view bytes);

// The digest of a file's bytes; empty when it cannot be read.
std::string FileDigest(const std::string& path);

class PostingJournal {
public:
    explicit PostingJournal(std::string path);
    ~PostingJournal();
    PostingJournal(const PostingJournal&) = delete;
    PostingJournal& operator=(const PostingJournal&) = delete;

    // Takes up the records kept for this archive; those of another archive
    // are dropped.
    void Load(const std::string& archiveDigest);

    bool WasPosted(const std::string& replyKey) const;
    // The Message-ID a reply in doubt was sent with.
    std::optional<std::string> SentMessageId(const std::string& replyKey) const;

    // False when the record cannot be made durable; the reply must then not
    // be sent. Error() says why.
    bool RecordSending(const std::string& replyKey, const std::string& messageId);
    bool RecordPosted(const std::string& replyKey, const std::string& messageId);

    // The reply packet no longer holds the posted replies: the record goes.
    void Remove();

    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

private:
    bool Append(const std::string& line);

    std::string path_;
    std::string archiveDigest_;
    bool started_ = false; // this run has written the PACKET line
    int fd_ = -1;
    std::map<std::string, std::string> sending_; // key -> Message-ID, in doubt
    std::map<std::string, std::string> posted_;
    std::string error_;
};
