#include "Traffic/Stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace traffic {

bool ReceiveStats::add(const Arrival& a, uint32_t total) {
    ++m_received;
    if (m_received == 1)
        m_first = a.arrival_ns;
    m_last = std::max(m_last, a.arrival_ns);
    m_bytes += a.size;
    // A corrupt probe's header is as unreliable as its payload: its sequence number, count
    // and stamp are not taken.
    if (a.corrupt) {
        ++m_corrupt;
        return false;
    }
    m_delays.push_back(a.delay_ns);
    m_expected = std::max<uint64_t>(m_expected, total);

    bool first = true;
    if (a.sequence < m_seenLimit) {
        if (m_seen.size() <= a.sequence)
            m_seen.resize(std::max<std::size_t>(a.sequence + 1, m_seen.size() * 2));
        first = !m_seen[a.sequence];
        m_seen[a.sequence] = true;
    }
    if (!first)
        return false;
    ++m_unique;
    if (static_cast<int64_t>(a.sequence) < m_highest)
        ++m_outOfOrder;
    else
        m_highest = a.sequence;
    return true;
}

double percentile(std::vector<int64_t> values, double pct) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    double rank = std::ceil(pct / 100.0 * static_cast<double>(values.size()));
    std::size_t idx = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    return static_cast<double>(values[std::min(idx, values.size() - 1)]);
}

Summary ReceiveStats::summary() const {
    Summary s;
    s.received = m_received;
    s.unique = m_unique;
    s.duplicates = m_received - m_unique;
    s.out_of_order = m_outOfOrder;
    s.corrupt = m_corrupt;
    s.expected = m_expected;
    s.lost = m_expected > m_unique ? m_expected - m_unique : 0;
    s.loss_pct =
        m_expected ? 100.0 * static_cast<double>(s.lost) / static_cast<double>(m_expected) : 0;
    if (!m_delays.empty()) {
        auto [lo, hi] = std::minmax_element(m_delays.begin(), m_delays.end());
        s.delay_us_min = static_cast<double>(*lo) / 1e3;
        s.delay_us_max = static_cast<double>(*hi) / 1e3;
        s.delay_us_median = percentile(m_delays, 50) / 1e3;
        s.delay_us_p99 = percentile(m_delays, 99) / 1e3;
    }
    s.duration_s = static_cast<double>(m_last - m_first) / 1e9;
    if (m_received > 1 && s.duration_s > 0) {
        // Bytes after the first arrival, over the span they took.
        double perPacket = static_cast<double>(m_bytes) / static_cast<double>(m_received);
        s.goodput_bps = perPacket * static_cast<double>(m_received - 1) * 8.0 / s.duration_s;
        s.rate_pps = static_cast<double>(m_received - 1) / s.duration_s;
    }
    return s;
}

std::string format_summary(const Summary& s) {
    char buf[640];
    std::snprintf(
        buf, sizeof buf,
        "received=%llu unique=%llu duplicates=%llu out_of_order=%llu corrupt=%llu "
        "expected=%llu lost=%llu loss_pct=%.3f delay_us_min=%.1f delay_us_median=%.1f "
        "delay_us_p99=%.1f delay_us_max=%.1f duration_s=%.6f goodput_bps=%.0f "
        "rate_pps=%.0f",
        static_cast<unsigned long long>(s.received), static_cast<unsigned long long>(s.unique),
        static_cast<unsigned long long>(s.duplicates),
        static_cast<unsigned long long>(s.out_of_order), static_cast<unsigned long long>(s.corrupt),
        static_cast<unsigned long long>(s.expected), static_cast<unsigned long long>(s.lost),
        s.loss_pct, s.delay_us_min, s.delay_us_median, s.delay_us_p99, s.delay_us_max, s.duration_s,
        s.goodput_bps, s.rate_pps);
    return buf;
}

} // namespace traffic
