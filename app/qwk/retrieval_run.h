// The Get Articles run: fetches the new articles of every queued newsgroup,
// writes them as QWK messages into TEMP and packs the packet into WORK.
#pragma once

#include "core/newsgroup_table.h"
#include "core/run_views.h"
#include "core/settings.h"
#include "nntp/news_connection.h"

#include <cstdint>
#include <string>

class ThreadStore;
class TUnzipFile;
class TZipFile;

namespace qwk {

// Everything the run uses; it owns none of it.
struct RetrievalContext {
    NewsConnection& connection;
    NewsGroupTable& table;
    const Settings& settings;
    std::string tempDirectory;
    RunLog& log;
    GroupRowView& rows;
    ProgressView& progress;
    TZipFile& zip;
    TUnzipFile& unzip;
    // Learns each written message's article, for the threads of replies;
    // none: nothing is remembered.
    ThreadStore* threads = nullptr;
};

// What the run came to.
struct RetrievalSummary {
    // The server failed the run (a refused ARTICLE other than a missing
    // article, a lost connection, a timeout): the run stopped there, what
    // came before is packed, and the rest waits for the next run.
    bool ServerFailed = false;
    std::string ServerFailure;
    // A stop signal (or the window's Cancel) arrived: the run ended before
    // the next article, the same way.
    bool Stopped = false;
    // What this run added to the packet: articles (each may be cut into
    // several messages) and the groups they came from.
    int ArticlesAdded = 0;
    int GroupsWithArticles = 0;
    // The packet (<QwkId>.QWK in the Work Directory), and whether this run
    // wrote it; a run without new articles leaves it as it was.
    std::string PacketPath;
    bool PacketWritten = false;
};

// Runs on the UI thread and returns when the packet is packed. Does nothing
// when the control is disconnected. A packet still in the Work Directory was
// not collected: its messages are kept and the new ones added after them.
// Throws MessageFileError (message_file.h) when the packet cannot be read or
// written, and lets a control's rejection (EControlError) through; the log
// window is hidden on every path.
RetrievalSummary RetrieveArticles(const RetrievalContext& context);

} // namespace qwk
