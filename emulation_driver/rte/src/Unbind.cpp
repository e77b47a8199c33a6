#include "RteState.h"

namespace quellin {

using detail::state;

bool rte_unbind_adapter(RteAdapter* adapter) {
    auto& s = state();
    if (!adapter || adapter->number == 0 || adapter->number > s.adapters.size() ||
        s.adapters[adapter->number - 1].get() != adapter)
        return false;
    for (const auto& pool : adapter->pools)
        if (pool->free_count() != s.config.packetPoolSize)
            return false;
    s.adapters[adapter->number - 1].reset();
    while (!s.adapters.empty() && !s.adapters.back())
        s.adapters.pop_back();
    return true;
}

size_t rte_adapter_slots_used() {
    return state().adapters.size();
}

} // namespace quellin
