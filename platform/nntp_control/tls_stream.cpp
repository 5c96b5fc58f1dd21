#include "tls_stream.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cctype>
#include <cstdlib>
#include <deque>
#include <utility>

std::string FormatFingerprint(const std::string& digest) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : digest) {
        if (!text.empty())
            text += ':';
        const auto byte = static_cast<unsigned char>(c);
        text += hex[byte >> 4];
        text += hex[byte & 15];
    }
    return text;
}

std::string FingerprintDigits(const std::string& text) {
    std::string digits;
    for (const char c : text) {
        if (c == ':' || c == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return digits.size() == 64 ? digits : std::string();
}

namespace {

std::string Fingerprint(const QSslCertificate& certificate) {
    if (certificate.isNull())
        return {};
    return FormatFingerprint(certificate.digest(QCryptographicHash::Sha256).toStdString());
}

// The server's Nagle holds the rest of a reply back until what came is
// acknowledged; a delayed ACK would cost 40 ms per article.
void QuickAck(const QSslSocket* socket) {
    if (!socket)
        return;
    const qintptr fd = socket->socketDescriptor();
    const int one = 1;
    if (fd >= 0)
        ::setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

std::string SocketErrorText(const QSslSocket& socket) {
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return "Connection refused";
    case QAbstractSocket::RemoteHostClosedError:
        return "The server closed the connection";
    case QAbstractSocket::NetworkError:
        return "Network unreachable";
    default:
        return socket.errorString().toStdString();
    }
}

} // namespace

struct TlsStream::Impl {
    TlsStream* q;
    QObject context; // posted callbacks and socket connections die with the stream
    QSslSocket* socket = nullptr;
    unsigned generation = 0; // counts Close calls, so stale callbacks stay away
    bool connected = false;
    bool encrypting = false; // a handshake was begun
    bool readingPaused = false;
    bool readablePosted = false;
    int insideCall = 0; // the owner's call is on the stack: callbacks wait
    std::string acceptedDigits;
    std::string peerFingerprint;
    std::string refusal; // why the certificate was refused, while handshaking
    // What was handed to the socket and not yet written, in order: byte
    // counts, and whether OnWritten reports them.
    std::deque<std::pair<std::size_t, bool>> unwritten;

    struct Call {
        Impl& d;
        explicit Call(Impl& impl) : d(impl) { ++d.insideCall; }
        ~Call() { --d.insideCall; }
    };

    // Raises a callback now when the event loop delivered the signal, later
    // when a call of the owner's made the socket emit it.
    template <typename F> void Raise(F raise) {
        const unsigned current = generation;
        if (insideCall == 0) {
            raise();
            return;
        }
        QTimer::singleShot(0, &context, [this, raise = std::move(raise), current]() mutable {
            if (generation == current)
                raise();
        });
    }
    void NotifyReadable() {
        if (!connected || readingPaused || readablePosted)
            return;
        readablePosted = true;
        Raise([this] {
            readablePosted = false;
            if (connected && !readingPaused && q->OnReadable)
                q->OnReadable();
        });
    }
    void Written(qint64 bytes);
    void Failed();
    void Connect();
};

TlsStream::TlsStream(QObject* /*parent*/) : d(std::make_unique<Impl>()) {
    d->q = this;
}

TlsStream::~TlsStream() {
    Close();
}

bool TlsStream::Available() {
    return QSslSocket::supportsSsl();
}

bool TlsStream::Connected() const {
    return d->connected;
}

bool TlsStream::Open() const {
    return d->socket != nullptr;
}

void TlsStream::ConnectTo(const QHostAddress& address, std::uint16_t port) {
    Close();
    Impl::Call call(*d);
    d->socket = new QSslSocket;
    d->socket->setProxy(QNetworkProxy::NoProxy);
    d->Connect();
    d->socket->connectToHost(address, port);
}

void TlsStream::Impl::Connect() {
    QObject::connect(socket, &QSslSocket::connected, &context, [this] {
        Raise([this] {
            connected = true;
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            if (q->OnConnected)
                q->OnConnected();
            if (socket && socket->bytesAvailable() > 0)
                NotifyReadable();
        });
    });
    QObject::connect(socket, &QSslSocket::readyRead, &context, [this] { NotifyReadable(); });
    // A TLS record cut in two raises no readyRead, yet its first half wants
    // its ACK at once like any other: the socket's own TCP socket says when
    // bytes came.
    if (auto* plain = socket->findChild<QTcpSocket*>())
        QObject::connect(plain, &QTcpSocket::readyRead, &context, [this] { QuickAck(socket); });
    QObject::connect(socket, &QSslSocket::bytesWritten, &context,
                     [this](qint64 bytes) { Written(bytes); });
    // Decided at once: the handshake goes on only if the errors are
    // ignored inside this signal.
    QObject::connect(socket, &QSslSocket::sslErrors, &context, [this](const QList<QSslError>&) {
        peerFingerprint = Fingerprint(socket->peerCertificate());
        if (!acceptedDigits.empty() && FingerprintDigits(peerFingerprint) == acceptedDigits) {
            socket->ignoreSslErrors();
            return;
        }
        refusal.clear();
        for (const QSslError& error : socket->sslHandshakeErrors()) {
            const std::string text = error.errorString().toStdString();
            if (refusal.find(text) != std::string::npos)
                continue;
            refusal += refusal.empty() ? "" : "; ";
            refusal += text;
        }
        if (refusal.empty())
            refusal = "The certificate did not verify";
    });
    QObject::connect(socket, &QSslSocket::encrypted, &context, [this] {
        peerFingerprint = Fingerprint(socket->peerCertificate());
        Raise([this] {
            encrypting = false;
            if (q->OnEncrypted)
                q->OnEncrypted();
            if (socket && socket->bytesAvailable() > 0)
                NotifyReadable();
        });
    });
    QObject::connect(socket, &QSslSocket::errorOccurred, &context,
                     [this](QAbstractSocket::SocketError) { Failed(); });
    QObject::connect(socket, &QSslSocket::disconnected, &context, [this] { Failed(); });
}

// Before the connection is made, and during a handshake, a failure is the
// owner's to hear at once; afterwards the read side reports it, after what
// came before it.
void TlsStream::Impl::Failed() {
    if (connected && !encrypting) {
        NotifyReadable();
        return;
    }
    Raise([this] {
        if (!socket)
            return;
        const std::string refused = std::exchange(refusal, {});
        const std::string why = SocketErrorText(*socket);
        q->Close();
        if (!refused.empty()) {
            if (q->OnCertificateRefused)
                q->OnCertificateRefused(refused);
        } else if (q->OnFailed) {
            q->OnFailed(why);
        }
    });
}

void TlsStream::Impl::Written(qint64 bytes) {
    std::size_t left = static_cast<std::size_t>(bytes);
    std::size_t reported = 0;
    while (left > 0 && !unwritten.empty()) {
        auto& [count, reportable] = unwritten.front();
        const std::size_t taken = std::min(count, left);
        if (reportable)
            reported += taken;
        count -= taken;
        left -= taken;
        if (count == 0)
            unwritten.pop_front();
    }
    if (reported > 0)
        Raise([this, reported] {
            if (q->OnWritten)
                q->OnWritten(reported);
        });
}

TlsStream::ReceiveResult TlsStream::Receive(std::string& into, std::string& why) {
    if (!d->connected) {
        why = "Not connected";
        return ReceiveResult::Failed;
    }
    Impl::Call call(*d);
    // Only what is there: sizing the string for a whole chunk would clear
    // 64 KB for every short reply.
    const qint64 available =
        std::min<qint64>(d->socket->bytesAvailable(), static_cast<qint64>(ReceiveChunk));
    qint64 n = 0;
    if (available > 0) {
        const std::size_t before = into.size();
        into.resize(before + static_cast<std::size_t>(available));
        n = d->socket->read(into.data() + before, available);
        into.resize(before + static_cast<std::size_t>(std::max<qint64>(n, 0)));
    }
    QuickAck(d->socket);
    if (n > 0)
        return ReceiveResult::Data;
    if (n == 0 && d->socket->state() == QAbstractSocket::ConnectedState)
        return ReceiveResult::NothingYet;
    const bool closed = d->socket->error() == QAbstractSocket::RemoteHostClosedError ||
                        d->socket->error() == QAbstractSocket::UnknownSocketError;
    why = closed ? "The server closed the connection" : SocketErrorText(*d->socket);
    Close();
    return closed ? ReceiveResult::Closed : ReceiveResult::Failed;
}

void TlsStream::PauseReading(bool paused) {
    const bool changed = d->readingPaused != paused;
    d->readingPaused = paused;
    if (!d->socket || !changed)
        return;
    // While paused, at most a few chunks wait in the socket; the server's
    // sending stops at the kernel's window.
    d->socket->setReadBufferSize(paused ? 4 * static_cast<qint64>(ReceiveChunk) : 0);
    if (!paused && (d->socket->bytesAvailable() > 0 ||
                    d->socket->state() != QAbstractSocket::ConnectedState)) {
        Impl::Call call(*d); // always later: this is the owner's call
        d->NotifyReadable();
    }
}

void TlsStream::Send(const char* data, std::size_t size) {
    if (!d->socket)
        return;
    Impl::Call call(*d);
    d->unwritten.emplace_back(size, false);
    d->socket->write(data, static_cast<qint64>(size));
    // A command leaves now, not on the next pass of the event loop.
    if (d->connected) {
        d->socket->flush();
        QuickAck(d->socket);
    }
}

void TlsStream::AcknowledgeAtOnce() {
    QuickAck(d->socket);
}

void TlsStream::SendQueued(const char* data, std::size_t size) {
    if (!d->socket)
        return;
    Impl::Call call(*d);
    d->unwritten.emplace_back(size, true);
    d->socket->write(data, static_cast<qint64>(size));
}

bool TlsStream::StartEncryption(const std::string& peerName,
                                const std::string& acceptedFingerprint) {
    if (!d->connected || d->encrypting || d->socket->isEncrypted() || !Available())
        return false;
    Impl::Call call(*d);
    QSslConfiguration configuration = d->socket->sslConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (const char* caFile = std::getenv("ZANDREL_TEST_CA_FILE"); caFile && *caFile)
        configuration.addCaCertificates(QString::fromLocal8Bit(caFile));
    d->socket->setSslConfiguration(configuration);
    d->socket->setPeerVerifyName(QString::fromStdString(peerName));
    d->acceptedDigits = FingerprintDigits(acceptedFingerprint);
    d->peerFingerprint.clear();
    d->refusal.clear();
    d->encrypting = true;
    d->socket->startClientEncryption();
    return true;
}

std::string TlsStream::PeerCertificateFingerprint() const {
    return d->peerFingerprint;
}

void TlsStream::Close() {
    ++d->generation;
    if (d->socket) {
        // Signals go before the socket, and the socket later, since one of
        // its signals may be what is closing the stream.
        QSslSocket* socket = std::exchange(d->socket, nullptr);
        socket->disconnect(&d->context);
        socket->abort();
        socket->deleteLater();
    }
    d->connected = false;
    d->encrypting = false;
    d->readingPaused = false;
    d->readablePosted = false;
    d->unwritten.clear();
    d->refusal.clear();
}
