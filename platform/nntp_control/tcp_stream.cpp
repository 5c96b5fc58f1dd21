#include "tcp_stream.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>

#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

std::string ErrorText(int error) {
    switch (error) {
    case ECONNREFUSED:
        return "Connection refused";
    case ETIMEDOUT:
        return "Connection timed out";
    case ENETUNREACH:
    case EHOSTUNREACH:
        return "Network unreachable";
    case ECONNRESET:
    case EPIPE:
        return "The server closed the connection";
    default:
        return std::strerror(error);
    }
}

void SetOption(int fd, int level, int option) {
    const int one = 1;
    ::setsockopt(fd, level, option, &one, sizeof one);
}

} // namespace

struct TcpStream::Impl {
    TcpStream* q;
    QObject* parent;
    int fd = -1;
    unsigned generation = 0; // counts Close calls, so stale callbacks stay away
    bool connected = false;
    bool readingPaused = false;
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
    std::string queued; // bytes not yet taken by the kernel
    std::size_t queuedSent = 0;
    std::size_t reportable = 0; // queued bytes that OnWritten reports
    std::vector<char> chunk = std::vector<char>(ReceiveChunk);

    void UpdateReadNotifier() {
        if (readNotifier)
            readNotifier->setEnabled(connected && !readingPaused);
    }
    void Writable();
    void FinishConnecting();
    void FailLater(const std::string& why);
};

TcpStream::TcpStream(QObject* parent) : d(std::make_unique<Impl>()) {
    d->q = this;
    d->parent = parent;
}

TcpStream::~TcpStream() {
    Close();
}

bool TcpStream::Connected() const {
    return d->connected;
}

bool TcpStream::Open() const {
    return d->fd >= 0;
}

void TcpStream::ConnectTo(const QHostAddress& address, std::uint16_t port) {
    Close();
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof in6->sin6_addr);
        // A link-local address names its interface, by number or by name.
        const QString scope = address.scopeId();
        bool numeric = false;
        const unsigned index = scope.toUInt(&numeric);
        in6->sin6_scope_id =
            numeric || scope.isEmpty() ? index : ::if_nametoindex(scope.toLocal8Bit().constData());
        length = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in4;
    }

    d->fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (d->fd < 0) {
        d->FailLater(ErrorText(errno));
        return;
    }
    d->readNotifier = new QSocketNotifier(d->fd, QSocketNotifier::Read, d->parent);
    d->readNotifier->setEnabled(false);
    QObject::connect(d->readNotifier, &QSocketNotifier::activated, d->parent, [this] {
        if (OnReadable)
            OnReadable();
    });
    d->writeNotifier = new QSocketNotifier(d->fd, QSocketNotifier::Write, d->parent);
    QObject::connect(d->writeNotifier, &QSocketNotifier::activated, d->parent,
                     [this] { d->Writable(); });

    // The answer comes through the write notifier even when the connection
    // is made at once, so OnConnected is never raised inside this call.
    if (::connect(d->fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0 &&
        errno != EINPROGRESS) {
        const int error = errno;
        Close();
        d->FailLater(ErrorText(error));
    }
}

void TcpStream::Impl::FailLater(const std::string& why) {
    // Dropped if the stream is closed or reused before the event loop runs.
    const unsigned current = generation;
    QTimer::singleShot(0, parent, [this, why, current] {
        if (generation == current && q->OnFailed)
            q->OnFailed(why);
    });
}

void TcpStream::Impl::FinishConnecting() {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error == EINPROGRESS || error == EALREADY)
        return;
    if (error != 0) {
        q->Close();
        if (q->OnFailed)
            q->OnFailed(ErrorText(error));
        return;
    }
    connected = true;
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY);
    SetOption(fd, IPPROTO_TCP, TCP_QUICKACK);
    writeNotifier->setEnabled(!queued.empty());
    UpdateReadNotifier();
    if (q->OnConnected)
        q->OnConnected();
}

void TcpStream::Impl::Writable() {
    if (!connected) {
        FinishConnecting();
        return;
    }
    while (queuedSent < queued.size()) {
        const ssize_t n = ::send(fd, queued.data() + queuedSent, queued.size() - queuedSent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return; // the notifier calls again
        if (n < 0) {
            const int error = errno;
            q->Close();
            if (q->OnFailed)
                q->OnFailed(ErrorText(error));
            return;
        }
        queuedSent += static_cast<std::size_t>(n);
        const std::size_t reported = std::min(reportable, static_cast<std::size_t>(n));
        reportable -= reported;
        if (reported > 0 && q->OnWritten) {
            const unsigned current = generation;
            q->OnWritten(reported);
            if (generation != current)
                return; // closed from the callback
        }
    }
    queued.clear();
    queuedSent = 0;
    writeNotifier->setEnabled(false);
}

TcpStream::ReceiveResult TcpStream::Receive(std::string& into, std::string& why) {
    if (!d->connected) {
        why = "Not connected";
        return ReceiveResult::Failed;
    }
    for (;;) {
        const ssize_t n = ::recv(d->fd, d->chunk.data(), d->chunk.size(), MSG_DONTWAIT);
        if (n > 0) {
            into.append(d->chunk.data(), static_cast<std::size_t>(n));
            return ReceiveResult::Data;
        }
        if (n == 0) {
            why = "The server closed the connection";
            Close();
            return ReceiveResult::Closed;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return ReceiveResult::NothingYet;
        why = ErrorText(errno);
        Close();
        return ReceiveResult::Failed;
    }
}

void TcpStream::PauseReading(bool paused) {
    d->readingPaused = paused;
    d->UpdateReadNotifier();
}

void TcpStream::Send(const char* data, std::size_t size) {
    if (d->fd < 0)
        return;
    std::size_t sent = 0;
    if (d->connected && d->queued.empty()) {
        // Straight to the kernel: going through the queue would switch the
        // write notifier on and off, and wake the event loop, per command.
        const ssize_t n = ::send(d->fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            sent = static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return; // the read side reports the broken connection
    }
    if (sent < size) {
        d->queued.append(data + sent, size - sent);
        if (d->connected)
            d->writeNotifier->setEnabled(true);
    }
}

void TcpStream::SendQueued(const char* data, std::size_t size) {
    if (d->fd < 0)
        return;
    d->queued.append(data, size);
    d->reportable += size;
    if (d->connected)
        d->writeNotifier->setEnabled(true);
}

void TcpStream::AcknowledgeAtOnce() {
    if (d->connected)
        SetOption(d->fd, IPPROTO_TCP, TCP_QUICKACK);
}

void TcpStream::Close() {
    // Notifiers go before the descriptor, and later, since a callback of
    // theirs may be what is closing the stream.
    for (QSocketNotifier* notifier : {d->readNotifier, d->writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->disconnect();
            notifier->deleteLater();
        }
    }
    d->readNotifier = nullptr;
    d->writeNotifier = nullptr;
    ++d->generation;
    if (d->fd >= 0)
        ::close(d->fd);
    d->fd = -1;
    d->connected = false;
    d->readingPaused = false;
    d->queued.clear();
    d->queuedSent = 0;
    d->reportable = 0;
}
