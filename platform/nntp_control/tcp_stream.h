// A non-blocking TCP connection driven by the UI thread's event loop.
//
// The control reads one short reply after another, so what matters is the
// cost per reply: the stream reads straight from the kernel into the
// caller's buffer (no intermediate buffer, no FIONREAD per read) and sends a
// command with one system call when nothing is queued before it.
#pragma once

#include "byte_stream.h"

#include <memory>

class QObject;

class TcpStream final : public ByteStream {
public:
    explicit TcpStream(QObject* parent);
    ~TcpStream() override;

    void ConnectTo(const QHostAddress& address, std::uint16_t port) override;
    bool Connected() const override;
    bool Open() const override;
    ReceiveResult Receive(std::string& into, std::string& why) override;
    void PauseReading(bool paused) override;
    void Send(const char* data, std::size_t size) override;
    void SendQueued(const char* data, std::size_t size) override;
    // Sets TCP_QUICKACK (Linux drops back to delayed ACKs on its own, so
    // this holds until the next exchange).
    void AcknowledgeAtOnce() override;
    void Close() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
