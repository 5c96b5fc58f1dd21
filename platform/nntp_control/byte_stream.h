// The connection under the control: bytes to and from one server, driven by
// the UI thread's event loop. TcpStream is the plain one, TlsStream the one
// that can be encrypted; tests drive their own.
//
// Every callback is raised from the event loop, never from inside a call the
// owner made, so the owner may close the stream or send from any callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QHostAddress;

class ByteStream {
public:
    ByteStream() = default;
    virtual ~ByteStream() = default;
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    // The connection is made: reading may begin.
    std::function<void()> OnConnected;
    // Data, the end of the stream or an error waits: call Receive.
    std::function<void()> OnReadable;
    // Bytes given to SendQueued have left.
    std::function<void(std::size_t count)> OnWritten;
    // Connecting failed, or the connection broke while sending.
    std::function<void(const std::string& why)> OnFailed;
    // The TLS handshake StartEncryption began is done: what follows is
    // encrypted.
    std::function<void()> OnEncrypted;
    // The handshake stopped because the server's certificate did not verify
    // and is not the accepted one; PeerCertificateFingerprint names it. The
    // stream is closed.
    std::function<void(const std::string& why)> OnCertificateRefused;

    // Starts connecting; OnConnected or OnFailed follows.
    virtual void ConnectTo(const QHostAddress& address, std::uint16_t port) = 0;
    virtual bool Connected() const = 0;
    virtual bool Open() const = 0; // connecting or connected

    // The most one Receive appends; a read that takes that much probably
    // left more behind.
    static constexpr std::size_t ReceiveChunk = 64 * 1024;
    enum class ReceiveResult { Data, NothingYet, Closed, Failed };
    // Appends what has arrived, up to a chunk, to `into`. On Closed and
    // Failed the stream is closed and `why` says why.
    virtual ReceiveResult Receive(std::string& into, std::string& why) = 0;
    // Stops and resumes OnReadable, for a reader that cannot take more yet.
    virtual void PauseReading(bool paused) = 0;

    // Sends at once what can go and queues the rest.
    virtual void Send(const char* data, std::size_t size) = 0;
    // Queues everything and reports it through OnWritten as it leaves.
    virtual void SendQueued(const char* data, std::size_t size) = 0;

    // A hint that more of a reply is due: have the peer's data acknowledged
    // without delay. Streams that cannot do that ignore it.
    virtual void AcknowledgeAtOnce() {}

    // Begins a TLS handshake on the connected stream, as a client of
    // peerName (sent as SNI; the certificate must be valid for it). A
    // certificate that does not verify is still taken when its SHA-256
    // fingerprint is acceptedFingerprint (hex; colons and case aside).
    // OnEncrypted, OnCertificateRefused or OnFailed follows. False, and no
    // callback, when the stream cannot encrypt.
    virtual bool StartEncryption(const std::string& /*peerName*/,
                                 const std::string& /*acceptedFingerprint*/) {
        return false;
    }
    // The SHA-256 fingerprint of the certificate the server last presented
    // (FormatFingerprint); empty when there was none.
    virtual std::string PeerCertificateFingerprint() const { return {}; }

    // Closes at once; queued bytes are dropped. No callback follows.
    virtual void Close() = 0;
};
