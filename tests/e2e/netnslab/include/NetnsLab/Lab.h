// A three-namespace lab for network tests:
//
//   station [st0] ==veth== [ws0] wire [wn0] ==veth== [nw0] network
//
// The wire namespace either bridges ws0 and wn0 with a kernel bridge (the path
// without the emulator) or is left to a hook that puts the emulator there. With
// StationLink::External there is no station veth: the hook makes the station's
// interface (a TAP moved into the station namespace) and calls attach_station().
// Namespace names carry the process id; everything is removed by the destructor.
#pragma once

#include "NetnsLab/Process.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace netnslab {

// Addresses of the lab, from the benchmarking ranges only.
inline constexpr const char* kStationV4 = "198.18.0.1";
inline constexpr const char* kNetworkV4 = "198.18.0.2";
inline constexpr int kPrefixV4 = 24;
inline constexpr const char* kStationV6 = "2001:2::1";
inline constexpr const char* kNetworkV6 = "2001:2::2";
inline constexpr int kPrefixV6 = 64;

// Interface names (each inside its own namespace).
inline constexpr const char* kStationIf = "st0";
inline constexpr const char* kWireStationIf = "ws0";
inline constexpr const char* kWireNetworkIf = "wn0";
inline constexpr const char* kNetworkIf = "nw0";
inline constexpr const char* kBridgeIf = "br0";

class Lab;

enum class WirePath {
    Bridge, // kernel bridge of ws0 and wn0: the baseline
    Hook,   // LabOptions::start_wire fills the wire namespace
};

enum class StationLink {
    Veth,     // st0, peer of ws0
    External, // made by the hook, then attach_station()
};

struct LabOptions {
    WirePath wire = WirePath::Bridge;
    StationLink station = StationLink::Veth;
    // Called once the namespaces and veths exist, for WirePath::Hook. Processes
    // it starts with Lab::spawn end before the namespaces go.
    std::function<void(Lab&)> start_wire;
    // Tells several labs of one process apart (at most 4 characters).
    std::string tag;
};

class Lab {
public:
    // Why a lab cannot be made here (not root, no /dev/net/tun, no `ip`, no
    // permission to make namespaces), or nothing when it can.
    static std::optional<std::string> unavailable_reason();
    // Removes namespaces left by lab processes that no longer run; returns how many.
    static int sweep_stale();
    // Names of the namespaces a lab of this process with `tag` uses.
    static std::string namespace_name(const std::string& role, const std::string& tag = "");

    // Options for a lab whose wire namespace runs `argv` (the emulator) in
    // place of the bridge, its output appended to `log_path` ("" for none).
    // With `station_tap` the command makes that TAP and moves it into the
    // station namespace (namespace_name("st", tag)) with its final MAC address;
    // the lab waits for it and attaches it (static IPv6 neighbours take that
    // address), and fails with the log's text should the command end first.
    static LabOptions wire_command(std::vector<std::string> argv, std::string station_tap = "",
                                   std::string log_path = "", std::string tag = "",
                                   Millis timeout = Millis(10000));

    explicit Lab(LabOptions options = {}); // throws std::runtime_error, leaving nothing behind
    ~Lab();
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    const std::string& station() const { return m_station; }
    const std::string& wire() const { return m_wire; }
    const std::string& network() const { return m_network; }
    std::vector<std::string> namespaces() const { return {m_station, m_wire, m_network}; }
    // The station's interface ("" until attached when StationLink::External).
    const std::string& station_if() const { return m_stationIf; }

    // Starts a process in a namespace; the lab stops it (in reverse order of
    // starting) before it removes the namespaces.
    // With `log_path`, its output goes to that file (see Process::start).
    Process& spawn(const std::string& netns, const std::vector<std::string>& argv,
                   const std::string& log_path = "");
    // Runs a command to its end; throws with its stderr when it fails.
    std::string run(const std::string& netns, const std::vector<std::string>& argv,
                    Millis timeout = Millis(10000));

    // Waits for `ifname` to appear in the station namespace, then gives it the
    // station's addresses and static IPv6 neighbours and brings it up. The same interface
    // may be attached again once an emulator restarted under the lab made it anew.
    void attach_station(const std::string& ifname, Millis timeout = Millis(5000));
    // Another address on an interface, e.g. a second host in the network namespace.
    void add_address(const std::string& netns, const std::string& ifname, const std::string& cidr);

    // Stops the processes and removes the namespaces; the destructor calls it.
    // Returns false when something could not be removed.
    bool teardown();

private:
    void build();
    void configure_endpoint(const std::string& netns, const std::string& ifname,
                            const std::string& v4, const std::string& v6);
    void set_neighbours();

    LabOptions m_options;
    std::string m_station;
    std::string m_wire;
    std::string m_network;
    std::string m_stationIf;
    std::vector<std::string> m_made; // namespaces this lab created
    std::vector<std::unique_ptr<Process>> m_processes;
};

} // namespace netnslab
