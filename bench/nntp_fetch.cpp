// Fetching articles one at a time from the local news server, through the
// news client control (as Get Articles does: GetArticle and wait for its outcome)
// and, over the same articles, through the minimal blocking client. Prints
// articles per second for both and their ratio; the control should reach at
// least 0.8 of the blocking client.
//
// With the local server's TLS up (scripts/newsd start), the control also
// fetches the same articles over TLS from the first byte (localhost, port
// --tls-port, the server's throwaway CA trusted through
// ZANDREL_TEST_CA_FILE), and prints that rate against the blocking client's
// and against its own in clear text.
//
// Usage: bench_nntp_fetch [--port 119] [--count 2000] [--rounds 3]
//                         [--group zandrel.bench.fetch] [--tls-port 563]
// The server must run on 127.0.0.1 (scripts/newsd start); the group is
// created and filled through scripts/newsd when it holds too few articles.

#include "nntp/news_connection.h"
#include "support/blocking_nntp_client.h"

#include <QCoreApplication>
#include <QSslSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

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
    int tlsPort = 563;
};

std::string NewsdPath() {
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "scripts/newsd").string();
}

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
        const std::string command = NewsdPath() + " fill " + options.group + " " +
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

// The baseline over TLS: the same one-at-a-time client on OpenSSL, each
// reply read whole before the next command, replies acknowledged at once.
class BlockingTlsClient {
public:
    ~BlockingTlsClient() {
        if (ssl_)
            SSL_free(ssl_);
        if (context_)
            SSL_CTX_free(context_);
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool Connect(int port, const std::string& caFile) {
        context_ = SSL_CTX_new(TLS_client_method());
        if (!context_ || SSL_CTX_load_verify_locations(context_, caFile.c_str(), nullptr) != 1)
            return false;
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ssl_ = SSL_new(context_);
        SSL_set_fd(ssl_, fd_);
        SSL_set_tlsext_host_name(ssl_, "localhost");
        SSL_set1_host(ssl_, "localhost");
        return SSL_connect(ssl_) == 1 && ReadLine().rfind("20", 0) == 0;
    }

    std::string Command(const std::string& line) {
        const std::string bytes = line + "\r\n";
        if (SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) <= 0)
            return {};
        return ReadLine();
    }

    // The data block after a status line, up to the dot; its byte count.
    long long ReadBlock() {
        long long bytes = 0;
        for (;;) {
            const std::string line = ReadLine();
            if (line.empty() && !open_)
                return -1;
            if (line == ".")
                return bytes;
            bytes += static_cast<long long>(line.size()) + 2;
        }
    }

private:
    std::string ReadLine() {
        for (;;) {
            const auto end = buffer_.find("\r\n");
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                return line;
            }
            char chunk[65536];
            const int got = SSL_read(ssl_, chunk, sizeof chunk);
            if (got <= 0) {
                open_ = false;
                return {};
            }
            buffer_.append(chunk, static_cast<std::size_t>(got));
            const int one = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        }
    }

    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    int fd_ = -1;
    bool open_ = true;
    std::string buffer_;
};

long long FetchWithBlockingTls(const Options& options, const std::string& caFile,
                               std::int64_t first, std::int64_t last) {
    BlockingTlsClient client;
    if (!client.Connect(options.tlsPort, caFile) ||
        client.Command("GROUP " + options.group).rfind("211", 0) != 0)
        return -1;
    long long bytes = 0;
    for (std::int64_t n = first; n <= last; ++n) {
        if (client.Command("ARTICLE " + std::to_string(n)).rfind("220", 0) != 0)
            continue;
        const long long block = client.ReadBlock();
        if (block < 0)
            return -1;
        bytes += block;
    }
    return bytes;
}

