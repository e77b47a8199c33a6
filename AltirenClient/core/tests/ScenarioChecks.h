// The control library's own checks of a play record, run on a converted record.
#pragma once

#include <AltirenAPI.h>
#include <AltirenAPI/PlayCheck.h>

#include <memory>

namespace scenario_test {

inline int RealChecks(const PlayParameters& p) {
    altiren_api::PlayBlockValues block;
    return altiren_api::check_and_convert(p, block);
}

// A play record that frees its sample arrays.
struct OwnedParams {
    PlayParameters p{};
    OwnedParams() = default;
    OwnedParams(const OwnedParams&) = delete;
    ~OwnedParams() {
        delete[] p.delaySamples;
        delete[] p.lossSamples;
    }
    PlayParameters* operator->() { return &p; }
    PlayParameters* get() { return &p; }
};

} // namespace scenario_test
