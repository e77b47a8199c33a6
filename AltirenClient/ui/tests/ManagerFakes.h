// Stand-ins for what the emulation manager is made with in the tests: the application's
// services, the pages, the statistics windows, the filter dialog and the options sheet,
// each recording what the manager asked of it.
#pragma once

#include "AltirenClient/WstScenario.h"
#include "AltirenUi/ClientApplication.h"
#include "AltirenUi/FilterDialogSeam.h"
#include "AltirenUi/ManagerPage.h"
#include "AltirenUi/OptionsSheetSeam.h"
#include "AltirenUi/StatisticGUIManagerSeam.h"

#include <string>
#include <vector>

class FakeApplication : public IClientApplication {
public:
    bool adapterValid = true;
    int adapterChecks = 0, adapterChoices = 0, trayStarts = 0, trayStops = 0;
    int helpIndexes = 0, abouts = 0;

    bool CheckActiveAdapter(bool interactive) override {
        ++adapterChecks;
        lastInteractive = interactive;
        return adapterValid;
    }
    void ChooseActiveAdapter() override { ++adapterChoices; }
    void StartTrayAnimation() override { ++trayStarts; }
    void StopTrayAnimation() override { ++trayStops; }
    void ShowHelpIndex() override { ++helpIndexes; }
    void ShowAbout() override { ++abouts; }

    bool lastInteractive = false;
};

// A Basic or Advanced page without a widget.
class FakeEffectsPage : public IEffectsPage {
public:
    double latency = 0, loss = 0, bandwidth = kUnrestrictedBandwidth;
    bool exchangeWorks = true;
    bool locked = false;
    int resets = 0;

    QWidget* GetWidget() override { return nullptr; }
    void Lock(bool lock) override { locked = lock; }
    void Reset() override { ++resets; }
    bool UpdateData() override { return exchangeWorks; }
    double GetLatency() const override { return latency; }
    double GetPacketLoss() const override { return loss; }
    double GetBandwidth() const override { return bandwidth; }
};

class FakeImportPage : public IImportPage {
public:
    int sourceKind = kSourceDocument;
    std::string document;
    CWSTScenario recording;
    bool hasScenario = false;
    bool locked = false;
    int resets = 0, imports = 0;

    QWidget* GetWidget() override { return nullptr; }
    void Lock(bool lock) override { locked = lock; }
    void Reset() override { ++resets; }
    bool UpdateData() override { return true; }
    int GetSourceKind() const override { return sourceKind; }
    const CWSTScenario& GetRecording() const override { return recording; }
    const std::string& GetDocument() const override { return document; }
    bool HasScenarioToPlay() const override { return hasScenario; }
    void OnButtonImport() override { ++imports; }
};

class FakeStatisticGUI : public IStatisticGUIManager {
public:
    bool graphsOpen = false;
    bool listVisible = false;
    std::vector<bool> played; // the show flag of each OnEmulationPlayed
    int stopped = 0;
    std::vector<bool> shown; // the clear flag of each ShowStatistics

    void OnEmulationPlayed(bool show) override { played.push_back(show); }
    void OnEmulationStopped() override { ++stopped; }
    void ShowStatistics(bool clear) override { shown.push_back(clear); }
    bool IsListVisible() const override { return listVisible; }
    bool HasGraphWindowsOpen() const override { return graphsOpen; }
};

class FakeFilterDialog : public IFilterDialog {
public:
    bool shown = false;
    int raises = 0, runs = 0;
    std::vector<bool> locks;
    // What the user keeps with OK.
    CEmulationFilter kept;

    bool IsWindowShown() const override { return shown; }
    void Raise() override { ++raises; }
    int RunModal(QWidget*, CEmulationFilter& filter) override {
        ++runs;
        filter = kept;
        return 1;
    }
    void LockEditing(bool lock) override { locks.push_back(lock); }
};

class FakeOptionsSheet : public IOptionsSheet {
public:
    bool shown = false;
    uint32_t pages = 0;
    UINT description = 0;
    int raises = 0, runs = 0;
    std::vector<bool> okStates;

    void RequestPages(uint32_t mask) override { pages |= mask; }
    void SetDescription(UINT textId) override { description = textId; }
    bool IsWindowShown() const override { return shown; }
    void Raise() override { ++raises; }
    int RunModal(QWidget*) override {
        ++runs;
        return 1;
    }
    void EnableOkButton(bool enable) override { okStates.push_back(enable); }
};
