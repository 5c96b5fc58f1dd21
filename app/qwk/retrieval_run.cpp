#include "qwk/retrieval_run.h"

#include "archive/zip_file.h"
#include "qwk/retrieval_rules.h"
#include "qwk_format/message_file.h"
#include "qwk_format/packet_control_files.h"
#include "qwk_format/packet_packing.h"
#include "qwk_format/qwk_message_writer.h"
#include "vxutil.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qwk {
namespace {

std::string HeaderValue(const TDocHeaders& headers, const char* name, std::string fallback) {
    if (const TDocHeader* header = headers.Find(name))
        return header->Value;
    return fallback;
}

ArticleHeaders ReadArticleHeaders(const TDocHeaders& headers) {
    ArticleHeaders result;
    result.From = HeaderValue(headers, "From", "");
    result.Subject = HeaderValue(headers, "Subject", "");
    result.Date = HeaderValue(headers, "Date", DefaultDateValue);
    return result;
}

// The wait for every article handles window messages already; the extra
// pass the run makes before each fetch is there to keep the log moving, and
// a poll of every source per article would cost more than the log needs.
class MessagePump {
public:
    void Pump() {
        if (sinceLast_.isValid() && sinceLast_.elapsed() < IntervalMs)
            return;
        QCoreApplication::processEvents();
        sinceLast_.start();
    }

private:
    static constexpr qint64 IntervalMs = 10;
    QElapsedTimer sinceLast_;
};

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

class Run {
public:
    explicit Run(const RetrievalContext& context) : c_(context) {}

    RetrievalSummary Execute();

private:
    // Hides the log window however the run ends.
    struct LogHider {
        RunLog& log;
        ~LogHider() { log.Hide(); }
    };

    enum class GroupOutcome { Done, ServerFailed };

    GroupOutcome FetchGroup(std::size_t index);
    void NoteServerFailure(const TransferOutcome& outcome);
    void MoveLastRead(std::size_t index, std::int32_t value);
    void SaveArticle(NewsGroupRecord& group, std::int32_t articleNumber);
    void OpenMessageFile();
    void FinishPacket();
    void DiscardMessageFile();
    void RestoreLastReadValues();

