// The pages of the emulation manager window. The manager makes them as children of its
// page frame, shows one at a time, locks them while an emulation plays and reads the
// visible one when the user plays; a page calls back only through the CPlayButtonSink it
// was given.
#pragma once

#include "AltirenClient/Prompt.h"
#include "AltirenUi/PlayButtonSink.h"

#include <functional>
#include <memory>
#include <string>

class CWSTScenario;
class QWidget;

class IManagerPage {
public:
    virtual ~IManagerPage() = default;

    // The page's widget, a child of the manager's page frame.
    virtual QWidget* GetWidget() = 0;
    // Disables (lock) or enables the page's editing controls.
    virtual void Lock(bool lock) = 0;
    // Back to the page's start values (a new user).
    virtual void Reset() = 0;
    // The data exchange from the controls before a play; false refuses the play.
    virtual bool UpdateData() = 0;
};

// The Basic and the Advanced page: a fixed latency, a random loss and one bandwidth limit.
class IEffectsPage : public IManagerPage {
public:
    static constexpr double kUnrestrictedBandwidth = 4294967295.0;

    // ms.
    virtual double GetLatency() const = 0;
    // Per cent.
    virtual double GetPacketLoss() const = 0;
    // Tenths of a Kbps (100 bit/s); kUnrestrictedBandwidth for no limit.
    virtual double GetBandwidth() const = 0;
};

// The Professional page: an imported scenario, converted by the manager when it plays.
class IImportPage : public IManagerPage {
public:
    // Source kinds: a recording downloaded from the server ("wst"), a scenario document
    // ("tvl").
    static constexpr int kSourceRecording = 0;
    static constexpr int kSourceDocument = 1;

    virtual int GetSourceKind() const = 0;
    virtual const CWSTScenario& GetRecording() const = 0;
    virtual const std::string& GetDocument() const = 0;
    // A scenario has been imported and can be played.
    virtual bool HasScenarioToPlay() const = 0;
    // The page's import button ("Select &Emulated Network...").
    virtual void OnButtonImport() = 0;
};

// What a page is made with.
struct ManagerPageContext {
    QWidget* parent = nullptr; // the manager's page frame
    CPlayButtonSink* sink = nullptr;
    IPrompt* prompt = nullptr;
};

// Page makers that the application hands to the manager for the pages other windows
// build; the page's widget is a child of context.parent, and the manager deletes the page.
using EffectsPageFactory =
    std::function<std::unique_ptr<IEffectsPage>(const ManagerPageContext& context)>;
using ImportPageFactory =
    std::function<std::unique_ptr<IImportPage>(const ManagerPageContext& context)>;
