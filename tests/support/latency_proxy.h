// A TCP proxy on 127.0.0.1 that holds every chunk for a delay in each
// direction before passing it on: a distant server for tests and
// benchmarks, where the kernel's traffic shaping is not available. A round
// trip through it costs twice the delay; the link itself stays as fast as
// loopback.
//
//   LatencyProxy proxy("127.0.0.1", 119, std::chrono::milliseconds(25));
//   control.Connect(proxy.Host(), proxy.Port()); // 50 ms round trip
#pragma once

#include <chrono>
#include <memory>
#include <string>

class LatencyProxy {
public:
    LatencyProxy(const std::string& upstreamHost, int upstreamPort,
                 std::chrono::milliseconds oneWayDelay);
    ~LatencyProxy();
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    std::string Host() const { return "127.0.0.1"; }
    // 0 when it could not listen.
    int Port() const;
    // Connections accepted so far.
    int Connections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
