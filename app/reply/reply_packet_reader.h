// Reads the reply packet an offline reader hands back: a zip archive in the
// work directory holding a message file of 128-byte QWK blocks. Each reply is
// one header block and its text blocks. Replies that are not posted go back
// into the packet, byte for byte, so nothing is ever lost or posted twice.
#pragma once

#include "core/newsgroup_table.h"
#include "core/settings.h"
#include "mime/packet_charset.h"
#include "qwk_format/qwk_header.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class ProgressView;
class TUnzipFile;
class TZipFile;

// The file of that name in the directory, its name's case as it is on disk.
// The reply archive and its message file come from other programs, which
// may write MYBBS.REP as well as mybbs.rep. An exact match wins.
std::optional<std::string> FindFileIgnoringCase(const std::string& directory,
                                                const std::string& fileName);

// <WorkDirectory>/<QwkId>.REP as found on disk, if there is one.
std::optional<std::string> FindReplyArchive(const Settings& settings);

// The text blocks of a reply as the article body: each QWK line end becomes
// CR LF, every other byte stays, and only the spaces at the very end go. In
// a UTF-8 packet a 0xE3 that begins a character is not a line end.
std::string DecodeReplyText(std::string_view textBlocks,
                            mime::PacketCharset charset = mime::PacketCharset::Cp437);

// The first record of the table whose Conference is the reply's conference.
const NewsGroupRecord* FindConferenceGroup(const NewsGroupTable& table, std::uint16_t conference);

struct ReplyMessage {
    qwk::Block Header{};
    std::string Body;
    // The header and text blocks exactly as stored, for keeping the reply.
    std::string Records;
};

enum class ReplyRead {
    Reply, // a reply with text
    Empty, // a reply without text: nothing to post, reading goes on
    End,   // every reply has been read
    // The file cannot be read on from this reply (a block count that is not
    // a number, a short record). The rest is kept unread.
    Damaged,
};

// What became of the reply archive when the packet was closed.
struct ReplyPacketOutcome {
    // Replies written back into the archive because they were not posted.
    int KeptReplies = 0;
    // A damaged, unread end of the message file was written back as well.
    bool KeptUnreadRest = false;
    // The archive was replaced by one holding only what is kept (or deleted
    // when nothing is). False when rewriting it failed: the old archive then
    // stays as it was, whole.
    bool ArchiveUpdated = false;
};

class ReplyPacketReader {
public:
    // archivePath: the reply archive as found (FindReplyArchive).
    ReplyPacketReader(const Settings& settings, std::string archivePath, std::string tempDirectory);

    // Empties TempDirectory, unpacks the archive into it with the progress
    // window showing, and opens the message file at its first reply. False
    // when any of that fails, and also when the archive holds a directory or
    // one file name twice (letter case aside): which file is the message
    // file would then be a guess. The archive then stays untouched.
    bool OpenReplyPacket(TUnzipFile& unzip, ProgressView& progress);

    // Opens an already unpacked message file at its first reply.
    bool OpenMessageFile(const std::string& path);

    // After OpenReplyPacket or OpenMessageFile returned false: why, as one
    // sentence for the user naming the archive's file, such as
    // "MYBBS.REP cannot be unpacked" or "MYBBS.REP holds no MYBBS.MSG".
    // Empty while nothing has failed.
    const std::string& OpenFailure() const { return openFailure_; }

    ReplyRead ReadReplyMessage(ReplyMessage& reply);
    // How many replies the open message file holds, for the progress
    // window; nothing when its blocks do not add up.
    std::optional<std::size_t> ReplyCount() const;

    // The reply was not posted: it goes back into the packet.
    void KeepReply(const ReplyMessage& reply);
    int KeptReplies() const { return keptReplies_; }

    // Closes the message file. When every reply was posted the archive is
    // deleted; otherwise it is replaced by an archive of the same name whose
    // message file holds the first block, the kept replies and any unread
    // rest, packed with the progress window showing. Throws
    // std::ios_base::failure when the message file cannot be closed.
    ReplyPacketOutcome CloseReplyPacket(TZipFile& zip, ProgressView& progress);

private:
    bool WriteKeptPacket(TZipFile& zip, ProgressView& progress);
    bool CheckUnpackedFiles(TUnzipFile& unzip, int extracted);
    bool Fail(std::string sentence);

    const Settings& settings_;
    std::string archivePath_;
    std::string tempDirectory_;
    std::string messageFilePath_;
    std::ifstream messageFile_;
    std::uintmax_t fileSize_ = 0;
    qwk::Block firstBlock_{};
    std::string keptRecords_;
    int keptReplies_ = 0;
    std::string unreadRest_;
    std::vector<std::string> otherUnpackedFiles_;
    std::string openFailure_;
};
