// Fetching articles one at a time from the local news server, through the
// news client control (as Get Articles does: GetArticle and wait for its outcome)
// and, over the same articles, through the minimal blocking client. Prints
// articles per second for both and their ratio; the control should reach at
// least 0.8 of the blocking client.
//
// Usage: bench_nntp_fetch [--port 119] [--count 2000] [--rounds 3]
//                         [--group zandrel.bench.fetch]
// The server must run on 127.0.0.1 (scripts/newsd start); the group is
// created and filled through scripts/newsd when it holds too few articles.

#include "nntp/news_connection.h"
#include "support/blocking_nntp_client.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int port = 119;
    int count = 2000;
    int rounds = 3;
    std::string group = "zandrel.bench.fetch";
};

class NoView : public ConnectionView {
public:
    void SetStatusText(const std::string&) override {}
    void ApplyEnablingSet(bool) override {}
    void RepaintStatus() override {}
};

// User and system time of this process.
double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

bool EnsureArticles(const Options& options, std::int64_t& first, std::int64_t& last) {
    BlockingNntpClient client;
    if (!client.connect("127.0.0.1", options.port)) {
        std::fprintf(stderr, "no news server on 127.0.0.1:%d (%s); run scripts/newsd start\n",
                     options.port, client.lastReply().c_str());
        return false;
    }
    auto range = client.group(options.group);
    const std::int64_t have = range ? range->count : 0;
    if (have < options.count) {
        const std::string newsd =
            (std::filesystem::path(__FILE__).parent_path().parent_path() / "scripts/newsd")
                .string();
        const std::string command = newsd + " fill " + options.group + " " +
                                    std::to_string(options.count - have) + " >/dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "could not fill %s\n", options.group.c_str());
            return false;
        }
        client.quit();
        if (!client.connect("127.0.0.1", options.port))
            return false;
        range = client.group(options.group);
    }
    if (!range || range->count < options.count)
        return false;
    last = range->last;
    first = last - options.count + 1;
    return true;
}

// Returns the bytes fetched, or -1.
long long FetchWithBlockingClient(const Options& options, std::int64_t first, std::int64_t last) {
    BlockingNntpClient client;
    if (!client.connect("127.0.0.1", options.port) || !client.group(options.group))
        return -1;
    long long bytes = 0;
    for (std::int64_t n = first; n <= last; ++n) {
        const auto text = client.article(n);
        if (text)
            bytes += static_cast<long long>(text->size());
    }
    return bytes;
}

long long FetchWithControl(const Options& options, std::int64_t first, std::int64_t last) {
    Settings settings;
    settings.NntpServer = "127.0.0.1";
    settings.NntpPort = options.port;
    NoView view;
    NewsConnection connection(settings, view);
    connection.ConnectAndWait();
    if (connection.Disconnected())
        return -1;
    connection.SelectGroup(options.group);
    long long bytes = 0;
    for (std::int64_t n = first; n <= last; ++n) {
        if (connection.GetArticle(static_cast<std::int32_t>(n)))
            bytes += static_cast<long long>(connection.ReceivedText().size());
    }
    connection.DisconnectAndWait();
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--port"))
            options.port = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--count"))
            options.count = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--rounds"))
            options.rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--group"))
            options.group = argv[i + 1];
    }
    std::int64_t first = 0, last = 0;
    if (options.count <= 0 || !EnsureArticles(options, first, last))
        return 1;

    // A warm-up pass, then rounds that alternate which client goes first, so
    // a busy machine does not favour either; the best round of each counts.
    FetchWithBlockingClient(options, first, std::min(last, first + 99));
    double blockingSeconds = 1e9, controlSeconds = 1e9;
    long long blockingBytes = 0, controlBytes = 0;
    double blockingCpu = 0, controlCpu = 0;
    for (int round = 0; round < options.rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool blocking = (round + turn) % 2 == 0;
            const auto start = Clock::now();
            const double cpuStart = CpuSeconds();
            const long long bytes = blocking ? FetchWithBlockingClient(options, first, last)
                                             : FetchWithControl(options, first, last);
            const double seconds = Seconds(Clock::now() - start);
            (blocking ? blockingCpu : controlCpu) += CpuSeconds() - cpuStart;
            if (bytes < 0) {
                std::fprintf(stderr, "a fetch failed\n");
                return 1;
            }
            (blocking ? blockingBytes : controlBytes) = bytes;
            double& best = blocking ? blockingSeconds : controlSeconds;
            best = std::min(best, seconds);
        }
    }
    const double blockingRate = options.count / blockingSeconds;
    const double controlRate = options.count / controlSeconds;
    std::printf("articles: %d from %s, best of %d rounds\n", options.count, options.group.c_str(),
                options.rounds);
    std::printf("blocking client: %.0f articles/s (%.3f s, %lld bytes)\n", blockingRate,
                blockingSeconds, blockingBytes);
    std::printf("control:         %.0f articles/s (%.3f s, %lld body bytes)\n", controlRate,
                controlSeconds, controlBytes);
    const double fetches = static_cast<double>(options.count) * options.rounds;
    std::printf("cpu per article: blocking %.1f us, control %.1f us\n", blockingCpu / fetches * 1e6,
                controlCpu / fetches * 1e6);
    std::printf("ratio control/blocking: %.2f (target at least 0.80)\n",
                controlRate / blockingRate);
    return 0;
}
