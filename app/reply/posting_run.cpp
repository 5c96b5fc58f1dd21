#include "reply/posting_run.h"

#include "ascii.h"
#include "core/run_views.h"
#include "mime/packet_charset.h"
#include "mime/text_charset.h"
#include "nntp/news_connection.h"
#include "qwk_format/references.h"
#include "qwk_format/thread_store.h"
#include "reply/article_headers.h"
#include "reply/posting_journal.h"
#include "reply/reply_kludges.h"
#include "run_interruption.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>

std::mt19937& ProgramRandom() {
    static std::mt19937 generator(static_cast<std::mt19937::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    return generator;
}

namespace {

// The log window belongs to the run from the moment it is shown; it is
// hidden again however the run ends.
class ShownLog {
public:
    explicit ShownLog(RunLog& log) : log_(log) {
        log_.Clear();
        log_.SetCaption("Posting articles");
        log_.Show();
    }
    ~ShownLog() { log_.Hide(); }
    ShownLog(const ShownLog&) = delete;
    ShownLog& operator=(const ShownLog&) = delete;

private:
    RunLog& log_;
};

std::string FileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string ReplyCount(int replies) {
    return std::to_string(replies) + (replies == 1 ? " reply" : " replies");
}

// A refusal that says the server has an article of this Message-ID already:
// 435 or 437 to the posting, or 441 carrying one of them (as some servers
// answer POST), or its text naming a duplicate.
bool RefusedAsDuplicate(const TransferOutcome& posted) {
    if (posted.Code == 435 || posted.Code == 437)
        return true;
    if (posted.Code != 441)
        return false;
    const std::string text = ascii::Lower(posted.Text);
    return text.find(" 435") != std::string::npos || text.find(" 437") != std::string::npos ||
           text.find("duplicate") != std::string::npos;
}

// Sends one reply with this Message-ID and waits for the control; true when
// the server took it, or, for a reply sent before (inDoubt), says it has it.
bool PostReply(NewsConnection& connection, const ReplyArticle& article,
               const NewsGroupRecord& group, const ArticleIdentity& identity,
               const std::string& messageId, bool inDoubt, RunLog& log) {
    log.AppendLine("Sending article to " + group.Name);
    TDocHeaders headers;
    const std::string body = ComposeReplyArticle(headers, article, group.Name, identity, messageId);

    TransferOutcome posted;
    try {
        posted = connection.PostArticle(headers, body);
    } catch (const EControlError& refused) {
        // The control would not even start (the connection dropped on an
        // earlier reply, say): this reply waits for the next run.
        posted.Text = refused.what();
    }
    if (posted)
        return true;
    if (inDoubt && RefusedAsDuplicate(posted)) {
        log.AppendLine("        Already on the server as " + messageId + ".");
        return true;
    }
    log.AppendLine("        Article not posted." +
                   (posted.Text.empty() ? std::string() : " " + posted.Text));
    // A From without an address is what servers refuse when no Domain is set.
    if (identity.Domain.empty() && article.Sender.find('@') == std::string::npos &&
        ascii::Lower(posted.Text).find("from") != std::string::npos)
        log.AppendLine("        Set Domain in Settings (Identity) so that replies go out with "
                       "an address.");
    return false;
}

// Text a reader wrote: UTF-8 when it is valid UTF-8 with characters beyond
// ASCII (some readers pass the user's UTF-8 through), otherwise the packet's
// character set.
std::string ReplyTextToUtf8(std::string_view text, mime::PacketCharset charset) {
    bool multibyte = false;
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = mime::Utf8CharLength(text, i);
        if (length == 0)
            return mime::FromPacketCharset(text, charset);
        multibyte = true;
        i += length;
    }
    return multibyte ? std::string(text) : mime::FromPacketCharset(text, charset);
}

// The reply as it goes out: its full fields from the reader's lines at the
// top of the text, the thread it continues, and everything in UTF-8.
ReplyArticle PrepareReply(const ReplyMessage& reply, std::uint16_t conference,
                          mime::PacketCharset charset, const ThreadStore* threads, RunLog& log) {
    // HeaderText gives each field trimmed.
    const ReplyFields fields{qwk::HeaderText(reply.Header, qwk::header::From),
                             qwk::HeaderText(reply.Header, qwk::header::To),
                             qwk::HeaderText(reply.Header, qwk::header::Subject)};
    const KludgedReply kludged = ReadReplyKludges(reply.Body, fields);
    ReplyArticle article;
    article.Sender = ReplyTextToUtf8(kludged.Fields.From, charset);
    article.Subject = ReplyTextToUtf8(kludged.Fields.Subject, charset);
    article.Body = ReplyTextToUtf8(kludged.Body, charset);

    const std::string reference = qwk::HeaderText(reply.Header, qwk::header::ReferenceNumber);
    if (!threads || reference.empty() || reference == "0")
        return article;
    const ThreadEntry* parent = threads->FindParent(conference, reference);
    if (!parent) {
        log.AppendLine("        The message replied to (# " + reference +
                       ") is not known here; sent without References.");
        return article;
    }
    article.References = ReplyReferences(parent->References, parent->MessageId);
    // A subject the reader cut, or sent without its "Re: ", is completed
    // from the parent's, compared as the reader saw it.
    if (!parent->Subject.empty()) {
        const std::string seen = mime::ToPacketCharset(parent->Subject, charset);
        if (ReplySubject(kludged.Fields.Subject, seen) != kludged.Fields.Subject)
            article.Subject = ascii::StartsWithIgnoringCase(parent->Subject, "Re:")
                                  ? parent->Subject
                                  : "Re: " + parent->Subject;
    }
    return article;
}

// A reply sent by a run that ended before the server's answer was recorded:
// the server has it when it knows its Message-ID.
bool ServerHasArticle(NewsConnection& connection, const std::string& messageId) {
    try {
        return static_cast<bool>(connection.StatArticle(messageId));
    } catch (const EControlError&) {
        return false;
    }
}

// Identical replies in one file are told apart by their order.
class ReplyKeys {
public:
    std::string KeyOf(const ReplyMessage& reply) {
        const std::string digest = ContentDigest(reply.Records);
        return digest + "-" + std::to_string(++seen_[digest]);
    }

private:
    std::map<std::string, int> seen_;
};

void LogPacketOutcome(const ReplyPacketOutcome& outcome, const std::string& archiveName,
                      RunLog& log) {
    if (!outcome.ArchiveUpdated) {
        log.AppendLine("Could not update " + archiveName +
                       "; it stays as it was, and its replies will be sent again.");
        return;
    }
    if (outcome.KeptReplies > 0)
        log.AppendLine(ReplyCount(outcome.KeptReplies) + " not posted, kept in " + archiveName);
    if (outcome.KeptUnreadRest)
        log.AppendLine("The unread rest of the message file is kept in " + archiveName);
}

} // namespace

