// A stream for the control whose server side the test plays: it completes
// the connect, feeds bytes in whatever pieces it likes, reads back what the
// control sent and ends the connection. One thread, no socket, no timing.
//
// Like a real stream it raises its callbacks from the event loop only, never
// inside a call of the control's, and keeps raising OnReadable while
// something waits and reading is not paused; Settle runs them.
#pragma once

#include "nntp_control/byte_stream.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QObject>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

class FakeByteStream final : public ByteStream {
public:
    // --- The control's side.
    void ConnectTo(const QHostAddress& address, std::uint16_t port) override {
        Close();
        open_ = true;
        address_ = address;
        port_ = port;
    }
    bool Connected() const override { return connected_; }
    bool Open() const override { return open_; }
    ReceiveResult Receive(std::string& into, std::string& why) override {
        if (!connected_) {
            why = "Not connected";
            return ReceiveResult::Failed;
        }
        if (read_ < incoming_.size()) {
            const std::size_t n = std::min(ReceiveChunk, incoming_.size() - read_);
            into.append(incoming_, read_, n);
            read_ += n;
            if (read_ == incoming_.size()) {
                incoming_.clear();
                read_ = 0;
            }
            return ReceiveResult::Data;
        }
        if (hungUp_) {
            why = "The server closed the connection";
            Close();
            return ReceiveResult::Closed;
        }
        return ReceiveResult::NothingYet;
    }
    void PauseReading(bool paused) override {
        paused_ = paused;
        NotifyReadable();
    }
    void Send(const char* data, std::size_t size) override {
        if (open_)
            sent_.append(data, size);
    }
    void SendQueued(const char* data, std::size_t size) override {
        if (!open_)
            return;
        sent_.append(data, size);
        Post([this, size] {
            if (OnWritten)
                OnWritten(size);
        });
    }
    // The handshake shows in what was sent as "<tls peerName>", where it
    // began among the commands.
    bool StartEncryption(const std::string& peerName,
                         const std::string& acceptedFingerprint) override {
        if (!connected_)
            return false;
        sent_ += "<tls " + peerName + ">";
        acceptedFingerprint_ = acceptedFingerprint;
        return true;
    }
    std::string PeerCertificateFingerprint() const override { return fingerprint_; }
    void Close() override {
        ++generation_; // what was posted stays unraised
        open_ = connected_ = paused_ = hungUp_ = readablePosted_ = false;
        incoming_.clear();
        read_ = 0;
    }

    // --- The server's side.
    // Where the control asked to connect; a null address until it has.
    const QHostAddress& Address() const { return address_; }
    std::uint16_t Port() const { return port_; }
    void Accept() {
        Post([this] {
            connected_ = true;
            if (OnConnected)
                OnConnected();
            NotifyReadable();
        });
    }
    void Feed(std::string_view bytes) {
        incoming_.append(bytes);
        NotifyReadable();
    }
    // The server closes its end after what it has sent.
    void HangUp() {
        hungUp_ = true;
        NotifyReadable();
    }
    // The connection breaks, as when sending fails.
    void Break(const std::string& why) {
        Close();
        Post([this, why] {
            if (OnFailed)
                OnFailed(why);
        });
    }
    // The handshake the control began completes, or stops at a certificate
    // that did not verify (the stream closes, as a real one does).
    void FinishHandshake() {
        Post([this] {
            if (OnEncrypted)
                OnEncrypted();
            NotifyReadable();
        });
    }
    void RefuseCertificate(const std::string& why, const std::string& fingerprint) {
        fingerprint_ = fingerprint;
        Close();
        Post([this, why] {
            if (OnCertificateRefused)
                OnCertificateRefused(why);
        });
    }
    const std::string& AcceptedFingerprint() const { return acceptedFingerprint_; }
    // What the control sent since the last call.
    std::string TakeSent() { return std::exchange(sent_, {}); }
    bool ReadingPaused() const { return paused_; }
    bool Unread() const { return read_ < incoming_.size(); }

    // Runs the event loop until every callback due has been raised; false
    // when they never stop coming.
    bool Settle() {
        for (int pass = 0; pending_ > 0; ++pass) {
            if (pass == 100000)
                return false;
            QCoreApplication::processEvents();
        }
        return true;
    }

private:
    template <typename F> void Post(F raise) {
        ++pending_;
        QMetaObject::invokeMethod(
            &context_,
            [this, raise = std::move(raise), current = generation_]() mutable {
                --pending_;
                if (generation_ == current)
                    raise();
            },
            Qt::QueuedConnection);
    }
    void NotifyReadable() {
        if (!connected_ || paused_ || readablePosted_ || !(Unread() || hungUp_))
            return;
        readablePosted_ = true;
        Post([this] {
            readablePosted_ = false;
            if (!connected_ || paused_ || !(Unread() || hungUp_))
                return;
            if (OnReadable)
                OnReadable();
            NotifyReadable();
        });
    }

    QObject context_; // posted callbacks die with the stream
    QHostAddress address_;
    std::uint16_t port_ = 0;
    bool open_ = false;
    bool connected_ = false;
    bool paused_ = false;
    bool hungUp_ = false;
    bool readablePosted_ = false;
    unsigned generation_ = 0;
    int pending_ = 0;
    std::string incoming_; // fed by the test; read_ bytes of it taken
    std::size_t read_ = 0;
    std::string sent_;
    std::string acceptedFingerprint_;
    std::string fingerprint_;
};
