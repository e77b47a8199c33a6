#include "QuellinLinux/Daemon.h"

#include "QuellinEdges/IdleSpin.h"
#include "QuellinEdges/Namespaces.h"
#include "quellin_engine/Engine.h"
#include "quellin_rte/PacketLayer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quellin::os {

namespace {
uint32_t seed_from_clock() {
    return static_cast<uint32_t>(monotonic_us() ^ (static_cast<uint64_t>(::getpid()) << 16));
}
// Frame buffers hold the largest frame of any lower interface there at start-up: its MTU
// and a link header with a VLAN tag (22 bytes).
constexpr uint32_t kLinkHeaderRoom = 22;
uint32_t frame_capacity(const std::vector<edges::Binding>& bindings) {
    uint32_t capacity = RteConfig{}.frameCapacity;
    for (const auto& b : bindings)
        if (auto link = edges::query_link(b.lower))
            capacity = std::max<uint32_t>(capacity, link->mtu + kLinkHeaderRoom);
    return capacity;
}

// True when a daemon answers on the control socket at `path`.
bool device_served(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool live = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return live;
}

// Processors the daemon may run on.
unsigned available_processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return static_cast<unsigned>(CPU_COUNT(&set));
}
// The scheduling priority (nice value) of the data path's threads.
constexpr int kDataPathNice = -10;
// The ports' own threads take their system calls off the engine's thread only where
// processors are free for them beside it.
constexpr unsigned kProcessorsForPortThreads = 3;

// The first interface a binding needs that is not there.
std::optional<std::string> missing_interface(const edges::Binding& b) {
    if (!edges::query_link(b.lower))
        return b.lower;
    if (b.kind == edges::StationKind::Interface && !edges::query_link(b.station))
        return b.station;
    return std::nullopt;
}

// Why an interface is not there, and what brings it: another daemon may hold it.
std::string missing_interface_text(const std::string& name) {
    if (const auto held = edges::holding_namespace(name))
        return name + " is held by the daemon with process id " + std::to_string(held->pid) +
               " (in its network namespace " + held->name +
               "): stop that daemon first; with --wait this one takes " + name +
               " when that one gives it back";
    return "there is no interface " + name + " (--wait waits for it to appear)";
}
} // namespace

bool LoopFdWatch::watch(int fd, std::function<void()> ready) {
    return m_loop.watch(fd, EPOLLIN, [r = std::move(ready)](uint32_t) { r(); });
}

void LoopFdWatch::unwatch(int fd) {
    m_loop.unwatch(fd);
}

Daemon::Daemon(DaemonOptions options, DriverConfiguration config,
               std::vector<edges::Binding> bindings, edges::LogSink log)
    : m_options(std::move(options)), m_config(config), m_bindings(std::move(bindings)),
      m_log(log ? std::move(log) : edges::stderr_log()), m_edges(m_fdWatch, m_records, m_log),
      m_binding(m_log) {
    // The timers fire after the edges' batches of a wake-up, and what they sent leaves
    // with those batches' frames at its end.
    m_loop.run_last(m_timers.fd());
    m_loop.after_each_wake([this] { m_edges.flush(); });
    // A handler serves one batch (of frames, of due timers, of a control request): the
    // engine's clock is read once for it.
    m_loop.around_each_dispatch([this] { m_clock.hold(); }, [this] { m_clock.release(); });
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
    // The engine's thread, and the ports' threads made from it, before ordinary work: a
    // machine busy with other things holds a packet for less than a time slice.
    if (::setpriority(PRIO_PROCESS, 0, kDataPathNice) != 0)
        m_log(edges::kLogInfo,
              std::string("the data path runs at ordinary priority: ") + std::strerror(errno));
    if (device_served(m_options.device)) {
        error = "another daemon serves the control device " + m_options.device;
        return false;
    }
    edges::give_back_leftovers(m_records, m_log);
    if (m_options.foreground && !m_options.wait)
        for (const auto& b : m_bindings)
            if (auto name = missing_interface(b)) {
                error = edges::format_binding(b) + ": " + missing_interface_text(*name);
                return false;
            }

    // Configuration, then the context reset: pools, the engine's context, the adapter.
    RteConfig rte;
    rte.packetPoolSize = m_config.packetPoolSize;
    rte.frameCapacity = frame_capacity(m_bindings);
    if (!rte_init(rte, RteSeams{&m_clock, m_random.get(), &m_timers, &m_sink})) {
        error = "cannot set up the packet layer";
        return false;
    }
    if (!du_init(&m_models, &m_binding.device())) {
        rte_shutdown();
        error = "cannot set up the engine";
        return false;
    }
    if (m_options.testAdapter) {
        m_adapter = rte_bind_adapter(kTestAdapter);
        m_sink.set_test_adapter(rte_adapter_number(m_adapter));
    }
    m_edges.limit_station_mtu(rte.frameCapacity - kLinkHeaderRoom);
    if (const unsigned cpus = available_processors(); cpus < kProcessorsForPortThreads) {
        m_edges.use_io_threads(false);
        m_log(edges::kLogInfo,
              std::to_string(cpus) + " processor(s): the engine's thread reads and sends itself");
    }
    if (!m_edges.start(m_bindings)) {
        du_shutdown();
        rte_shutdown();
        m_adapter = nullptr;
        error = "cannot follow the network interfaces";
        return false;
    }
    m_binding.device().set_receive_free_source([this] { return m_edges.last_receive_free(); });

    // The control device last: requests only arrive once everything behind it is ready.
    if (!m_server.listen(m_options.device, &error)) {
        m_edges.stop();
        du_shutdown();
        rte_shutdown();
        m_adapter = nullptr;
        return false;
    }
    m_binding.attach(&m_server);
    m_reports.start(1000, &Daemon::on_report, this);
    m_running = true;
    return true;
}

void Daemon::on_report(void* self) {
    static_cast<Daemon*>(self)->m_edges.report_losses();
}

void Daemon::run() {
    // While frames come close together the loop polls rather than sleeps: waking a sleeping
    // thread for every frame of a paced flow costs more than the frame, and on a busy or
    // virtual machine the wake-up may come late. It polls as long as the ports' threads
    // look for work (edges::IdleSpin): longer when it was woken soon after it slept.
    uint64_t pollNs = edges::IdleSpin::kSpinNs;
    uint64_t lastEvent = 0;
    while (m_running && !m_loop.stopped()) {
        const uint64_t now = monotonic_us();
        if ((now - lastEvent) * 1000 < pollNs) {
            if (m_loop.run_once(0) > 0)
                lastEvent = monotonic_us();
            continue;
        }
        if (m_loop.run_once(-1) > 0) {
            lastEvent = monotonic_us();
            pollNs = edges::IdleSpin::next_spin(pollNs, (lastEvent - now) * 1000);
        }
    }
    shutdown();
}

void Daemon::request_stop() {
    m_loop.stop();
}

void Daemon::shutdown() {
    if (!m_running)
        return;
    m_running = false;
    m_reports.stop();
    m_binding.device().shutdown();
    m_server.close(); // pending requests are discarded, the socket removed
    m_binding.attach(nullptr);
    m_edges.stop(); // after the queued packets went out
    du_shutdown();
    rte_shutdown();
    m_adapter = nullptr;
}

} // namespace quellin::os
