// Get Articles against the local news server, beside two baselines over the
// same articles: a minimal blocking client (one ARTICLE at a time, replies
// acknowledged at once) and Debian's suck pulling them into a directory.
// Prints articles per second for all three, and Zandrel's peak memory for a
// small and a large run, which must stay flat as the article count grows.
//
// The machines this runs on are shared and noisy, so Zandrel and the blocking
// client take turns for several rounds. The rates are each one's best round;
// the ratio is the median of the rounds' own ratios, with best against best
// beside it.
//
// With --mime the articles are a MIME-heavy mix instead (encoded words,
// quoted-printable, base64, UTF-8, Latin-1, Windows-1252, multipart with
// attachments, plain ASCII), in their own group, so the figures show what
// decoding and writing the packet's character set cost.
//
// Usage: bench_get_articles [--port 119] [--count 5000] [--small 1000]
//                           [--rounds 5] [--group zandrel.bench]
//                           [--zandrel PATH] [--mime]
// The news server must run on 127.0.0.1 (scripts/newsd start); the group is
// created and filled when it holds too few articles: by scripts/newsd, or
// for --mime (group zandrel.bench.mime) by posting generated articles.

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "child_process.h"
#include "news_runs.h"
#include "qwk/retrieval_run.h"
#include "support/blocking_nntp_client.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using namespace bench;

struct Options {
    int port = 119;
    int count = 5000;
    int small = 1000;
    int rounds = 5;
    std::string group;
    std::string zandrel;
    bool mime = false;
};

using GroupRange = BlockingNntpClient::GroupRange;

const std::string SourceRoot = fs::path(__FILE__).parent_path().parent_path().string();

const char* const Words[] = {"the",     "server",  "article", "reader",  "packet", "group",
                             "thread",  "posting", "reply",   "offline", "mail",   "message",
                             "network", "modem",   "archive", "quoted",  "binary", "answer"};
const char* const AccentedWords[] = {"caf\u00e9",  "M\u00fcller",   "na\u00efve", "Gr\u00fc\u00dfe",
                                     "cr\u00e8me", "\u00e9t\u00e9", "K\u00f6ln",  "se\u00f1or"};

// UTF-8 lines of 60-75 characters ended by CR LF, some quoted, about `size`
// bytes; every twelfth word or so accented when asked. flowed: the lines of
// a paragraph end in a space, as format=flowed sends them.
std::string Prose(std::mt19937& random, std::size_t size, bool accented, bool flowed = false) {
    std::string text;
    std::string line;
    int lineInParagraph = 0;
    while (text.size() < size) {
        if (line.empty() && random() % 5 == 0)
            line = "> ";
        line += accented && random() % 12 == 0 ? AccentedWords[random() % std::size(AccentedWords)]
                                               : Words[random() % std::size(Words)];
        if (line.size() > 60 + random() % 15) {
            const bool paragraphEnds = ++lineInParagraph % 4 == 0;
            text += line + (flowed && !paragraphEnds ? " \r\n" : "\r\n");
            line.clear();
        } else {
            line += ' ';
        }
    }
    return text;
}

std::string QuotedPrintable(const std::string& bytes) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        std::string piece(1, static_cast<char>(c));
        if (c == '=' || c >= 0x80 || c < 0x20)
            piece = {'=', Hex[c >> 4], Hex[c & 15]};
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

// Base64 in lines of 76 characters.
std::string Base64Lines(const std::string& bytes) {
    const std::string encoded = QByteArray::fromStdString(bytes).toBase64().toStdString();
    std::string out;
    for (std::size_t at = 0; at < encoded.size(); at += 76)
        out += encoded.substr(at, 76) + "\r\n";
    return out;
}

std::string EncodedWord(const std::string& utf8) {
    return "=?UTF-8?B?" + QByteArray::fromStdString(utf8).toBase64().toStdString() + "?=";
}

