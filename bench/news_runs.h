// The runs the network benchmarks compare over the same articles: Zandrel's
// batch run, a minimal blocking client (one ARTICLE at a time) and Debian's
// suck, each against a news server on 127.0.0.1 (or a proxy there).
#pragma once

#include "child_process.h"
#include "support/blocking_nntp_client.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// Where the runs fetch from: the newest `count` articles of `group`.
struct NewsSource {
    int port = 119;
    std::string group;
    std::string zandrel; // the program's path
};

inline void ConnectOrThrow(BlockingNntpClient& client, int port) {
    if (!client.connect("127.0.0.1", port))
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port) + ": " +
                                 client.lastReply());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Zandrel's batch run over the newest `count` articles of the group, in a
// start directory of its own under base.
inline ChildResult RunZandrel(const NewsSource& source, int count,
                              const std::filesystem::path& base) {
    namespace fs = std::filesystem;
    const fs::path home = base / ("zandrel-" + std::to_string(count));
    fs::remove_all(home);
    fs::create_directories(home / "WORK");
    WriteFile(home / "ZANDREL.INI",
              "[NNTP]\r\nNNTP Server=127.0.0.1\r\nNNTP Remote Port=" + std::to_string(source.port) +
                  "\r\n[Identity]\r\nOrganization=\r\n"
                  "[Qwk]\r\nQwk ID=BENCH\r\nLines Per Messages=90\r\n"
                  "Work Directory=" +
                  (home / "WORK").string() + "\r\n");
    WriteFile(home / "GROUPS.DAT", source.group + " 1 -" + std::to_string(count) + "\r\n");
    ChildResult result = RunChild({source.zandrel, "BATCH"}, home);
    if (!fs::exists(home / "WORK" / "BENCH.QWK"))
        std::cerr << "warning: Zandrel made no packet in " << home << "\n";
    return result;
}

// Seconds for the blocking client to connect, select the group and fetch
// the newest `count` articles of it.
inline double RunBlockingClient(const NewsSource& source, int count) {
    const auto start = std::chrono::steady_clock::now();
    BlockingNntpClient client;
    ConnectOrThrow(client, source.port);
    const auto range = client.group(source.group);
    if (!range)
        throw std::runtime_error("the blocking client cannot select " + source.group);
    for (auto n = range->last - count + 1; n <= range->last; ++n)
        client.article(n);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline ChildResult RunSuck(const NewsSource& source, int count, const std::filesystem::path& base) {
    const std::filesystem::path home = base / "suck";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / "msgs");
    WriteFile(home / "sucknewsrc", source.group + " -" + std::to_string(count) + "\n");
    // -H: the server is this machine's own news system, whose history would
    // mark every article as already here. -M: INN starts in transit mode.
    ChildResult result = RunChild({"suck", "127.0.0.1", "-N", std::to_string(source.port), "-M",
                                   "-H", "-m", "-n", "-q", "-K", "-dm", (home / "msgs").string(),
                                   "-dd", home.string(), "-dt", home.string()},
                                  home);
    if (WIFEXITED(result.status) && WEXITSTATUS(result.status) == 127)
        std::cerr << "suck did not run: apt-get install suck\n";
    return result;
}

inline long FilesIn(const std::filesystem::path& directory) {
    std::error_code error;
    return std::distance(std::filesystem::directory_iterator(directory, error),
                         std::filesystem::directory_iterator{});
}

inline double Best(const std::vector<double>& seconds) {
    return *std::min_element(seconds.begin(), seconds.end());
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench
