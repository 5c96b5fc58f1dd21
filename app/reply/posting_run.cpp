#include "reply/posting_run.h"

#include "core/run_views.h"
#include "nntp/news_connection.h"
#include "reply/article_headers.h"

#include <chrono>
#include <filesystem>

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

// Sends one reply and waits for the control; true when the server took it.
bool PostReply(NewsConnection& connection, const ReplyMessage& reply, const NewsGroupRecord& group,
               const ArticleIdentity& identity, std::int32_t& postingCounter,
               const MessageIdSource& messageIds, RunLog& log) {
    log.AppendLine("Sending article to " + group.Name);

    ++postingCounter;
    const std::int32_t random = messageIds.Random();
    const std::string messageId =
        MakeMessageId(DayCount(messageIds.Now()), postingCounter, random, identity.Domain);
    TDocHeaders headers;
    ComposeArticleHeaders(headers, reply.Header, group.Name, identity, messageId);

    TransferOutcome posted;
    try {
        posted = connection.PostArticle(headers, reply.Body);
    } catch (const EControlError& refused) {
        // The control would not even start (the connection dropped on an
        // earlier reply, say): this reply waits for the next run.
        posted.Text = refused.what();
    }
    if (posted)
        return true;
    log.AppendLine("        Article not posted." +
                   (posted.Text.empty() ? std::string() : " " + posted.Text));
    return false;
}

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
                          const Settings& settings, const std::string& tempDirectory, RunLog& log,
                          ProgressView& progress, TUnzipFile& unzip, TZipFile& zip,
                          const MessageIdSource& messageIds) {
    PostingSummary summary;
    const auto archive = FindReplyArchive(settings);
    if (!archive || connection.Disconnected())
        return summary;

    ReplyPacketReader reader(settings, *archive, tempDirectory);
    if (!reader.OpenReplyPacket(unzip, progress))
        return summary;
    summary.Ran = true;

    const ArticleIdentity identity{settings.Domain, settings.Organization};
    ShownLog shown(log);
    std::int32_t postingCounter = 0;
    ReplyMessage reply;
    for (;;) {
        const ReplyRead read = reader.ReadReplyMessage(reply);
        if (read == ReplyRead::End)
            break;
        if (read == ReplyRead::Damaged) {
            log.AppendLine("The message file is damaged here; the replies from here on are kept "
                           "unread.");
            break;
        }
        if (read == ReplyRead::Empty)
            continue; // nothing to post, and nothing worth keeping
        const NewsGroupRecord* group =
            FindConferenceGroup(table, qwk::HeaderConference(reply.Header));
        if (group &&
            PostReply(connection, reply, *group, identity, postingCounter, messageIds, log)) {
            ++summary.Posted;
            continue;
        }
        ++summary.NotPosted;
        reader.KeepReply(reply);
    }

    summary.Packet = reader.CloseReplyPacket(zip, progress);
    LogPacketOutcome(summary.Packet, FileName(*archive), log);
    return summary;
}
