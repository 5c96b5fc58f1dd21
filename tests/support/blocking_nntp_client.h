// A minimal NNTP client over a blocking POSIX socket, one command at a time.
// Tests use it to set up and read back articles on a news server; benchmarks
// use it as the baseline. TCP_NODELAY is on and TCP_QUICKACK is set again
// after every read, so replies are acknowledged at once.
//
//   BlockingNntpClient client;
//   if (!client.connect("127.0.0.1", 119)) FAIL() << client.lastReply();
//   auto range = client.group("zandrel.test");        // first/last/count
//   auto text = client.article(range->last);           // whole article
//   auto result = client.post("From: a@b\r\nNewsgroups: zandrel.test\r\n"
//                             "Subject: hi\r\n\r\nbody\r\n");
//
// Every call returns false / nullopt / empty on failure and never throws;
// lastReply() holds the server's last status line (or what went wrong).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class BlockingNntpClient {
public:
    BlockingNntpClient() = default;
    ~BlockingNntpClient();
    BlockingNntpClient(const BlockingNntpClient&) = delete;
    BlockingNntpClient& operator=(const BlockingNntpClient&) = delete;

    // Connects, reads the greeting (200 or 201) and switches to reader mode.
    bool connect(const std::string& host, int port);
    bool connected() const { return fd_ >= 0; }
    // Sends QUIT and closes; also done by the destructor.
    void quit();

    struct GroupRange {
        std::int64_t count = 0;
        std::int64_t first = 0;
        std::int64_t last = 0;
    };
    // GROUP name: the 211 reply's numbers, nullopt for 411 or any failure.
    std::optional<GroupRange> group(const std::string& name);

    // ARTICLE n in the selected group: the article (header block, empty line,
    // body) dot-unstuffed with CR LF line ends; nullopt for 423/430 etc.
    std::optional<std::string> article(std::int64_t number);
    // ARTICLE <message-id>.
    std::optional<std::string> article(const std::string& messageId);

    struct PostResult {
        bool ok = false;
        std::string reason; // the server's reply line (or the local failure)
    };
    // POST: headers, empty line and body in one text. Bare LF becomes CR LF,
    // lines starting with a dot are stuffed, the terminating dot is added.
    PostResult post(const std::string& article);

    // LIST ACTIVE: one line per group ("name last first flag"), no line ends.
    std::vector<std::string> list();

    // Sends one command line and returns the status line (no CR LF), empty
    // when the connection failed. For multi-line replies call readBlock().
    std::string command(const std::string& line);
    // Reads a multi-line data block up to the terminating dot, unstuffed,
    // lines ended by CR LF.
    std::optional<std::string> readBlock();

    const std::string& lastReply() const { return lastReply_; }

private:
    bool sendAll(const std::string& bytes);
    std::optional<std::string> readLine();
    void closeSocket();

    int fd_ = -1;
    std::string buffer_;
    std::size_t bufferPos_ = 0;
    std::string lastReply_;
};