long long FetchWithControl(const Options& options, std::int64_t first, std::int64_t last,
                           bool tls = false) {
    Settings settings;
    settings.NntpServer = tls ? "localhost" : "127.0.0.1";
    settings.NntpPort = tls ? options.tlsPort : options.port;
    settings.Security = tls ? NntpSecurity::Tls : NntpSecurity::None;
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
        else if (!std::strcmp(argv[i], "--tls-port"))
            options.tlsPort = std::atoi(argv[i + 1]);
    }
    // The throwaway CA of the local server, trusted by the control alone.
    std::string caFile;
    if (FILE* pipe = ::popen((NewsdPath() + " ca 2>/dev/null").c_str(), "r")) {
        char line[512] = {};
        if (std::fgets(line, sizeof line, pipe))
            caFile.assign(line, std::strcspn(line, "\r\n"));
        ::pclose(pipe);
    }
    const bool tls =
        QSslSocket::supportsSsl() && !caFile.empty() && std::filesystem::exists(caFile);
    if (tls)
        ::setenv("ZANDREL_TEST_CA_FILE", caFile.c_str(), 1);
    std::int64_t first = 0, last = 0;
    if (options.count <= 0 || !EnsureArticles(options, first, last))
        return 1;

    // A warm-up pass, then rounds that alternate which client goes first, so
    // a busy machine does not favour either; the best round of each counts.
    FetchWithBlockingClient(options, first, std::min(last, first + 99));
    double blockingSeconds = 1e9, controlSeconds = 1e9, tlsSeconds = 1e9, blockingTlsSeconds = 1e9;
    long long blockingBytes = 0, controlBytes = 0, tlsBytes = 0;
    double blockingCpu = 0, controlCpu = 0, tlsCpu = 0;
    const int turns = tls ? 3 : 2;
    for (int round = 0; round < options.rounds; ++round) {
        for (int turn = 0; turn < turns; ++turn) {
            // 0: blocking, 1: control, 2: control over TLS.
            const int who = (round + turn) % turns;
            const auto start = Clock::now();
            const double cpuStart = CpuSeconds();
            const long long bytes = who == 0   ? FetchWithBlockingClient(options, first, last)
                                    : who == 1 ? FetchWithControl(options, first, last)
                                               : FetchWithControl(options, first, last, true);
            const double seconds = Seconds(Clock::now() - start);
            (who == 0 ? blockingCpu : who == 1 ? controlCpu : tlsCpu) += CpuSeconds() - cpuStart;
            if (bytes < 0) {
                std::fprintf(stderr, "a fetch failed%s\n", who == 2 ? " over TLS" : "");
                return 1;
            }
            (who == 0 ? blockingBytes : who == 1 ? controlBytes : tlsBytes) = bytes;
            double& best = who == 0 ? blockingSeconds : who == 1 ? controlSeconds : tlsSeconds;
            best = std::min(best, seconds);
        }
        // The OpenSSL baseline takes its turn in the same round.
        if (tls) {
            const auto start = Clock::now();
            if (FetchWithBlockingTls(options, caFile, first, last) < 0) {
                std::fprintf(stderr, "the blocking TLS client failed\n");
                return 1;
            }
            blockingTlsSeconds = std::min(blockingTlsSeconds, Seconds(Clock::now() - start));
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
    if (!tls) {
        std::printf("control over TLS: not run (no TLS library or no CA from scripts/newsd)\n");
        return 0;
    }
    const double tlsRate = options.count / tlsSeconds;
    std::printf("control over TLS: %.0f articles/s (%.3f s, %lld body bytes), cpu %.1f us\n",
                tlsRate, tlsSeconds, tlsBytes, tlsCpu / fetches * 1e6);
    const double blockingTlsRate = options.count / blockingTlsSeconds;
    std::printf("blocking client over TLS (OpenSSL): %.0f articles/s (%.3f s)\n", blockingTlsRate,
                blockingTlsSeconds);
    std::printf("ratio control over TLS/blocking over TLS: %.2f (target at least 0.80)\n",
                tlsRate / blockingTlsRate);
    std::printf("ratio control over TLS/blocking: %.2f, over TLS/in clear text: %.2f\n",
                tlsRate / blockingRate, tlsRate / controlRate);
    return 0;
}
