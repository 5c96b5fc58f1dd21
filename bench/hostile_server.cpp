// zandrel BATCH against servers that would hold a run for ever: one that
// sends an article without end, as fast as it can, and one that drips a line
// every few seconds. Prints how long each run took, its exit status and its
// peak memory; the first must stay well under 100 MB, and both must end by
// themselves within a few minutes.
//
// Usage: bench_hostile_server [--drip-seconds 5] [--zandrel PATH]

#include "child_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

enum class Behaviour { EndlessArticle, Drip };

// A server on a loopback port that answers like a news server until it is
// asked for an article, and then misbehaves until the client goes.
class HostileServer {
public:
    HostileServer(Behaviour behaviour, int dripSeconds)
        : behaviour_(behaviour), dripSeconds_(dripSeconds) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HostileServer() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    int Port() const { return port_; }

private:
    void Serve() {
        while (!stopping_) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0)
                return;
            Converse(client);
            ::close(client);
        }
    }

    static bool Send(int client, const std::string& text) {
        return ::send(client, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }

    void Converse(int client) {
        Send(client, "200 hostile server ready\r\n");
        std::string input;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            input.append(buffer, static_cast<std::size_t>(got));
            for (auto end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
                const std::string line = input.substr(0, end);
                input.erase(0, end + 1);
                if (line.rfind("MODE READER", 0) == 0)
                    Send(client, "200 ok\r\n");
                else if (line.rfind("GROUP", 0) == 0)
                    Send(client, "211 1 1 1 hostile.test\r\n");
                else if (line.rfind("QUIT", 0) == 0)
                    return;
                else if (line.rfind("ARTICLE", 0) == 0)
                    return Misbehave(client);
                else
                    Send(client, "500 what?\r\n");
            }
        }
    }

    void Misbehave(int client) {
        if (!Send(client, "220 1 <1@hostile>\r\nSubject: without end\r\n\r\n"))
            return;
        std::string lines;
        while (lines.size() < 64 * 1024)
            lines += "an article that never ends, line after line after line\r\n";
        while (!stopping_) {
            if (behaviour_ == Behaviour::EndlessArticle) {
                if (!Send(client, lines))
                    return;
            } else {
                if (!Send(client, "one more line\r\n"))
                    return;
                for (int i = 0; i < dripSeconds_ * 10 && !stopping_; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }

    Behaviour behaviour_;
    int dripSeconds_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

void Report(const char* what, const bench::ChildResult& run) {
    std::cout << "  " << what << ": " << run.seconds << " s, exit status "
              << (WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1) << ", peak memory "
              << run.maxRssKb / 1024 << " MB" << std::endl;
}

bench::ChildResult RunAgainst(const std::string& zandrel, const HostileServer& server,
                              const fs::path& home) {
    fs::remove_all(home);
    fs::create_directories(home / "WORK");
    std::ofstream(home / "ZANDREL.INI")
        << "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=" << server.Port() << "\r\n";
    std::ofstream(home / "GROUPS.DAT") << "hostile.test 1 0\r\n";
    return bench::RunChild({zandrel, "BATCH"}, home);
}

} // namespace

int main(int argc, char** argv) {
    std::string zandrel = bench::ExeDirectory() + "/zandrel";
    int dripSeconds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--zandrel")
            zandrel = argv[i + 1];
        else if (key == "--drip-seconds")
            dripSeconds = std::atoi(argv[i + 1]);
    }
    const fs::path base = fs::temp_directory_path() / "zandrel-bench-hostile";
    std::cout << "zandrel BATCH against hostile servers" << std::endl;
    {
        HostileServer endless(Behaviour::EndlessArticle, dripSeconds);
        Report("endless article", RunAgainst(zandrel, endless, base / "endless"));
    }
    {
        HostileServer drip(Behaviour::Drip, dripSeconds);
        Report("dripping server", RunAgainst(zandrel, drip, base / "drip"));
    }
    fs::remove_all(base);
    return 0;
}
