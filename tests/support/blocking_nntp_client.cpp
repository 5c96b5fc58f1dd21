#include "blocking_nntp_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void SetQuickAck(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

BlockingNntpClient::~BlockingNntpClient() {
    quit();
}

bool BlockingNntpClient::connect(const std::string& host, int port) {
    quit();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        lastReply_ = "cannot resolve " + host;
        return false;
    }
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0)
            fd_ = fd;
        else
            ::close(fd);
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) {
        lastReply_ = "cannot connect to " + host + ":" + service;
        return false;
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    SetQuickAck(fd_);

    const auto greeting = readLine();
    if (!greeting || !(StartsWith(*greeting, "200") || StartsWith(*greeting, "201"))) {
        if (greeting)
            lastReply_ = *greeting;
        closeSocket();
        return false;
    }
    lastReply_ = *greeting;
    // A server that is a reader already may answer 500; that is fine.
    if (command("MODE READER").empty()) {
        closeSocket();
        return false;
    }
    return true;
}

void BlockingNntpClient::quit() {
    if (fd_ < 0)
        return;
    if (sendAll("QUIT\r\n"))
        readLine();
    closeSocket();
}

void BlockingNntpClient::closeSocket() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    bufferPos_ = 0;
}

bool BlockingNntpClient::sendAll(const std::string& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lastReply_ = "connection lost while sending";
            closeSocket();
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

std::optional<std::string> BlockingNntpClient::readLine() {
    for (;;) {
        const std::size_t end = buffer_.find("\r\n", bufferPos_);
        if (end != std::string::npos) {
            std::string line = buffer_.substr(bufferPos_, end - bufferPos_);
            bufferPos_ = end + 2;
            return line;
        }
        if (fd_ < 0)
            return std::nullopt;
        // Drop what was consumed before the buffer grows again.
        buffer_.erase(0, bufferPos_);
        bufferPos_ = 0;
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lastReply_ = "connection closed by the server";
            closeSocket();
            return std::nullopt;
        }
        SetQuickAck(fd_);
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string BlockingNntpClient::command(const std::string& line) {
    if (fd_ < 0 || !sendAll(line + "\r\n"))
        return {};
    const auto reply = readLine();
    if (!reply)
        return {};
    lastReply_ = *reply;
    return *reply;
}

std::optional<std::string> BlockingNntpClient::readBlock() {
    std::string text;
    for (;;) {
        auto line = readLine();
        if (!line)
            return std::nullopt;
        if (*line == ".")
            return text;
        if (!line->empty() && (*line)[0] == '.')
            line->erase(0, 1);
        text += *line;
        text += "\r\n";
    }
}

std::optional<BlockingNntpClient::GroupRange> BlockingNntpClient::group(const std::string& name) {
    const std::string reply = command("GROUP " + name);
    if (!StartsWith(reply, "211 "))
        return std::nullopt;
    GroupRange range;
    char groupName[512] = {};
    long long count = 0, first = 0, last = 0;
    if (std::sscanf(reply.c_str(), "211 %lld %lld %lld %511s", &count, &first, &last, groupName) <
        3)
        return std::nullopt;
    range.count = count;
    range.first = first;
    range.last = last;
    return range;
}

std::optional<std::string> BlockingNntpClient::article(std::int64_t number) {
    return article(std::to_string(number));
}

std::optional<std::string> BlockingNntpClient::article(const std::string& messageId) {
    const std::string reply = command("ARTICLE " + messageId);
    if (!StartsWith(reply, "220 "))
        return std::nullopt;
    return readBlock();
}

BlockingNntpClient::PostResult BlockingNntpClient::post(const std::string& article) {
    PostResult result;
    const std::string reply = command("POST");
    if (!StartsWith(reply, "340")) {
        result.reason = reply.empty() ? lastReply_ : reply;
        return result;
    }
    // Normalise line ends to CR LF and stuff leading dots.
    std::string wire;
    wire.reserve(article.size() + 64);
    bool lineStart = true;
    for (std::size_t i = 0; i < article.size(); ++i) {
        const char c = article[i];
        if (lineStart && c == '.')
            wire += '.';
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < article.size() && article[i + 1] == '\n')
                ++i;
            wire += "\r\n";
            lineStart = true;
            continue;
        }
        wire += c;
        lineStart = false;
    }
    if (!lineStart)
        wire += "\r\n";
    wire += ".\r\n";
    if (!sendAll(wire)) {
        result.reason = lastReply_;
        return result;
    }
    const auto status = readLine();
    result.reason = status ? *status : lastReply_;
    if (status)
        lastReply_ = *status;
    result.ok = status && StartsWith(*status, "240");
    return result;
}

std::vector<std::string> BlockingNntpClient::list() {
    std::vector<std::string> groups;
    if (!StartsWith(command("LIST ACTIVE"), "215"))
        return groups;
    const auto block = readBlock();
    if (!block)
        return groups;
    std::size_t start = 0;
    while (start < block->size()) {
        const std::size_t end = block->find("\r\n", start);
        groups.push_back(block->substr(start, end - start));
        start = end + 2;
    }
    return groups;
}
