// What the emulation manager window asks of the application object: the active-adapter
// check before each play and the adapter choice, the tray icon's animation, the help
// index and the About box.
#pragma once

class IClientApplication {
public:
    virtual ~IClientApplication() = default;

    // Fills the adapter table and selects the active adapter, asking the user when
    // interactive; false when no usable adapter is selected.
    virtual bool CheckActiveAdapter(bool interactive) = 0;
    // The "Network Adapters" dialog: the user picks the active adapter.
    virtual void ChooseActiveAdapter() = 0;
    // Starts the tray icon's animation (a play began).
    virtual void StartTrayAnimation() = 0;
    // Stops it and restores the icon and its tool tip (the emulation stopped).
    virtual void StopTrayAnimation() = 0;
    virtual void ShowHelpIndex() = 0;
    virtual void ShowAbout() = 0;
};
