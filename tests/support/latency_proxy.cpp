#include "latency_proxy.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int ConnectTo(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// One direction of one connection: what `from` sends reaches `to` a delay
// later, in order; the end of the stream too.
void Carry(int from, int to, std::chrono::milliseconds delay, const std::atomic<bool>& stopping) {
    struct Held {
        Clock::time_point due;
        std::string bytes; // empty: the end of the stream
    };
    std::deque<Held> held;
    bool ended = false;
    std::vector<char> buffer(64 * 1024);
    while (!stopping) {
        int timeout = ended ? -1 : 100;
        if (!held.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                held.front().due - Clock::now());
            timeout =
                static_cast<int>(std::max<long long>(0, std::min<long long>(wait.count(), 100)));
        } else if (ended) {
            break;
        }
        pollfd p{from, static_cast<short>(ended ? 0 : POLLIN), 0};
        const int ready = ::poll(&p, 1, timeout);
        if (ready > 0 && !ended && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(from, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                held.push_back({Clock::now() + delay, std::string(buffer.data(), n)});
            } else if (n == 0 || errno != EINTR) {
                held.push_back({Clock::now() + delay, {}});
                ended = true;
            }
        }
        while (!held.empty() && held.front().due <= Clock::now()) {
            Held chunk = std::move(held.front());
            held.pop_front();
            if (chunk.bytes.empty() || !WriteAll(to, chunk.bytes.data(), chunk.bytes.size())) {
                ::shutdown(to, SHUT_WR);
                ::shutdown(from, SHUT_RD);
                return;
            }
        }
    }
}

} // namespace

struct LatencyProxy::Impl {
    std::string upstreamHost;
    int upstreamPort = 0;
    std::chrono::milliseconds delay{0};
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::thread acceptor;
    std::mutex mutex;
    std::vector<std::thread> carriers;
    std::vector<int> sockets;

    void Accept() {
        while (!stopping) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            const int server = ConnectTo(upstreamHost, upstreamPort);
            if (server < 0) {
                ::close(client);
                continue;
            }
            const int one = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ++connections;
            std::lock_guard<std::mutex> lock(mutex);
            sockets.push_back(client);
            sockets.push_back(server);
            carriers.emplace_back(Carry, client, server, delay, std::cref(stopping));
            carriers.emplace_back(Carry, server, client, delay, std::cref(stopping));
        }
    }
};

LatencyProxy::LatencyProxy(const std::string& upstreamHost, int upstreamPort,
                           std::chrono::milliseconds oneWayDelay)
    : d(std::make_unique<Impl>()) {
    d->upstreamHost = upstreamHost;
    d->upstreamPort = upstreamPort;
    d->delay = oneWayDelay;
    d->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (d->listener < 0 ||
        ::bind(d->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(d->listener, 16) != 0 ||
        ::getsockname(d->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    d->port = ntohs(address.sin_port);
    d->acceptor = std::thread([this] { d->Accept(); });
}

LatencyProxy::~LatencyProxy() {
    d->stopping = true;
    if (d->acceptor.joinable())
        d->acceptor.join();
    for (std::thread& carrier : d->carriers)
        carrier.join();
    for (const int fd : d->sockets)
        ::close(fd);
    if (d->listener >= 0)
        ::close(d->listener);
}

int LatencyProxy::Port() const {
    return d->port;
}

int LatencyProxy::Connections() const {
    return d->connections;
}
