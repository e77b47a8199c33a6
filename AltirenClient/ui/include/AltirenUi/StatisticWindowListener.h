// What the statistics windows tell their manager: a window is gone, and what the Top
// Talkers list asks for (a connection's graph, dropping every statistic).
#pragma once

#include "AltirenClient/StatisticsTypes.h"

#include <string>

class IStatisticWindowListener {
public:
    virtual ~IStatisticWindowListener() = default;
    // Called as the window with this key goes away (the list's key is empty). The
    // window object itself may still be on the call stack: free it later, never here.
    virtual void OnWindowDestroyed(const std::string& key) = 0;
};

class IStatisticListListener : public IStatisticWindowListener {
public:
    // The graph window of this connection, opened or raised.
    virtual void OnListDataRequest(const StatisticsParam& param) = 0;
    // "Clear All": drop every statistic of every window.
    virtual void OnClearAllDataRequest() = 0;
};
