#include "NetnsLab/Lab.h"

#include "NetnsLab/Netns.h"
#include "NetnsLab/Offloads.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace netnslab {

namespace {

constexpr const char* kPrefix = "altlab-";

// Fixed, locally administered addresses, so that captures read the same every run.
constexpr const char* kStationMac = "02:a1:70:00:00:01";
constexpr const char* kWireStationMac = "02:a1:70:00:01:01";
constexpr const char* kWireNetworkMac = "02:a1:70:00:01:02";
constexpr const char* kNetworkMac = "02:a1:70:00:00:02";

bool can_make_netns() {
    pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0)
        _exit(::unshare(CLONE_NEWNET) == 0 ? 0 : 1);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool process_alive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

std::optional<std::string> Lab::unavailable_reason() {
    if (::geteuid() != 0)
        return "network namespace tests need root (running as uid " + std::to_string(::geteuid()) +
               ")";
    struct stat st {};
    if (::stat("/dev/net/tun", &st) != 0 || !S_ISCHR(st.st_mode))
        return std::string("network namespace tests need /dev/net/tun, which is missing");
    int tun = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (tun < 0)
        return std::string("network namespace tests cannot open /dev/net/tun: ") + strerror(errno);
    ::close(tun);
    try {
        if (!netnslab::run("", {"ip", "-V"}, Millis(5000)).ok())
            return std::string("network namespace tests need iproute2 (ip), which fails here");
    } catch (const std::exception& e) {
        return std::string("network namespace tests need iproute2 (ip): ") + e.what();
    }
    if (!can_make_netns())
        return std::string("network namespace tests cannot make a network namespace here");
    // Named namespaces need /run/netns to be writable and mountable as well.
    std::string probe = namespace_name("probe");
    RunResult made = netnslab::run("", {"ip", "netns", "add", probe}, Millis(5000));
    if (netns_exists(probe))
        delete_netns(probe);
    if (!made.ok())
        return "network namespace tests cannot make a named namespace here: " + made.err;
    return std::nullopt;
}

std::string Lab::namespace_name(const std::string& role, const std::string& tag) {
    return kPrefix + tag + role + "-" + std::to_string(::getpid());
}

int Lab::sweep_stale() {
    int removed = 0;
    for (const auto& name : list_netns()) {
        if (name.rfind(kPrefix, 0) != 0)
            continue;
        auto dash = name.rfind('-');
        std::string digits = name.substr(dash + 1);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
            digits.size() > 9)
            continue;
        pid_t owner = static_cast<pid_t>(std::stol(digits));
        if (owner == ::getpid() || process_alive(owner))
            continue;
        if (delete_netns(name))
            ++removed;
    }
    return removed;
}

LabOptions Lab::wire_command(std::vector<std::string> argv, std::string station_tap,
                             std::string log_path, std::string tag, Millis timeout) {
    LabOptions o;
    o.tag = std::move(tag);
    o.wire = WirePath::Hook;
    if (!station_tap.empty())
        o.station = StationLink::External;
    o.start_wire = [argv = std::move(argv), tap = std::move(station_tap), log = std::move(log_path),
                    timeout](Lab& lab) {
        Process& daemon = lab.spawn(lab.wire(), argv, log.empty() ? "/dev/null" : log);
        if (tap.empty())
            return;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!link_exists(lab.station(), tap)) {
            if (!daemon.running() || std::chrono::steady_clock::now() >= deadline) {
                std::string why = daemon.running() ? "did not make " + tap + " in time"
                                                   : "ended before it made " + tap;
                std::string text;
                if (!log.empty()) {
                    std::ifstream in(log);
                    std::ostringstream all;
                    all << in.rdbuf();
                    text = all.str();
                }
                throw std::runtime_error("the wire command " + argv.front() + " " + why +
                                         (text.empty() ? "" : "; its output:\n" + text));
            }
            std::this_thread::sleep_for(Millis(10));
        }
        lab.attach_station(tap, Millis(1000));
    };
    return o;
}

Lab::Lab(LabOptions options) : m_options(std::move(options)) {
    if (m_options.tag.size() > 4)
        throw std::runtime_error("lab tag longer than 4 characters: " + m_options.tag);
    if (m_options.wire == WirePath::Hook && !m_options.start_wire)
        throw std::runtime_error("WirePath::Hook without a start_wire hook");
    if (m_options.station == StationLink::External && m_options.wire != WirePath::Hook)
        throw std::runtime_error("an external station link needs a wire hook to make it");
    m_station = namespace_name("st", m_options.tag);
    m_wire = namespace_name("wi", m_options.tag);
    m_network = namespace_name("nw", m_options.tag);
    try {
        build();
    } catch (...) {
        teardown();
        throw;
    }
}

Lab::~Lab() {
    teardown();
}

