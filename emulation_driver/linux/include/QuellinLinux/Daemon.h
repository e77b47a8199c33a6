// The daemon: the engine on its thread's event loop, the Linux seams under the packet
// layer, the edges that bind the adapters, and the control device on its socket. With
// DaemonOptions::testAdapter it also binds an adapter "test0" without devices, whose frames
// are counted and dropped (for tests that feed the engine directly).
#pragma once

#include "ControlSocket/ControlServer.h"
#include "QuellinEdges/Edges.h"
#include "QuellinLinux/Clocks.h"
#include "QuellinLinux/ControlBinding.h"
#include "QuellinLinux/DaemonOptions.h"
#include "QuellinLinux/EventLoop.h"
#include "QuellinLinux/OneShotTimers.h"
#include "QuellinLinux/PeriodicTimer.h"
#include "quellin_models/EngineHooks.h"
#include "quellin_rte/Configuration.h"

#include "platform/Registry.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

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

// The edges' view of the event loop: level-triggered readability.
class LoopFdWatch final : public edges::FdWatch {
public:
    explicit LoopFdWatch(EventLoop& loop) : m_loop(loop) {}
    bool watch(int fd, std::function<void()> ready) override;
    void unwatch(int fd) override;

private:
    EventLoop& m_loop;
};

// The packet layer's sink: the test adapter's frames to the test edge, the rest to the
// edges.
class SinkSwitch final : public rte::TransmitSink {
public:
    SinkSwitch(rte::TransmitSink& edges, TestEdge& test) : m_edges(edges), m_test(test) {}
    void set_test_adapter(uint16_t number) { m_testNumber = number; }
    void transmit(uint16_t adapter, int direction, const uint8_t* frame, size_t length) override {
        if (m_testNumber != 0 && adapter == m_testNumber)
            m_test.transmit(adapter, direction, frame, length);
        else
            m_edges.transmit(adapter, direction, frame, length);
    }

private:
    rte::TransmitSink& m_edges;
    TestEdge& m_test;
    uint16_t m_testNumber = 0;
};

class Daemon {
public:
    static constexpr const char* kTestAdapter = "test0";

    explicit Daemon(DaemonOptions options, DriverConfiguration config = {},
                    std::vector<edges::Binding> bindings = {}, edges::LogSink log = {});
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Start-up in the driver's order: configuration, context reset, the adapters' bindings,
    // control device. Before any interface is touched: no other daemon may serve the
    // control device, and what a daemon that ended without giving back left is given back.
    // In the foreground (without DaemonOptions::wait) a binding whose interfaces are missing
    // fails the start.
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
    edges::Edges& edges() { return m_edges; }
    RteAdapter* adapter() const { return m_adapter; }
    uint32_t seed() const { return m_seed; }
    // Packets lost for want of descriptors since start (the edges' count).
    uint64_t packets_lost() const { return m_edges.packets_lost(); }

private:
    static void on_report(void* self);

    DaemonOptions m_options;
    DriverConfiguration m_config;
    uint32_t m_seed = 1;
    EventLoop m_loop;
    EngineClock m_clock;
    OneShotTimers m_timers{m_loop, &m_clock};
    std::unique_ptr<rte::SeededRandom> m_random;
    TestEdge m_edge;
    models::ModelHooks m_models;
    std::vector<edges::Binding> m_bindings;
    edges::LogSink m_log;
    platform::registry::Registry m_registry;
    edges::RestoreRecords m_records{m_registry};
    LoopFdWatch m_fdWatch{m_loop};
    edges::Edges m_edges;
    SinkSwitch m_sink{m_edges, m_edge};
    PeriodicTimer m_reports{m_loop};
    ControlBinding m_binding;
    ctlsock::ControlServer m_server{m_loop, m_binding};
    RteAdapter* m_adapter = nullptr;
    bool m_running = false;
};

} // namespace quellin::os
