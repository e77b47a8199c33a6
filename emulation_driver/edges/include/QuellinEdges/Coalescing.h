// Consecutive TCP segments of one flow bound for a station behind a TAP with offloads,
// joined into one super-frame as a receiving card's coalescing would and handed over with
// an offload header, so that the station's stack takes a run of wire packets in one piece.
// Only segments whose checksums verify are joined: one the emulation corrupted goes on
// alone and unchanged, for the station to refuse.
#pragma once

#include "QuellinEdges/Segmentation.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace quellin::edges {

class Coalescer {
public:
    // Writes one frame with its header; `segments` wire packets went into it.
    using Writer = std::function<void(const VnetHeader&, const uint8_t* frame, size_t length,
                                      size_t segments)>;

    // Joins the frame to the run held, or writes the run and starts a new one, or (a frame
    // that cannot be joined) writes the run and then the frame itself.
    void add(const uint8_t* frame, size_t length, const Writer& write);
    // Writes what is held.
    void flush(const Writer& write);
    size_t held() const { return m_segments; }

    // The largest super-frame made, by its IP length.
    static constexpr size_t kMaxIpLength = 65535;

private:
    bool joins(const uint8_t* frame, const IpLayout& l, size_t headers, size_t payload) const;

    std::vector<uint8_t> m_frame; // the run: the first segment's headers, every payload
    IpLayout m_layout;
    size_t m_headers = 0;
    size_t m_segmentSize = 0; // the first segment's payload
    size_t m_segments = 0;
    uint32_t m_nextSequence = 0;
    uint16_t m_lastId = 0;
    bool m_closed = false; // a short or pushed segment ended the run
};

} // namespace quellin::edges
