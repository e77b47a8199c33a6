// What a receiver makes of the probes it got: counts, order, one-way delays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace traffic {

struct Arrival {
    uint32_t sequence = 0;
    int64_t delay_ns = 0;   // receive stamp minus send stamp
    int64_t arrival_ns = 0; // CLOCK_MONOTONIC at receipt
    uint32_t size = 0;      // UDP payload bytes
    bool corrupt = false;
};

struct Summary {
    uint64_t received = 0;     // every probe, copies included
    uint64_t unique = 0;       // distinct sequence numbers
    uint64_t duplicates = 0;   // received - unique
    uint64_t out_of_order = 0; // first copies that came after a higher sequence number
    uint64_t corrupt = 0;
    uint64_t expected = 0; // the senders' announced total (largest seen)
    uint64_t lost = 0;     // expected - unique, never negative
    double loss_pct = 0;
    double delay_us_min = 0;
    double delay_us_median = 0;
    double delay_us_p99 = 0;
    double delay_us_max = 0;
    double duration_s = 0;  // first to last arrival
    double goodput_bps = 0; // payload bits over that span
    double rate_pps = 0;
};

class ReceiveStats {
public:
    // `total` is what the probe announced; `seen_limit` bounds the table of
    // sequence numbers kept for duplicate detection.
    explicit ReceiveStats(uint32_t seen_limit = 1u << 24) : m_seenLimit(seen_limit) {}

    // Returns true when this is the first copy of the sequence number.
    bool add(const Arrival& a, uint32_t total);
    Summary summary() const;
    bool complete() const { return m_expected > 0 && m_unique >= m_expected; }
    uint64_t received() const { return m_received; }

private:
    uint32_t m_seenLimit;
    std::vector<bool> m_seen;
    std::vector<int64_t> m_delays;
    uint64_t m_received = 0;
    uint64_t m_unique = 0;
    uint64_t m_outOfOrder = 0;
    uint64_t m_corrupt = 0;
    uint64_t m_expected = 0;
    uint64_t m_bytes = 0;
    int64_t m_first = 0;
    int64_t m_last = 0;
    int64_t m_highest = -1;
};

// Nearest-rank percentile (0..100) of unsorted values; 0 for none.
double percentile(std::vector<int64_t> values, double pct);

// "key=value" fields of a summary, in a stable order, for one report line.
std::string format_summary(const Summary& s);

} // namespace traffic
