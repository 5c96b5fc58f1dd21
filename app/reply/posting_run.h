// Post Articles: every reply of the reply packet goes to the news server as a
// Usenet article in the newsgroup its conference number is queued as, one
// after the other. Replies that are not posted stay in the reply packet.
#pragma once

#include "reply/reply_packet_reader.h"

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <random>
#include <string>

class NewsConnection;
class NewsGroupTable;
class ProgressView;
class RunLog;
class TUnzipFile;
class TZipFile;
class ThreadStore;
struct Settings;

// The program's random number generator, seeded from the clock on first use;
// the program touches it once at start-up so the seed is the start-up time.
std::mt19937& ProgramRandom();

// Where a message identifier's time and random number come from.
struct MessageIdSource {
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
    // 0 to 9999.
    std::function<std::int32_t()> Random = [] {
        return std::uniform_int_distribution<std::int32_t>(0, 9999)(ProgramRandom());
    };
};

struct PostingSummary {
    bool Ran = false; // false: no reply archive, no connection or no readable packet
    int Posted = 0;
    int NotPosted = 0; // refused, failed, held back or without a queued newsgroup
    int Refused = 0;   // of NotPosted: those the server refused or did not take
    // The reply archive's file name (MYBBS.REP); empty when there is none.
    std::string ArchiveName;
    ReplyPacketOutcome Packet;
    // Why the packet could not be read, or why replies were held back
    // unsent; empty when neither happened.
    std::string Failure;
    // A stop signal arrived; the replies not yet sent were kept.
    bool Stopped = false;
};

// Needs an open connection; does nothing, and shows nothing, without one or
// without a reply archive. Reports through the log window and the status line.
// journalPath: where the run records each reply it sends (posting_journal.h),
// so that a run that ends early never leads to a reply posted twice.
// threads: the articles Get Articles wrote, for the References of replies
// (none: replies start threads, as a packet made elsewhere would have them).
PostingSummary PostingRun(NewsConnection& connection, const NewsGroupTable& table,
                          const Settings& settings, const std::string& tempDirectory,
                          const std::string& journalPath, RunLog& log, ProgressView& progress,
                          TUnzipFile& unzip, TZipFile& zip, const MessageIdSource& messageIds = {},
                          const ThreadStore* threads = nullptr);
