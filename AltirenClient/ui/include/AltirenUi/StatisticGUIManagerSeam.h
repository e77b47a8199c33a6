// The statistics window manager as the emulation manager window drives it: the manager
// makes it over its statistics manager when it is made, tells it when an emulation
// starts and stops, opens the statistics list through it, and asks it before a play
// whether graph windows are open.
#pragma once

#include "AltirenClient/Prompt.h"

#include <functional>
#include <memory>
#include <string>

class CAltirenStatisticsManager;
class CIpRuleSet;

class IStatisticGUIManager {
public:
    virtual ~IStatisticGUIManager() = default;

    // After a successful play; show: the list window was visible at that moment.
    virtual void OnEmulationPlayed(bool show) = 0;
    // After a successful stop: the windows keep their contents.
    virtual void OnEmulationStopped() = 0;
    // Opens (or raises) the list window; clear empties it first.
    virtual void ShowStatistics(bool clear) = 0;
    // The list window exists and is visible.
    virtual bool IsListVisible() const = 0;
    // At least one graph window is open.
    virtual bool HasGraphWindowsOpen() const = 0;
};

// What the statistics window manager is made with.
struct StatisticGUIContext {
    CAltirenStatisticsManager* statistics = nullptr; // the manager window's, not owned
    IPrompt* prompt = nullptr;
    // Whether the manager window plays an emulation (graph windows open only then).
    std::function<bool()> isPlaying;
    // The statistics address filter that the Top Talkers list applies to new connections
    // (the application's, not owned; null lets every connection pass).
    const CIpRuleSet* statisticsFilter = nullptr;
    // The address of the adapter the client emulates on, read when the list opens: the
    // list never filters it.
    std::function<std::string()> activeAdapterAddress;
};

using StatisticGUIManagerFactory =
    std::function<std::unique_ptr<IStatisticGUIManager>(const StatisticGUIContext& context)>;
