#include "qwk/retrieval_run.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "mime/article_decoder.h"
#include "mime/packet_charset.h"
#include "qwk/retrieval_rules.h"
#include "qwk_format/message_file.h"
#include "qwk_format/packet_control_files.h"
#include "qwk_format/packet_packing.h"
#include "qwk_format/qwk_message_writer.h"
#include "qwk_format/thread_store.h"
#include "run_interruption.h"
#include "vxutil.h"

#include <QCoreApplication>
#include <QDate>
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

// Gaps in a group's range beyond which listing its numbers costs less than
// asking for each one.
constexpr std::int64_t GapsWorthListing = 16;

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

    enum class GroupOutcome { Done, Ended };

    GroupOutcome FetchGroup(std::size_t index);
    GroupOutcome FetchArticle(std::size_t index, std::int32_t number);
    GroupOutcome Stopped();
    void NoteServerFailure(const TransferOutcome& outcome);
    void MoveLastRead(std::size_t index, std::int32_t value);
    void SaveArticle(NewsGroupRecord& group, std::int32_t articleNumber);
    void TakeOverUncollectedPacket();
    void RollReadPointersForward();
    void OpenMessageFile();
    void FinishPacket();
    void DiscardMessageFile();
    void RestoreLastReadValues();

    const RetrievalContext& c_;
    std::string archivePath_;
    std::unique_ptr<MessageFile> messageFile_;
    std::optional<MessageWriter> writer_;
    std::string messageText_;                     // reused for every message of the run
    std::vector<mime::HeaderField> headerFields_; // reused for every article
    std::vector<std::int32_t> lastReadAtStart_;
    // What the uncollected packet held when the run began.
    bool continuesPacket_ = false;
    std::size_t earlierMessages_ = 0;
    std::vector<ReadPointerMove> earlierMoves_;
    MessagePump pump_;
    RetrievalSummary summary_;
    // For the progress window.
    void ReportProgress(const std::string& groupName);
    int queuedGroups_ = 0;
    int groupOrdinal_ = 0;
    int articlesInGroup_ = 0;
    int articleOrdinal_ = 0;
    const NewsGroupRecord* lastGroupAdded_ = nullptr;
};

void Run::ReportProgress(const std::string& groupName) {
    c_.log.SetProgress(
        {"Retrieving articles from " + groupName,
         GroupArticleCounts(groupOrdinal_, queuedGroups_, articleOrdinal_, articlesInGroup_),
         articleOrdinal_, articlesInGroup_});
}

