// Line templates shared by the document and the recording summaries.
#pragma once

#include "AltirenClient/ScenarioSummary.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace summary {

inline const char* const kWanHeader = "Nuvex data:";
inline const char* const kClientHeader = "\n\nClient Gateway:";
inline const char* const kServerHeader = "\n\nServer Gateway:";
inline const char* const kFilterHeader = "\n\nFilter:";

__attribute__((format(printf, 1, 2))) inline std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

inline std::vector<SummarySection> Headers() {
    return {{kWanHeader, {}}, {kClientHeader, {}}, {kServerHeader, {}}, {kFilterHeader, {}}};
}

// Smallest positive, average over all and largest positive delay of a series; the
// smallest starts from 60000 and shows 0 when no sample is positive.
struct DelayStats {
    long long smallest = 0, average = 0, largest = 0;
};
template <class T>
DelayStats RecordedDelayStats(const std::vector<T>& samples) {
    long long smallest = 60000, largest = 0, sum = 0;
    bool positive = false;
    for (T s : samples)
        if (s > 0) {
            positive = true;
            const long long v = static_cast<long long>(s);
            smallest = v < smallest ? v : smallest;
            largest = v > largest ? v : largest;
            sum += v;
        }
    DelayStats d;
    d.smallest = positive ? smallest : 0;
    d.largest = largest;
    // A series without samples has no average (and no division).
    d.average = samples.empty() ? 0 : sum / static_cast<long long>(samples.size());
    return d;
}

// Sum of the positive samples over the number of all samples; 0 without samples.
template <class T>
double AverageOfPositive(const std::vector<T>& samples, double unit) {
    double sum = 0;
    for (T s : samples)
        if (s > 0)
            sum += static_cast<double>(s) / unit;
    return samples.empty() ? 0.0 : sum / static_cast<double>(samples.size());
}

inline const char* FragmentBehaviourText(const std::string& behaviour) {
    if (behaviour == "IGNORE_DF_BIT")
        return "Ignore DF bit";
    if (behaviour == "SEND_ICMP_ERROR")
        return "ICMP Error";
    if (behaviour == "DONT_SEND_ICMP_ERROR")
        return "No ICMP Error";
    return "";
}

inline void FilterLines(std::vector<std::string>& lines, size_t includeCount, size_t excludeCount,
                        const std::vector<std::string>& addresses) {
    if (includeCount)
        lines.push_back("Filter type: Include");
    else if (excludeCount)
        lines.push_back("Filter type: Exclude");
    else
        lines.push_back("Filter: Not defined");
    if (includeCount >= 2 || excludeCount >= 2)
        lines.push_back("IP addresses:");
    else if (includeCount == 1 || excludeCount == 1)
        lines.push_back("IP address:");
    for (const std::string& a : addresses)
        lines.push_back(a);
}

} // namespace summary