void Lab::build() {
    sweep_stale();
    for (const auto& ns : namespaces()) {
        if (netns_exists(ns))
            throw std::runtime_error("namespace " + ns + " exists already");
        add_netns(ns);
        m_made.push_back(ns);
        run(ns, {"ip", "link", "set", "lo", "up"});
    }
    // The wire carries frames only; the end hosts answer at once, without
    // duplicate address detection or router solicitations.
    write_sysctl(m_wire, "net/ipv6/conf/all/disable_ipv6", "1");
    write_sysctl(m_wire, "net/ipv6/conf/default/disable_ipv6", "1");
    for (const auto& ns : {m_station, m_network}) {
        write_sysctl(ns, "net/ipv6/conf/default/accept_dad", "0");
        write_sysctl(ns, "net/ipv6/conf/default/router_solicitations", "0");
    }

    run(m_wire, {"ip", "link", "add", kWireNetworkIf, "address", kWireNetworkMac, "type", "veth",
                 "peer", "name", kNetworkIf, "address", kNetworkMac, "netns", m_network});
    if (m_options.station == StationLink::Veth)
        run(m_wire,
            {"ip", "link", "add", kWireStationIf, "address", kWireStationMac, "type", "veth",
             "peer", "name", kStationIf, "address", kStationMac, "netns", m_station});

    // Every veth end sends in one direction or the other.
    disable_offloads(m_wire, kWireNetworkIf);
    disable_offloads(m_network, kNetworkIf);
    if (m_options.station == StationLink::Veth) {
        disable_offloads(m_wire, kWireStationIf);
        disable_offloads(m_station, kStationIf);
    }

    if (m_options.wire == WirePath::Bridge) {
        run(m_wire, {"ip", "link", "add", kBridgeIf, "type", "bridge", "stp_state", "0",
                     "forward_delay", "0", "mcast_snooping", "0"});
        run(m_wire, {"ip", "link", "set", kWireStationIf, "master", kBridgeIf});
        run(m_wire, {"ip", "link", "set", kWireNetworkIf, "master", kBridgeIf});
        run(m_wire, {"ip", "link", "set", kBridgeIf, "up"});
    }
    run(m_wire, {"ip", "link", "set", kWireNetworkIf, "up"});
    if (m_options.station == StationLink::Veth)
        run(m_wire, {"ip", "link", "set", kWireStationIf, "up"});

    configure_endpoint(m_network, kNetworkIf, kNetworkV4, kNetworkV6);
    if (m_options.station == StationLink::Veth) {
        m_stationIf = kStationIf;
        configure_endpoint(m_station, kStationIf, kStationV4, kStationV6);
        set_neighbours();
    }
    if (m_options.wire == WirePath::Hook)
        m_options.start_wire(*this);
}

void Lab::configure_endpoint(const std::string& netns, const std::string& ifname,
                             const std::string& v4, const std::string& v6) {
    run(netns, {"ip", "addr", "add", v4 + "/" + std::to_string(kPrefixV4), "dev", ifname});
    run(netns,
        {"ip", "-6", "addr", "add", v6 + "/" + std::to_string(kPrefixV6), "dev", ifname, "nodad"});
    run(netns, {"ip", "link", "set", ifname, "up"});
}

void Lab::set_neighbours() {
    run(m_station, {"ip", "-6", "neigh", "replace", kNetworkV6, "lladdr",
                    mac_address(m_network, kNetworkIf), "dev", m_stationIf, "nud", "permanent"});
    run(m_network, {"ip", "-6", "neigh", "replace", kStationV6, "lladdr",
                    mac_address(m_station, m_stationIf), "dev", kNetworkIf, "nud", "permanent"});
}

void Lab::attach_station(const std::string& ifname, Millis timeout) {
    // The same interface again is one a restarted emulator made anew.
    if (!m_stationIf.empty() && m_stationIf != ifname)
        throw std::runtime_error("the station has its interface already: " + m_stationIf);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!link_exists(m_station, ifname)) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("interface " + ifname + " did not appear in " + m_station);
        std::this_thread::sleep_for(Millis(10));
    }
    m_stationIf = ifname;
    configure_endpoint(m_station, ifname, kStationV4, kStationV6);
    set_neighbours();
}

void Lab::add_address(const std::string& netns, const std::string& ifname,
                      const std::string& cidr) {
    std::vector<std::string> cmd{"ip", "addr", "add", cidr, "dev", ifname};
    if (cidr.find(':') != std::string::npos)
        cmd.push_back("nodad");
    run(netns, cmd);
}

Process& Lab::spawn(const std::string& netns, const std::vector<std::string>& argv,
                    const std::string& log_path) {
    m_processes.push_back(std::make_unique<Process>(Process::start(netns, argv, log_path)));
    return *m_processes.back();
}

std::string Lab::run(const std::string& netns, const std::vector<std::string>& argv,
                     Millis timeout) {
    return run_checked(netns, argv, timeout);
}

bool Lab::teardown() {
    while (!m_processes.empty()) {
        m_processes.back()->stop(Millis(2000));
        m_processes.pop_back();
    }
    bool clean = true;
    // Network first: its veth goes with it, so the wire is left with nothing
    // that points elsewhere.
    for (auto it = m_made.rbegin(); it != m_made.rend(); ++it)
        if (!delete_netns(*it) && netns_exists(*it))
            clean = false;
    m_made.clear();
    return clean;
}

} // namespace netnslab