PostingSummary PostingRun(NewsConnection& connection, const NewsGroupTable& table,
                          const Settings& settings, const std::string& tempDirectory,
                          const std::string& journalPath, RunLog& log, ProgressView& progress,
                          TUnzipFile& unzip, TZipFile& zip, const MessageIdSource& messageIds,
                          const ThreadStore* threads) {
    PostingSummary summary;
    const auto archive = FindReplyArchive(settings);
    PostingJournal journal(journalPath);
    if (!archive) {
        // Nothing left to post: what was recorded belongs to a packet that
        // is gone.
        journal.Remove();
        return summary;
    }
    summary.ArchiveName = FileName(*archive);
    if (connection.Disconnected())
        return summary;

    ReplyPacketReader reader(settings, *archive, tempDirectory);
    if (!reader.OpenReplyPacket(unzip, progress)) {
        summary.Failure = reader.OpenFailure();
        return summary;
    }
    summary.Ran = true;
    journal.Load(FileDigest(*archive));

    const ArticleIdentity identity{settings.Domain, settings.Organization};
    ShownLog shown(log);
    std::int32_t postingCounter = 0;
    ReplyKeys keys;
    // Once a reply cannot be recorded, or a stop signal arrived, the rest
    // wait for the next run.
    bool holdTheRest = false;
    ReplyMessage reply;
    const int replies = static_cast<int>(reader.ReplyCount().value_or(0));
    int replyOrdinal = 0;
    for (;;) {
        const ReplyRead read = reader.ReadReplyMessage(reply);
        if (read == ReplyRead::End)
            break;
        if (read == ReplyRead::Damaged) {
            log.AppendLine("The message file is damaged here; the replies from here on are kept "
                           "unread.");
            break;
        }
        ++replyOrdinal;
        log.SetProgress({"Posting replies",
                         "reply " + std::to_string(replyOrdinal) +
                             (replies > 0 ? " of " + std::to_string(replies) : std::string()),
                         replyOrdinal, replies});
        if (read == ReplyRead::Empty)
            continue; // nothing to post, and nothing worth keeping
        const std::string key = keys.KeyOf(reply);
        if (journal.WasPosted(key)) {
            ++summary.Posted; // by a run that ended before rewriting the packet
            continue;
        }
        if (!holdTheRest && interruption::StopRequested()) {
            log.AppendLine(interruption::StopReason() +
                           "; the rest of the replies wait for the next run.");
            summary.Stopped = true;
            holdTheRest = true;
        }
        const NewsGroupRecord* group =
            FindConferenceGroup(table, qwk::HeaderConference(reply.Header));
        if (!holdTheRest && !group)
            log.AppendLine("Conference " + std::to_string(qwk::HeaderConference(reply.Header)) +
                           " is not queued as any newsgroup; the reply is kept.");
        if (holdTheRest || !group) {
            ++summary.NotPosted;
            reader.KeepReply(reply);
            continue;
        }

        const std::optional<std::string> sentBefore = journal.SentMessageId(key);
        if (sentBefore && ServerHasArticle(connection, *sentBefore)) {
            log.AppendLine("Already on the server as " + *sentBefore + ": not sent again.");
            journal.RecordPosted(key, *sentBefore);
            ++summary.Posted;
            continue;
        }
        std::string messageId;
        if (sentBefore) {
            messageId = *sentBefore; // so that the server can refuse a second copy
        } else {
            ++postingCounter;
            messageId = MakeMessageId(DayCount(messageIds.Now()), postingCounter,
                                      messageIds.Random(), identity.Domain);
        }
        if (!journal.RecordSending(key, messageId)) {
            log.AppendLine(journal.Error() + "; the replies from here on are kept.");
            summary.Failure = journal.Error();
            holdTheRest = true;
            ++summary.NotPosted;
            reader.KeepReply(reply);
            continue;
        }
        interruption::DurableStep("reply-sending");
        const ReplyArticle article = PrepareReply(reply, qwk::HeaderConference(reply.Header),
                                                  settings.CharacterSet, threads, log);
        if (!PostReply(connection, article, *group, identity, messageId, sentBefore.has_value(),
                       log)) {
            ++summary.NotPosted;
            ++summary.Refused;
            reader.KeepReply(reply);
            continue;
        }
        interruption::DurableStep("reply-posted");
        ++summary.Posted;
        if (!journal.RecordPosted(key, messageId)) {
            // It was posted; the packet must not keep it. What follows waits.
            log.AppendLine(journal.Error() + "; the replies from here on are kept.");
            summary.Failure = journal.Error();
            holdTheRest = true;
        }
        interruption::DurableStep("reply-recorded");
    }

    summary.Packet = reader.CloseReplyPacket(zip, progress);
    LogPacketOutcome(summary.Packet, FileName(*archive), log);
    if (summary.Packet.ArchiveUpdated) {
        interruption::DurableStep("replies-rewritten");
        journal.Remove();
    }
    return summary;
}