// One article of the MIME mix, the kinds in turn; a quarter is plain ASCII
// as most of Usenet still is.
std::string MimeArticle(std::mt19937& random, const std::string& group, long index) {
    const std::size_t size = 800 + random() % 3000;
    std::string headers = "Newsgroups: " + group + "\r\n";
    headers += index % 2 == 0 ? "From: =?UTF-8?Q?J=C3=B6rg_M=C3=BCller?= <jm@example.org>\r\n"
                              : "From: Ann Example <ann@example.org>\r\n";
    headers += index % 3 == 0
                   ? "Subject: " +
                         EncodedWord("Re: Gr\u00fc\u00dfe aus K\u00f6ln, article " +
                                     std::to_string(index)) +
                         "\r\n"
                   : "Subject: Re: a question about packets " + std::to_string(index) + "\r\n";
    headers += "References: <1@example.net> <2@example.net>\r\nUser-Agent: SomeReader/1.0\r\n";
    const std::string mime = "MIME-Version: 1.0\r\n";
    switch (index % 8) {
    case 1: // UTF-8, 8bit, flowed
        return headers + mime +
               "Content-Type: text/plain; charset=UTF-8; format=flowed\r\n"
               "Content-Transfer-Encoding: 8bit\r\n\r\n" +
               Prose(random, size, true, true);
    case 2: { // Latin-1, quoted-printable
        const QByteArray latin1 = QString::fromStdString(Prose(random, size, true)).toLatin1();
        return headers + mime +
               "Content-Type: text/plain; charset=ISO-8859-1\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
               QuotedPrintable(latin1.toStdString());
    }
    case 3: // UTF-8 in base64
        return headers + mime +
               "Content-Type: text/plain; charset=UTF-8\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\n" +
               Base64Lines(Prose(random, size, true));
    case 4: { // text and HTML
        const std::string text = Prose(random, size, true);
        return headers + mime +
               "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
               "--alt\r\nContent-Type: text/plain; charset=UTF-8\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
               QuotedPrintable(text) +
               "--alt\r\nContent-Type: text/html; charset=UTF-8\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
               QuotedPrintable("<html><body><p>" + text + "</p></body></html>\r\n") + "--alt--\r\n";
    }
    case 5: { // text with an attachment of 4 to 24 KB
        std::string attachment(4096 + random() % 20480, '\0');
        for (char& c : attachment)
            c = static_cast<char>(random());
        return headers + mime +
               "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n"
               "--mix\r\nContent-Type: text/plain; charset=UTF-8\r\n"
               "Content-Transfer-Encoding: 8bit\r\n\r\n" +
               Prose(random, size, true) +
               "--mix\r\nContent-Type: application/zip; name=\"data.zip\"\r\n"
               "Content-Disposition: attachment; filename=\"data.zip\"\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\n" +
               Base64Lines(attachment) + "--mix--\r\n";
    }
    case 6: { // no MIME at all, Windows-1252 from an old reader
        std::string text = Prose(random, size, false);
        for (std::size_t at = text.find("quoted"); at != std::string::npos;
             at = text.find("quoted", at + 8))
            text.replace(at, 6, "\x93quoted\x94");
        return headers + "\r\n" + text;
    }
    default: // plain ASCII, no MIME
        return headers + "\r\n" + Prose(random, size, false);
    }
}

// Posts `count` articles of the MIME mix, numbered on from `first`.
void PostMimeArticles(const Options& options, long first, long count) {
    const std::string create =
        SourceRoot + "/scripts/newsd newgroup " + options.group + " >/dev/null";
    if (std::system(create.c_str()) != 0)
        throw std::runtime_error("scripts/newsd newgroup failed");
    std::mt19937 random(static_cast<std::mt19937::result_type>(first + 1));
    BlockingNntpClient client;
    ConnectOrThrow(client, options.port);
    for (long i = first; i < first + count; ++i) {
        const auto posted = client.post(MimeArticle(random, options.group, i));
        if (!posted.ok)
            throw std::runtime_error("posting to " + options.group + " failed: " + posted.reason);
    }
}