RetrievalSummary Run::Execute() {
    if (c_.connection.Disconnected())
        return summary_;
    // Nothing is fetched for a packet that has nowhere to go.
    const std::string& work = c_.settings.WorkDirectory;
    if (!std::filesystem::is_directory(work) || ::access(work.c_str(), W_OK | X_OK) != 0)
        throw MessageFileError("The Work Directory " + work + " is missing or cannot be written");

    archivePath_ = PreparePacket(c_.settings, c_.tempDirectory);
    summary_.PacketPath = archivePath_;
    LogHider hider{c_.log};
    TakeOverUncollectedPacket();

    lastReadAtStart_.reserve(c_.table.Count());
    for (std::size_t i = 0; i < c_.table.Count(); ++i)
        lastReadAtStart_.push_back(c_.table[i].LastRead);

    c_.log.SetCaption("Retrieving articles");
    c_.log.Clear();
    c_.log.Show();
    for (std::size_t i = 0; i < c_.table.Count(); ++i)
        queuedGroups_ += c_.table[i].Conference >= 0 ? 1 : 0;

    try {
        for (std::size_t i = 0; i < c_.table.Count(); ++i) {
            QCoreApplication::processEvents();
            if (c_.table[i].Conference < 0)
                continue;
            if (FetchGroup(i) == GroupOutcome::Ended)
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

    if (interruption::StopRequested())
        return Stopped();

    ++groupOrdinal_;
    articleOrdinal_ = articlesInGroup_ = 0;
    ReportProgress(group.Name);
    c_.log.AppendLine("Selecting newsgroup: " + group.Name);
    const TransferOutcome selected = connection.SelectGroup(group.Name);
    if (!selected) {
        if (!connection.Disconnected())
            return GroupOutcome::Done;
        NoteServerFailure(selected);
        return GroupOutcome::Ended;
    }

    const std::int32_t last = selected.LastMessage;
    const std::int64_t first = FirstArticleToFetch(selected.FirstMessage, last, group.LastRead);
    if (first > last)
        return GroupOutcome::Done;

    // A range far wider than the articles in it (expired ones, or a server
    // that claims numbers it never had) is walked by the numbers that exist,
    // not by a request for every gap.
    if (last - first + 1 > static_cast<std::int64_t>(selected.MessageCount) + GapsWorthListing) {
        std::vector<std::int32_t> numbers;
        const TransferOutcome listed =
            connection.ListArticleNumbers(group.Name, first, last, numbers);
        if (listed) {
            articlesInGroup_ = static_cast<int>(numbers.size());
            connection.PlanArticles(numbers);
            for (const std::int32_t number : numbers)
                if (FetchArticle(index, number) == GroupOutcome::Ended)
                    return GroupOutcome::Ended;
            // The numbers between were never there.
            if (group.LastRead < last)
                MoveLastRead(index, last);
            return GroupOutcome::Done;
        }
        if (connection.Disconnected()) {
            NoteServerFailure(listed);
            return GroupOutcome::Ended;
        }
        // The server does not list numbers: ask for each one as before.
    }
    articlesInGroup_ = static_cast<int>(last - first + 1);
    connection.PlanArticles(first, last);
    for (std::int64_t n = first; n <= last; ++n)
        if (FetchArticle(index, static_cast<std::int32_t>(n)) == GroupOutcome::Ended)
            return GroupOutcome::Ended;
    return GroupOutcome::Done;
}

Run::GroupOutcome Run::FetchArticle(std::size_t index, std::int32_t number) {
    NewsConnection& connection = c_.connection;
    NewsGroupRecord& group = c_.table[index];
    if (interruption::StopRequested())
        return Stopped();
    const std::int32_t previousLastRead = group.LastRead;
    // Moved before the fetch, so an article that is missing or own is never
    // asked for again.
    MoveLastRead(index, number);
    ++articleOrdinal_;
    ReportProgress(group.Name);
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
            return GroupOutcome::Done;
        }
        if (fetched.Code == nntpErrorTooLarge) {
            // Asked for again it would only be too large again.
            c_.log.AppendLine("        " + fetched.Text + "; skipped.");
            if (!connection.Disconnected())
                return GroupOutcome::Done;
            NoteServerFailure(fetched);
            return GroupOutcome::Ended;
        }
        // Not missing: the server is gone or failing. Leave the article for
        // the next run instead of consuming every number that is left.
        MoveLastRead(index, previousLastRead);
        if (connection.Disconnected())
            c_.log.AppendLine("        Connection lost.");
        else
            c_.log.AppendLine("        The server refused the article: " + fetched.Text);
        NoteServerFailure(fetched);
        return GroupOutcome::Ended;
    }

    const std::string organization = HeaderValue(connection.ArticleHeaders(), "Organization", "");
    if (IsOwnArticle(organization, c_.settings.Organization)) {
        c_.log.AppendLine("        Article orginated here. Ignoring.");
        return GroupOutcome::Done;
    }

    c_.log.AppendLine("        Saving article.");
    SaveArticle(group, number);
    return GroupOutcome::Done;
}

