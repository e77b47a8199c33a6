#include "QuellinLinux/Daemon.h"

#include "quellin_engine/Engine.h"
#include "quellin_rte/PacketLayer.h"

#include <unistd.h>

namespace quellin::os {

namespace {
uint32_t seed_from_clock() {
    return static_cast<uint32_t>(monotonic_us() ^ (static_cast<uint64_t>(::getpid()) << 16));
}
} // namespace

Daemon::Daemon(DaemonOptions options, DriverConfiguration config)
    : m_options(std::move(options)), m_config(config) {
    m_seed = m_options.seed ? *m_options.seed : seed_from_clock();
    m_random = std::make_unique<rte::SeededRandom>(m_seed);
}

Daemon::~Daemon() {
    shutdown();
}

bool Daemon::start(std::string& error) {
    if (m_running) {
        error = "already started";
        return false;
    }
    set_fine_timer_slack();

    // Configuration, then the context reset: pools, the engine's context, the adapter.
    RteConfig rte;
    rte.packetPoolSize = m_config.packetPoolSize;
    if (!rte_init(rte, RteSeams{&m_clock, m_random.get(), &m_timers, &m_edge})) {
        error = "cannot set up the packet layer";
        return false;
    }
    if (!du_init(nullptr, &m_binding.device())) {
        rte_shutdown();
        error = "cannot set up the engine";
        return false;
    }
    m_adapter = rte_bind_adapter(kTestAdapter);

    // The control device last: requests only arrive once everything behind it is ready.
    if (!m_server.listen(m_options.device, &error)) {
        du_shutdown();
        rte_shutdown();
        m_adapter = nullptr;
        return false;
    }
    m_binding.attach(&m_server);
    m_running = true;
    return true;
}

void Daemon::run() {
    while (m_running && !m_loop.stopped())
        m_loop.run_once(-1);
    shutdown();
}

void Daemon::request_stop() {
    m_loop.stop();
}

void Daemon::shutdown() {
    if (!m_running)
        return;
    m_running = false;
    m_binding.device().shutdown();
    m_server.close(); // pending requests are discarded, the socket removed
    m_binding.attach(nullptr);
    du_shutdown();
    rte_shutdown();
    m_adapter = nullptr;
}

} // namespace quellin::os
