// A non-blocking TCP connection driven by the UI thread's event loop.
//
// The control reads one short reply after another, so what matters is the
// cost per reply: the stream reads straight from the kernel into the
// caller's buffer (no intermediate buffer, no FIONREAD per read) and sends a
// command with one system call when nothing is queued before it.
//
// Every callback is raised from the event loop, never from inside a call the
// owner made, so the owner may close the stream or send from any callback.
#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QHostAddress;
class QSocketNotifier;

class TcpStream {
public:
    explicit TcpStream(QObject* parent);
    ~TcpStream();
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // The connection is made: reading may begin.
    std::function<void()> OnConnected;
    // Data, the end of the stream or an error waits: call Receive.
    std::function<void()> OnReadable;
    // Queued bytes went to the kernel.
    std::function<void(std::size_t count)> OnWritten;
    // Connecting failed, or the connection broke while sending.
    std::function<void(const std::string& why)> OnFailed;

    // Starts connecting; OnConnected or OnFailed follows.
    void ConnectTo(const QHostAddress& address, std::uint16_t port);
    bool Connected() const;
    bool Open() const; // connecting or connected

    // A read that takes a whole chunk probably left more in the kernel.
    static constexpr std::size_t ReceiveChunk = 64 * 1024;
    enum class ReceiveResult { Data, NothingYet, Closed, Failed };
    // Appends what the kernel holds, up to a chunk, to `into`. On Closed and
    // Failed the stream is closed and `why` says why.
    ReceiveResult Receive(std::string& into, std::string& why);
    // Stops and resumes OnReadable, for a reader that cannot take more yet.
    void PauseReading(bool paused);

    // Sends at once what the kernel takes and queues the rest.
    void Send(const char* data, std::size_t size);
    // Queues everything and reports it through OnWritten as it leaves.
    void SendQueued(const char* data, std::size_t size);

    // Asks the kernel to acknowledge received data at once (Linux drops back
    // to delayed ACKs on its own, so this holds until the next exchange).
    void AcknowledgeAtOnce();

    // Closes at once; queued bytes are dropped. No callback follows.
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
