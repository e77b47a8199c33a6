// A play record that owns its sample arrays.
//
// The conversions allocate the delay-sample and loss-sample arrays with new[] and the clear
// frees them, so a record must start value-initialised: CPlayParams always does, and frees
// the arrays when it goes. It cannot be copied (the arrays have one owner).
#pragma once

#include <AltirenAPI.h>

// Frees the record's sample arrays (one array given as both series is freed once) and
// sets both pointers to null; nothing else changes.
void FreePlaySamples(PlayParameters& params);

class CPlayParams {
public:
    CPlayParams() = default;
    ~CPlayParams() { FreePlaySamples(m_params); }
    CPlayParams(const CPlayParams&) = delete;
    CPlayParams& operator=(const CPlayParams&) = delete;

    PlayParameters* get() { return &m_params; }
    const PlayParameters* get() const { return &m_params; }
    PlayParameters* operator->() { return &m_params; }
    const PlayParameters* operator->() const { return &m_params; }
    PlayParameters& operator*() { return m_params; }
    const PlayParameters& operator*() const { return m_params; }

private:
    PlayParameters m_params{};
};
