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
// Usage: bench_get_articles [--port 119] [--count 5000] [--small 1000]
//                           [--rounds 5] [--group zandrel.bench]
//                           [--zandrel PATH]
// The news server must run on 127.0.0.1 (scripts/newsd start); the group is
// created and filled by scripts/newsd when it holds too few articles.

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "child_process.h"
#include "qwk/retrieval_run.h"
#include "support/blocking_nntp_client.h"

#include <QCoreApplication>

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
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int port = 119;
    int count = 5000;
    int small = 1000;
    int rounds = 5;
    std::string group = "zandrel.bench";
    std::string zandrel;
};

using GroupRange = BlockingNntpClient::GroupRange;

void ConnectOrThrow(BlockingNntpClient& client, int port) {
    if (!client.connect("127.0.0.1", port))
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port) + ": " +
                                 client.lastReply());
}

const std::string SourceRoot = fs::path(__FILE__).parent_path().parent_path().string();

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
        const std::string fill = SourceRoot + "/scripts/newsd fill " + options.group + " " +
                                 std::to_string(needed - have) + " >/dev/null";
        if (std::system(fill.c_str()) != 0)
            throw std::runtime_error("scripts/newsd fill failed");
        BlockingNntpClient client;
        ConnectOrThrow(client, options.port);
        range = client.group(options.group);
    }
    if (!range || range->last - range->first + 1 < needed)
        throw std::runtime_error(options.group + " holds fewer than " + std::to_string(needed) +
                                 " articles");
    return *range;
}

using bench::ChildResult;
using bench::RunChild;

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Zandrel's batch run over the newest `count` articles of the group.
ChildResult RunZandrel(const Options& options, int count, const fs::path& base) {
    const fs::path home = base / ("zandrel-" + std::to_string(count));
    fs::remove_all(home);
    fs::create_directories(home / "WORK");
    WriteFile(home / "ZANDREL.INI", "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=" +
                                        std::to_string(options.port) +
                                        "\r\n[Identity]\r\nOrganization=\r\n"
                                        "[Qwk]\r\nQwk ID=BENCH\r\nLines Per Messages=90\r\n"
                                        "Work Directory=" +
                                        (home / "WORK").string() + "\r\n");
    WriteFile(home / "GROUPS.DAT", options.group + " 1 -" + std::to_string(count) + "\r\n");
    ChildResult result = RunChild({options.zandrel, "BATCH"}, home);
    if (!fs::exists(home / "WORK" / "BENCH.QWK"))
        std::cerr << "warning: Zandrel made no packet in " << home << "\n";
    return result;
}

double RunBlockingClient(const Options& options, const GroupRange& range, int count) {
    const auto start = Clock::now();
    BlockingNntpClient client;
    ConnectOrThrow(client, options.port);
    client.group(options.group);
    for (auto n = range.last - count + 1; n <= range.last; ++n)
        client.article(n);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

ChildResult RunSuck(const Options& options, int count, const fs::path& base) {
    const fs::path home = base / "suck";
    fs::remove_all(home);
    fs::create_directories(home / "msgs");
    WriteFile(home / "sucknewsrc", options.group + " -" + std::to_string(count) + "\n");
    // -H: the server is this machine's own news system, whose history would
    // mark every article as already here. -M: INN starts in transit mode.
    return RunChild({"suck", "127.0.0.1", "-N", std::to_string(options.port), "-M", "-H", "-m",
                     "-n", "-q", "-K", "-dm", (home / "msgs").string(), "-dd", home.string(), "-dt",
                     home.string()},
                    home);
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

double Best(const std::vector<double>& seconds) {
    return *std::min_element(seconds.begin(), seconds.end());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Options options;
    options.zandrel = bench::ExeDirectory() + "/zandrel";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
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
    try {
        const GroupRange range = PrepareGroup(options, options.count);
        const fs::path base =
            fs::temp_directory_path() / ("bench_get_articles." + std::to_string(::getpid()));
        fs::create_directories(base);

        const ChildResult small = RunZandrel(options, options.small, base);
        std::vector<double> zandrelTimes;
        std::vector<double> blockingTimes;
        std::vector<double> aloneTimes;
        std::vector<double> roundRatios;
        long largeRssKb = 0;
        int zandrelStatus = 0;
        for (int round = 0; round < options.rounds; ++round) {
            const ChildResult large = RunZandrel(options, options.count, base);
            const double blocking = RunBlockingClient(options, range, options.count);
            aloneTimes.push_back(RunWithoutWindows(options, options.count, base));
            zandrelTimes.push_back(large.seconds);
            blockingTimes.push_back(blocking);
            roundRatios.push_back(blocking / large.seconds);
            largeRssKb = std::max(largeRssKb, large.maxRssKb);
            if (large.status != 0)
                zandrelStatus = large.status;
        }
        const ChildResult suck = RunSuck(options, options.count, base);
        if (WIFEXITED(suck.status) && WEXITSTATUS(suck.status) == 127)
            std::fprintf(stderr, "suck did not run: apt-get install suck\n");
        const long suckFiles =
            std::distance(fs::directory_iterator(base / "suck" / "msgs"), fs::directory_iterator{});

        const double n = options.count;
        const double zandrelBest = Best(zandrelTimes);
        const double blockingBest = Best(blockingTimes);
        const double aloneBest = Best(aloneTimes);
        const double zandrelRate = n / zandrelBest;
        const double blockingRate = n / blockingBest;
        const double suckRate = n / suck.seconds;
        std::printf("Get Articles over %d articles of %s on 127.0.0.1:%d, best of %d rounds\n",
                    options.count, options.group.c_str(), options.port, options.rounds);
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
