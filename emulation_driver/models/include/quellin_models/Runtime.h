// What the models need of the packet-and-timer layer: the 15-bit random source, the two
// clocks and the spin locks. The engine adapts its layer to this; tests script it.
#pragma once

#include <cstdint>

namespace quellin::models {

class ModelRuntime {
public:
    virtual ~ModelRuntime() = default;
    // One draw of the 15-bit generator, 0 to 0x7FFF.
    virtual uint16_t rand() = 0;
    // Microseconds of the high-resolution clock.
    virtual uint64_t gettime() = 0;
    // Milliseconds since local midnight, 0 to 86,399,999.
    virtual uint32_t gettimeofday() = 0;
    virtual void lock(unsigned /*index*/) {}
    virtual void unlock(unsigned /*index*/) {}
};

// Holds a lock of the runtime for a scope.
class RuntimeLock {
public:
    RuntimeLock(ModelRuntime& rt, unsigned index) : m_rt(rt), m_index(index) { m_rt.lock(index); }
    ~RuntimeLock() { m_rt.unlock(m_index); }
    RuntimeLock(const RuntimeLock&) = delete;
    RuntimeLock& operator=(const RuntimeLock&) = delete;

private:
    ModelRuntime& m_rt;
    unsigned m_index;
};

// Lock indexes the models take.
inline constexpr unsigned kLockStores = 0;
inline constexpr unsigned kLockCounters = 11;

} // namespace quellin::models