Run::GroupOutcome Run::Stopped() {
    c_.log.AppendLine(interruption::StopReason() + "; the rest waits for the next run.");
    summary_.Stopped = true;
    return GroupOutcome::Ended;
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

// The packet the reader has not collected yet is unpacked into TEMP, so
// that what this run saves goes after its messages.
void Run::TakeOverUncollectedPacket() {
    std::error_code error;
    if (!std::filesystem::exists(archivePath_, error))
        return;
    if (!UnpackPacket(c_.unzip, c_.progress, archivePath_, c_.tempDirectory))
        throw MessageFileError("Unable to add to the packet " + archivePath_ +
                               ", which was not collected: it cannot be unpacked into " +
                               c_.tempDirectory + " (unzip error " +
                               std::to_string(c_.unzip.ResultCode) +
                               "). Is the disk full, or the packet damaged?");
    const std::string temp = VxSlashIt(c_.tempDirectory);
    const auto messages = CountMessages(temp + "MESSAGES.DAT");
    if (!messages)
        throw MessageFileError("Unable to add to the packet " + archivePath_ +
                               ", which was not collected: its MESSAGES.DAT is damaged. Move "
                               "the packet away, and the next run starts a new one.");
    continuesPacket_ = true;
    earlierMessages_ = *messages;
    earlierMoves_ = ReadReadPointerFile(c_.tempDirectory);
    RollReadPointersForward();
}

// A run killed between putting the packet in place and saving GROUPS.DAT
// left the read pointers where they were before its articles. A pointer
// the user has moved since is left alone.
void Run::RollReadPointersForward() {
    for (const ReadPointerMove& move : earlierMoves_) {
        for (std::size_t i = 0; i < c_.table.Count(); ++i) {
            if (c_.table[i].Name != move.Group || c_.table[i].LastRead != move.From ||
                move.From == move.To)
                continue;
            MoveLastRead(i, move.To);
            c_.log.AppendLine("The packet already holds the articles of " + move.Group +
                              " up to # " + std::to_string(move.To) + ".");
        }
    }
}

void Run::OpenMessageFile() {
    const std::string path = VxSlashIt(c_.tempDirectory) + "MESSAGES.DAT";
    const bool utf8 = c_.settings.CharacterSet == mime::PacketCharset::Utf8;
    if (continuesPacket_) {
        messageFile_ = std::make_unique<MessageFile>(path, MessageFile::Mode::Append);
        writer_.emplace(*messageFile_);
        writer_->SetUtf8Fields(utf8);
        return;
    }
    messageFile_ = std::make_unique<MessageFile>(path);
    writer_.emplace(*messageFile_);
    writer_->SetUtf8Fields(utf8);
    writer_->WriteBanner();
}

void Run::SaveArticle(NewsGroupRecord& group, std::int32_t articleNumber) {
    if (!messageFile_)
        OpenMessageFile();
    ++summary_.ArticlesAdded;
    // The table's groups are fetched one after the other.
    if (lastGroupAdded_ != &group) {
        lastGroupAdded_ = &group;
        ++summary_.GroupsWithArticles;
    }

    // What the reader sees: the article's text, not its wire form, in the
    // packet's character set.
    const TDocHeaders& received = c_.connection.ArticleHeaders();
    headerFields_.resize(received.Count());
    for (std::size_t i = 0; i < received.Count(); ++i) {
        headerFields_[i].Name = received.At(i).Name;
        headerFields_[i].Value = received.At(i).Value;
    }
    const mime::DecodedArticle decoded =
        mime::DecodeArticle(headerFields_, c_.connection.ReceivedText());
    const mime::PacketCharset charset = c_.settings.CharacterSet;
    ArticleHeaders headers;
    headers.From = mime::ToPacketCharset(decoded.From, charset);
    headers.Subject = mime::ToPacketCharset(decoded.Subject, charset);
    headers.Date = HeaderValue(received, "Date", DefaultDateValue);

    SplitIntoMessages(mime::ToPacketCharset(decoded.Body, charset), c_.settings.LinesPerMessage,
                      messageText_, [&](std::string_view lines, bool moreFollows) {
                          writer_->WriteMessage(headers, articleNumber, group, lines, moreFollows);
                      });

    if (c_.threads)
        c_.threads->Remember(static_cast<std::uint16_t>(group.Conference), articleNumber,
                             HeaderValue(received, "Message-ID", ""),
                             HeaderValue(received, "References", ""), QDate::currentDate(),
                             decoded.Subject);

    // Stop at the first failed write rather than consume the rest of the
    // groups for a packet that cannot be made.
    messageFile_->ThrowIfFailed();
    interruption::DurableStep("article-saved");
}

void Run::FinishPacket() {
    const std::size_t messageCount = earlierMessages_ + writer_->MessagesWritten();
    writer_.reset();
    std::unique_ptr<MessageFile> file = std::move(messageFile_);
    file->Close();

    PacketDescription packet;
    packet.ServerName = c_.settings.NntpServer;
    packet.QwkId = c_.settings.QwkId;
    packet.UserName = c_.settings.NntpUserId.empty() ? c_.settings.QwkId : c_.settings.NntpUserId;
    packet.MessageCount = messageCount;
    packet.PacketTime = LocalNow();
    // This run's moves replace those of earlier runs for the same group.
    std::vector<ReadPointerMove> moves = earlierMoves_;
    for (std::size_t i = 0; i < lastReadAtStart_.size() && i < c_.table.Count(); ++i) {
        const NewsGroupRecord& group = c_.table[i];
        if (group.LastRead == lastReadAtStart_[i])
            continue;
        std::erase_if(moves, [&](const ReadPointerMove& m) { return m.Group == group.Name; });
        moves.push_back({group.Name, lastReadAtStart_[i], group.LastRead});
    }
    try {
        WritePacketControlFiles(c_.tempDirectory, packet, c_.table);
        WriteReadPointerFile(c_.tempDirectory, moves);
    } catch (const std::runtime_error& error) {
        throw MessageFileError(error.what());
    }

    // Unpacked, the articles are no use to a reader: they go back to the
    // next run like those of a message file that could not be written.
    if (!PackPacket(c_.zip, c_.progress, archivePath_, c_.tempDirectory))
        throw MessageFileError("Unable to write the packet " + archivePath_ + " (zip error " +
                               std::to_string(c_.zip.ResultCode) + ")");
    summary_.PacketWritten = true;
    interruption::DurableStep("packet-in-place");
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