    const RetrievalContext& c_;
    std::string archivePath_;
    std::unique_ptr<MessageFile> messageFile_;
    std::optional<MessageWriter> writer_;
    std::string messageText_; // reused for every message of the run
    std::vector<std::int32_t> lastReadAtStart_;
    MessagePump pump_;
    RetrievalSummary summary_;
};

RetrievalSummary Run::Execute() {
    if (c_.connection.Disconnected())
        return summary_;
    // Nothing is fetched for a packet that has nowhere to go.
    const std::string& work = c_.settings.WorkDirectory;
    if (!std::filesystem::is_directory(work) || ::access(work.c_str(), W_OK | X_OK) != 0)
        throw MessageFileError("The Work Directory " + work + " is missing or cannot be written");

    archivePath_ = PreparePacket(c_.settings, c_.tempDirectory);
    LogHider hider{c_.log};

    lastReadAtStart_.reserve(c_.table.Count());
    for (std::size_t i = 0; i < c_.table.Count(); ++i)
        lastReadAtStart_.push_back(c_.table[i].LastRead);

    c_.log.SetCaption("Retrieving articles");
    c_.log.Clear();
    c_.log.Show();

    try {
        for (std::size_t i = 0; i < c_.table.Count(); ++i) {
            QCoreApplication::processEvents();
            if (c_.table[i].Conference < 0)
                continue;
            if (FetchGroup(i) == GroupOutcome::ServerFailed)
                break;
        }
        if (messageFile_)
            FinishPacket();
        return summary_;
    } catch (const MessageFileError&) {
        // No packet can be made, so give the saved articles back to the next
        // run instead of losing them.
        DiscardMessageFile();
        RestoreLastReadValues();
        throw;
    } catch (...) {
        // The control refused a call. What was saved has its LastRead moved
        // already, so it still goes into a packet rather than being lost.
        // The refusal is what the user is shown; a failure here is logged.
        if (messageFile_) {
            try {
                FinishPacket();
            } catch (const std::exception& packing) {
                c_.log.AppendLine(std::string("The packet could not be made: ") + packing.what());
            } catch (...) {
                c_.log.AppendLine("The packet could not be made.");
            }
        }
        throw;
    }
}

Run::GroupOutcome Run::FetchGroup(std::size_t index) {
    NewsConnection& connection = c_.connection;
    NewsGroupRecord& group = c_.table[index];

    c_.log.AppendLine("Selecting newsgroup: " + group.Name);
    const TransferOutcome selected = connection.SelectGroup(group.Name);
    if (!selected) {
        if (!connection.Disconnected())
            return GroupOutcome::Done;
        NoteServerFailure(selected);
        return GroupOutcome::ServerFailed;
    }

    const std::int32_t last = selected.LastMessage;
    for (std::int64_t n = FirstArticleToFetch(selected.FirstMessage, last, group.LastRead);
         n <= last; ++n) {
        const auto number = static_cast<std::int32_t>(n);
        const std::int32_t previousLastRead = group.LastRead;
        // Moved before the fetch, so an article that is missing or own is
        // never asked for again.
        MoveLastRead(index, number);
        c_.log.AppendLine("    Retrieving article # " + std::to_string(number));
        pump_.Pump();

        TransferOutcome fetched;
        try {
            fetched = connection.GetArticle(number);
        } catch (...) {
            MoveLastRead(index, previousLastRead);
            throw;
        }

        if (!fetched) {
            if (ArticleIsGone(fetched.Code) && !connection.Disconnected()) {
                c_.log.AppendLine("        Article not found.");
                continue;
            }
            // Not missing: the server is gone or failing. Leave the article
            // for the next run instead of consuming every number that is left.
            MoveLastRead(index, previousLastRead);
            if (connection.Disconnected())
                c_.log.AppendLine("        Connection lost.");
            else
                c_.log.AppendLine("        The server refused the article: " + fetched.Text);
            NoteServerFailure(fetched);
            return GroupOutcome::ServerFailed;
        }

        const std::string organization =
            HeaderValue(connection.ArticleHeaders(), "Organization", "");
        if (IsOwnArticle(organization, c_.settings.Organization)) {
            c_.log.AppendLine("        Article orginated here. Ignoring.");
            continue;
        }

        c_.log.AppendLine("        Saving article.");
        SaveArticle(group, number);
    }
    return GroupOutcome::Done;
}

void Run::NoteServerFailure(const TransferOutcome& outcome) {
    summary_.ServerFailed = true;
    summary_.ServerFailure = outcome.Text;
}

void Run::MoveLastRead(std::size_t index, std::int32_t value) {
    c_.table[index].LastRead = value;
    c_.table.GroupsChanged = true;
    c_.rows.GroupRowChanged(index);
}

void Run::OpenMessageFile() {
    messageFile_ = std::make_unique<MessageFile>(VxSlashIt(c_.tempDirectory) + "MESSAGES.DAT");
    writer_.emplace(*messageFile_);
    writer_->WriteBanner();
}

void Run::SaveArticle(NewsGroupRecord& group, std::int32_t articleNumber) {
    if (!messageFile_)
        OpenMessageFile();

    const ArticleHeaders headers = ReadArticleHeaders(c_.connection.ArticleHeaders());

    SplitIntoMessages(c_.connection.ReceivedText(), c_.settings.LinesPerMessage, messageText_,
                      [&](std::string_view lines, bool moreFollows) {
                          writer_->WriteMessage(headers, articleNumber, group, lines, moreFollows);
                      });

    // Stop at the first failed write rather than consume the rest of the
    // groups for a packet that cannot be made.
    messageFile_->ThrowIfFailed();
}

void Run::FinishPacket() {
    const std::size_t messageCount = writer_->MessagesWritten();
    writer_.reset();
    std::unique_ptr<MessageFile> file = std::move(messageFile_);
    file->Close();

    PacketDescription packet;
    packet.ServerName = c_.settings.NntpServer;
    packet.QwkId = c_.settings.QwkId;
    packet.UserName = c_.settings.NntpUserId.empty() ? c_.settings.QwkId : c_.settings.NntpUserId;
    packet.MessageCount = messageCount;
    packet.PacketTime = LocalNow();
    try {
        WritePacketControlFiles(c_.tempDirectory, packet, c_.table);
    } catch (const std::runtime_error& error) {
        throw MessageFileError(error.what());
    }

    // Unpacked, the articles are no use to a reader: they go back to the
    // next run like those of a message file that could not be written.
    if (!PackPacket(c_.zip, c_.progress, archivePath_, c_.tempDirectory))
        throw MessageFileError("Unable to write the packet " + archivePath_ + " (zip error " +
                               std::to_string(c_.zip.ResultCode) + ")");
}

void Run::DiscardMessageFile() {
    writer_.reset();
    messageFile_.reset();
    std::remove((VxSlashIt(c_.tempDirectory) + "MESSAGES.DAT").c_str());
}

void Run::RestoreLastReadValues() {
    for (std::size_t i = 0; i < lastReadAtStart_.size() && i < c_.table.Count(); ++i) {
        if (c_.table[i].LastRead != lastReadAtStart_[i])
            MoveLastRead(i, lastReadAtStart_[i]);
    }
}

} // namespace

RetrievalSummary RetrieveArticles(const RetrievalContext& context) {
    Run run(context);
    return run.Execute();
}

} // namespace qwk
