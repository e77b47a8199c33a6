// Test runtime: scripted or seeded 15-bit draws and a virtual clock.
#pragma once

#include "quellin_models/Runtime.h"

#include <deque>
#include <random>
#include <stdexcept>

namespace quellin::models::test {

class FakeRuntime : public ModelRuntime {
public:
    // Draws handed out in order; when none is scripted, the seeded generator gives them.
    std::deque<uint16_t> script;
    bool strict = true; // running out of scripted draws throws
    uint64_t nowUs = 1000000;
    uint32_t todayMs = 36000000;
    int draws = 0;

    explicit FakeRuntime(uint32_t seed = 1) : m_gen(seed) {}

    uint16_t rand() override {
        ++draws;
        if (!script.empty()) {
            const uint16_t v = script.front();
            script.pop_front();
            return v;
        }
        if (strict)
            throw std::runtime_error("unscripted draw");
        return static_cast<uint16_t>(m_gen() & 0x7FFF);
    }
    uint64_t gettime() override { return nowUs; }
    uint32_t gettimeofday() override { return todayMs; }

    // Advances both clocks by `ms`.
    void advance_ms(uint64_t ms) {
        nowUs += ms * 1000;
        todayMs = static_cast<uint32_t>((todayMs + ms) % 86400000);
    }

private:
    std::mt19937 m_gen;
};

// The draw that makes du_rand(a, b) give `value` (value within a..b).
inline uint16_t draw_for(uint32_t a, uint32_t b, uint32_t value) {
    const uint32_t span = static_cast<uint16_t>(b + 1 - a);
    const uint32_t r = value - a;
    // smallest draw with draw * span / 0x7FFF == r
    return static_cast<uint16_t>((r * 0x7FFFu + span - 1) / span);
}

} // namespace quellin::models::test
