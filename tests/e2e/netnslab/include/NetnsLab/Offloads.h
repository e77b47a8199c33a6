// Checksum and segmentation offloads of an interface, read and switched off with
// the SIOCETHTOOL ioctl. Frames that cross a user-space bridge must carry full
// checksums and be no larger than the MTU, so the veth ends that send have these off.
#pragma once

#include <string>

namespace netnslab {

struct Offloads {
    bool tx_checksum = false;
    bool scatter_gather = false;
    bool tso = false; // TCP segmentation
    bool gso = false; // generic segmentation
    bool gro = false; // generic receive
    bool any() const { return tx_checksum || scatter_gather || tso || gso || gro; }
};

Offloads read_offloads(const std::string& netns, const std::string& ifname);
// Turns every offload above off; throws std::runtime_error when one stays on.
void disable_offloads(const std::string& netns, const std::string& ifname);

} // namespace netnslab