// Makes sure the group holds at least `needed` articles (scripts/newsd
// creates it and posts the missing ones); returns its range.
GroupRange PrepareGroup(const Options& options, int needed) {
    std::optional<GroupRange> range;
    {
        BlockingNntpClient client;
        ConnectOrThrow(client, options.port);
        range = client.group(options.group);
    }
    const long have = range && range->count > 0 ? range->last - range->first + 1 : 0;
    if (have < needed) {
        std::cerr << "posting " << needed - have << " articles to " << options.group << "...\n";
        if (options.mime) {
            PostMimeArticles(options, have, needed - have);
        } else {
            const std::string fill = SourceRoot + "/scripts/newsd fill " + options.group + " " +
                                     std::to_string(needed - have) + " >/dev/null";
            if (std::system(fill.c_str()) != 0)
                throw std::runtime_error("scripts/newsd fill failed");
        }
        BlockingNntpClient client;
        ConnectOrThrow(client, options.port);
        range = client.group(options.group);
    }
    if (!range || range->last - range->first + 1 < needed)
        throw std::runtime_error(options.group + " holds fewer than " + std::to_string(needed) +
                                 " articles");
    return *range;
}

// The run alone, in this process, with views that show nothing: what the
// windows add to the batch run is the difference to zandrel BATCH.
double RunWithoutWindows(const Options& options, int count, const fs::path& base) {
    struct NoLog : RunLog {
        void SetCaption(const std::string&) override {}
        void Clear() override {}
        void Show() override {}
        void Hide() override {}
        void AppendLine(const std::string&) override {}
    };
    struct NoRows : GroupRowView {
        void GroupRowChanged(std::size_t) override {}
    };
    struct NoProgress : ProgressView {
        void SetCaption(const std::string&) override {}
        void SetItem(const std::string&) override {}
        void SetPercent(int) override {}
        void Show() override {}
        void Hide() override {}
    };
    struct NoStatus : ConnectionView {
        void SetStatusText(const std::string&) override {}
        void ApplyEnablingSet(bool) override {}
        void RepaintStatus() override {}
    };
    // Each round starts as if the reader had collected the last packet;
    // otherwise it would only add to it, and learn from it that the
    // articles are delivered already.
    const fs::path home = base / "in-process";
    fs::remove_all(home);
    fs::create_directories(home / "TEMP");
    fs::create_directories(home / "WORK");
    Settings settings;
    settings.NntpServer = "127.0.0.1";
    settings.NntpPort = options.port;
    settings.QwkId = "BENCH";
    settings.LinesPerMessage = 90;
    settings.WorkDirectory = (home / "WORK").string();
    NoStatus status;
    NewsConnection connection(settings, status);
    NewsGroupTable table;
    table.Append(options.group, 1, -count);
    NoLog log;
    NoRows rows;
    NoProgress progress;
    TZipFile zip;
    TUnzipFile unzip;
    connection.ConnectAndWait();
    if (connection.Disconnected())
        throw std::runtime_error("the control could not connect");
    const auto start = Clock::now();
    qwk::RetrieveArticles(
        {connection, table, settings, (home / "TEMP").string(), log, rows, progress, zip, unzip});
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    connection.DisconnectAndWait();
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Options options;
    options.zandrel = bench::ExeDirectory() + "/zandrel";
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--mime") {
            options.mime = true;
            continue;
        }
        if (i + 1 == argc)
            break;
        const std::string value = argv[++i];
        if (key == "--port")
            options.port = std::atoi(value.c_str());
        else if (key == "--count")
            options.count = std::atoi(value.c_str());
        else if (key == "--small")
            options.small = std::atoi(value.c_str());
        else if (key == "--rounds")
            options.rounds = std::max(1, std::atoi(value.c_str()));
        else if (key == "--group")
            options.group = value;
        else if (key == "--zandrel")
            options.zandrel = value;
    }
    if (options.group.empty())
        options.group = options.mime ? "zandrel.bench.mime" : "zandrel.bench";
    try {
        PrepareGroup(options, options.count);
        const fs::path base =
            fs::temp_directory_path() / ("bench_get_articles." + std::to_string(::getpid()));
        fs::create_directories(base);

        const NewsSource source{options.port, options.group, options.zandrel};
        const ChildResult small = RunZandrel(source, options.small, base);
        std::vector<double> zandrelTimes;
        std::vector<double> blockingTimes;
        std::vector<double> aloneTimes;
        std::vector<double> roundRatios;
        long largeRssKb = 0;
        int zandrelStatus = 0;
        for (int round = 0; round < options.rounds; ++round) {
            const ChildResult large = RunZandrel(source, options.count, base);
            const double blocking = RunBlockingClient(source, options.count);
            aloneTimes.push_back(RunWithoutWindows(options, options.count, base));
            zandrelTimes.push_back(large.seconds);
            blockingTimes.push_back(blocking);
            roundRatios.push_back(blocking / large.seconds);
            largeRssKb = std::max(largeRssKb, large.maxRssKb);
            if (large.status != 0)
                zandrelStatus = large.status;
        }
        const ChildResult suck = RunSuck(source, options.count, base);
        const long suckFiles = FilesIn(base / "suck" / "msgs");

        const double n = options.count;
        const double zandrelBest = Best(zandrelTimes);
        const double blockingBest = Best(blockingTimes);
        const double aloneBest = Best(aloneTimes);
        const double zandrelRate = n / zandrelBest;
        const double blockingRate = n / blockingBest;
        const double suckRate = n / suck.seconds;
        std::printf("Get Articles over %d articles of %s%s on 127.0.0.1:%d, best of %d rounds\n",
                    options.count, options.group.c_str(), options.mime ? " (MIME mix)" : "",
                    options.port, options.rounds);
        std::printf("  %-24s %10.1f articles/s  (%.2f s, median %.2f s, exit status %d)\n",
                    "zandrel BATCH", zandrelRate, zandrelBest, Median(zandrelTimes), zandrelStatus);
        std::printf("  %-24s %10.1f articles/s  (%.2f s, median %.2f s, in process, no windows)\n",
                    "Get Articles run alone", n / aloneBest, aloneBest, Median(aloneTimes));
        std::printf("  %-24s %10.1f articles/s  (%.2f s, median %.2f s)\n", "blocking client",
                    blockingRate, blockingBest, Median(blockingTimes));
        std::printf("  %-24s %10.1f articles/s  (%.2f s, %ld files, exit status %d)\n", "suck",
                    suckRate, suck.seconds, suckFiles, suck.status);
        std::printf("  zandrel / suck            %6.2f   (target >= 1.0)\n",
                    zandrelRate / suckRate);
        // Each round's two runs are close in time and share its conditions,
        // so the median of the rounds' ratios is the figure to go by.
        std::printf("  zandrel / blocking client %6.2f   (target >= 0.7; median of the rounds' "
                    "ratios; best against best %.2f)\n",
                    Median(roundRatios), zandrelRate / blockingRate);
        std::printf("  run alone / blocking client %4.2f   (what the windows leave aside)\n",
                    blockingBest / aloneBest);
        std::printf("  zandrel peak memory: %ld KiB for %d articles, %ld KiB for %d (ratio %.2f)\n",
                    small.maxRssKb, options.small, largeRssKb, options.count,
                    static_cast<double>(largeRssKb) / static_cast<double>(small.maxRssKb));
        fs::remove_all(base);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_get_articles: %s\n", error.what());
        return 1;
    }
    return 0;
}
