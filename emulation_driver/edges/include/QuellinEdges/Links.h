// Linux interfaces as the edges see them: their state from rtnetlink, a monitor of link
// changes, and the few settings the edges change on an interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quellin::edges {

struct LinkState {
    int index = 0;
    std::string name;
    bool adminUp = false; // IFF_UP
    bool carrier = false; // IFF_LOWER_UP
    uint32_t mtu = 0;
    bool hasMac = false;
    std::array<uint8_t, 6> mac{};
    uint32_t flags = 0; // every IFF_ flag
    int master = 0;     // the bridge or bond it is a port of; 0 when none
    bool loopback = false;
    uint64_t txDropped = 0; // frames the kernel dropped on their way out of it
};

struct LinkEvent {
    bool removed = false; // RTM_DELLINK
    LinkState link;
};

// The link messages (RTM_NEWLINK, RTM_DELLINK) of a buffer of rtnetlink messages; every
// read is bounded by `length`, other messages are skipped.
std::vector<LinkEvent> parse_link_messages(const uint8_t* data, size_t length);

// The state of one interface of the calling thread's network namespace, asked over
// rtnetlink; nullopt when there is none of that name.
std::optional<LinkState> query_link(const std::string& name);

// Changes of links, from a non-blocking rtnetlink socket joined to the link group (and,
// when asked, to the address groups) of the calling thread's network namespace.
class LinkMonitor {
public:
    // Throws std::system_error when the socket cannot be made.
    explicit LinkMonitor(bool addresses = false);
    ~LinkMonitor();
    LinkMonitor(const LinkMonitor&) = delete;
    LinkMonitor& operator=(const LinkMonitor&) = delete;

    int fd() const { return m_fd; }
    // Everything that waits. `overrun` is set when the kernel dropped messages for want of
    // buffer: the caller must then ask for the state of the links it follows. The indexes of
    // interfaces whose addresses changed go to `addressChanges`.
    std::vector<LinkEvent> drain(bool& overrun, std::vector<int>* addressChanges = nullptr);

private:
    int m_fd = -1;
};

// Moves link `index` of the calling thread's namespace into the namespace open as
// `netnsFd`; 0, or a negative errno.
int move_link(int index, int netnsFd);

// Settings through an ioctl on the interface's name; false with errno on failure.
bool set_link_mtu(const std::string& name, uint32_t mtu);
bool set_link_up(const std::string& name, bool up);
bool set_link_queue_length(const std::string& name, uint32_t frames);
// Switches receive coalescing (GRO and LRO) off, so a packet socket on the interface sees
// frames as they were on the wire; true when both are off or not supported.
bool disable_receive_coalescing(const std::string& name);

// The offload features an interface was asked for (the requested words of
// ETHTOOL_GFEATURES); nullopt when it has none to tell.
std::optional<std::vector<uint32_t>> read_features(const std::string& name);
// Asks for those features again, for every feature that can change; true when the
// interface took them or nothing differed.
bool restore_features(const std::string& name, const std::vector<uint32_t>& requested);

} // namespace quellin::edges
