// Get Articles from a distant server: the local news server behind a proxy
// that holds every chunk for a delay each way (tests/support), so a round
// trip costs what it costs to a server across the country. Zandrel's batch
// run, a one-at-a-time blocking client and suck fetch the same articles;
// each is timed whole, connection and group selection included. A client
// that waits for each reply before asking for the next is capped by the
// round trip; Zandrel sends its ARTICLE commands ahead.
//
// Usage: bench_latency [--port 119] [--delay 25] [--count 400]
//                      [--large 4000] [--group zandrel.bench] [--zandrel PATH]
// --delay is one way, in ms: 25 gives a round trip of 50 ms. The news server
// must run on 127.0.0.1 (scripts/newsd start); the group is filled by
// scripts/newsd when it holds fewer than --large articles.

#include "news_runs.h"
#include "support/latency_proxy.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;
using namespace bench;

namespace {

struct Options {
    int port = 119;
    int delayMs = 25;
    int count = 400;
    int large = 4000;
    std::string group = "zandrel.bench";
    std::string zandrel;
};

const std::string SourceRoot = fs::path(__FILE__).parent_path().parent_path().string();

void PrepareGroup(const Options& options) {
    long have = 0;
    {
        BlockingNntpClient client;
        ConnectOrThrow(client, options.port);
        if (const auto range = client.group(options.group); range && range->count > 0)
            have = range->last - range->first + 1;
    }
    if (have >= options.large)
        return;
    std::cerr << "posting " << options.large - have << " articles to " << options.group << "...\n";
    const std::string fill = SourceRoot + "/scripts/newsd fill " + options.group + " " +
                             std::to_string(options.large - have) + " >/dev/null";
    if (std::system(fill.c_str()) != 0)
        throw std::runtime_error("scripts/newsd fill failed");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Options options;
    options.zandrel = ExeDirectory() + "/zandrel";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--port")
            options.port = std::atoi(value.c_str());
        else if (key == "--delay")
            options.delayMs = std::atoi(value.c_str());
        else if (key == "--count")
            options.count = std::atoi(value.c_str());
        else if (key == "--large")
            options.large = std::atoi(value.c_str());
        else if (key == "--group")
            options.group = value;
        else if (key == "--zandrel")
            options.zandrel = value;
    }
    try {
        PrepareGroup(options);
        LatencyProxy proxy("127.0.0.1", options.port, std::chrono::milliseconds(options.delayMs));
        if (proxy.Port() == 0)
            throw std::runtime_error("the proxy cannot listen");
        const NewsSource source{proxy.Port(), options.group, options.zandrel};
        const fs::path base =
            fs::temp_directory_path() / ("bench_latency." + std::to_string(::getpid()));
        fs::create_directories(base);

        const ChildResult zandrel = RunZandrel(source, options.count, base);
        const ChildResult zandrelLarge = RunZandrel(source, options.large, base);
        const double blocking = RunBlockingClient(source, options.count);
        const ChildResult suck = RunSuck(source, options.count, base);
        const long suckFiles = FilesIn(base / "suck" / "msgs");

        const double n = options.count;
        std::printf("Get Articles over %d articles of %s through a proxy adding %d ms each way "
                    "(round trip %d ms)\n",
                    options.count, options.group.c_str(), options.delayMs, 2 * options.delayMs);
        std::printf("  %-16s %8.1f articles/s  (%.2f s, exit status %d)\n", "zandrel BATCH",
                    n / zandrel.seconds, zandrel.seconds, zandrel.status);
        std::printf("  %-16s %8.1f articles/s  (%.2f s)\n", "blocking client", n / blocking,
                    blocking);
        std::printf("  %-16s %8.1f articles/s  (%.2f s, %ld files, exit status %d)\n", "suck",
                    n / suck.seconds, suck.seconds, suckFiles, suck.status);
        std::printf("  zandrel / blocking client %6.1f   (target >= 15)\n",
                    blocking / zandrel.seconds);
        std::printf("  zandrel / suck            %6.1f\n", suck.seconds / zandrel.seconds);
        std::printf("  zandrel BATCH over %d articles: %.1f articles/s (%.2f s, exit status %d)\n",
                    options.large, options.large / zandrelLarge.seconds, zandrelLarge.seconds,
                    zandrelLarge.status);
        std::printf("  zandrel peak memory: %ld KiB for %d articles, %ld KiB for %d (ratio %.2f)\n",
                    zandrel.maxRssKb, options.count, zandrelLarge.maxRssKb, options.large,
                    static_cast<double>(zandrelLarge.maxRssKb) /
                        static_cast<double>(zandrel.maxRssKb));
        fs::remove_all(base);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_latency: %s\n", error.what());
        return 1;
    }
    return 0;
}
