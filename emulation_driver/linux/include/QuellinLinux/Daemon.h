// The daemon: the engine on its thread's event loop, the Linux seams under the packet
// layer, and the control device on its socket. For now one test adapter whose frames
// are counted and dropped; the real edges bind adapters of their own.
#pragma once

#include "ControlSocket/ControlServer.h"
#include "QuellinLinux/Clocks.h"
#include "QuellinLinux/ControlBinding.h"
#include "QuellinLinux/DaemonOptions.h"
#include "QuellinLinux/EventLoop.h"
#include "QuellinLinux/OneShotTimers.h"
#include "quellin_rte/Configuration.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>

namespace quellin::os {

// Counts the frames that leave, by direction, and drops them.
class TestEdge final : public rte::TransmitSink {
public:
    void transmit(uint16_t, int direction, const uint8_t*, size_t) override {
        ++m_sent[direction & 1];
    }
    uint64_t sent(int direction) const { return m_sent[direction & 1]; }

private:
    std::array<uint64_t, 2> m_sent{};
};

class Daemon {
public:
    static constexpr const char* kTestAdapter = "test0";

    explicit Daemon(DaemonOptions options, DriverConfiguration config = {});
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Start-up in the driver's order: configuration, context reset, control device.
    bool start(std::string& error);
    // Runs the engine thread's loop until a stop request, then shuts down.
    void run();
    // Any thread: ends run() after a clean shut-down.
    void request_stop();
    // On the loop thread (or before run): stops the emulation, sends on every queued
    // packet, closes the control socket and removes it, releases the engine.
    void shutdown();

    EventLoop& loop() { return m_loop; }
    ControlDevice& device() { return m_binding.device(); }
    ctlsock::ControlServer& server() { return m_server; }
    TestEdge& edge() { return m_edge; }
    RteAdapter* adapter() const { return m_adapter; }
    uint32_t seed() const { return m_seed; }

private:
    DaemonOptions m_options;
    DriverConfiguration m_config;
    uint32_t m_seed = 1;
    EventLoop m_loop;
    OneShotTimers m_timers{m_loop};
    EngineClock m_clock;
    std::unique_ptr<rte::SeededRandom> m_random;
    TestEdge m_edge;
    ControlBinding m_binding;
    ctlsock::ControlServer m_server{m_loop, m_binding};
    RteAdapter* m_adapter = nullptr;
    bool m_running = false;
};

} // namespace quellin::os
