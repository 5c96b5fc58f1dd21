// A connection that starts in clear text and can be encrypted with TLS
// (StartEncryption): at once for implicit TLS, after STARTTLS (RFC 4642)
// otherwise. Built on QSslSocket, which uses the system's OpenSSL and its
// trusted certificates.
//
// ZANDREL_TEST_CA_FILE, when set, names a PEM file of further CA
// certificates to trust, so tests can run a server with a throwaway CA
// without turning verification off.
#pragma once

#include "byte_stream.h"

#include <memory>

class QObject;

class TlsStream final : public ByteStream {
public:
    explicit TlsStream(QObject* parent);
    ~TlsStream() override;

    // False when the TLS library cannot be loaded; StartEncryption then
    // refuses.
    static bool Available();

    void ConnectTo(const QHostAddress& address, std::uint16_t port) override;
    bool Connected() const override;
    bool Open() const override;
    ReceiveResult Receive(std::string& into, std::string& why) override;
    void PauseReading(bool paused) override;
    void Send(const char* data, std::size_t size) override;
    void SendQueued(const char* data, std::size_t size) override;
    // Sets TCP_QUICKACK. The socket reads whole TLS records on its own, so
    // this is also done after every command and every read.
    void AcknowledgeAtOnce() override;
    bool StartEncryption(const std::string& peerName,
                         const std::string& acceptedFingerprint) override;
    std::string PeerCertificateFingerprint() const override;
    void Close() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A SHA-256 digest as the program shows and stores it: upper-case hex pairs
// joined by colons.
std::string FormatFingerprint(const std::string& digest);
// The 64 hex digits of a fingerprint as given (colons, spaces and case
// aside), upper-case; empty when the text is not one.
std::string FingerprintDigits(const std::string& text);
