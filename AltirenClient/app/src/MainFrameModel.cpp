#include "AltirenApp/MainFrameModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/DriverMngr.h"
#include "AltirenUi/ClientApplication.h"
#include "AltirenUi/EmulationManager.h"

const std::vector<TrayMenuItem>& CMainFrameModel::TrayMenu() {
    static const std::vector<TrayMenuItem> menu = {
        {ID_TRAY_PLAY_STOP, "&Play"},
        {ID_TRAY_OPEN, "&Open..."},
        {0, ""},
        {ID_TRAY_SHOW_STATISTICS, "S&how Statistics"},
        {ID_TRAY_SET_ADAPTER, "Set Active Adapte&r"},
        {ID_TRAY_OPTIONS, "Op&tions..."},
        {0, ""},
        {ID_TRAY_ABOUT, "&About Pramitone"},
        {ID_TRAY_HELP, "He&lp"},
        {0, ""},
        {ID_APP_EXIT, "E&xit"},
    };
    return menu;
}

CMainFrameModel::CMainFrameModel(IEmulationManager& manager, CDriverMngr& driver,
                                 IClientApplication& application, IPrompt& prompt,
                                 std::function<void()> showManager, std::function<void()> close)
    : m_manager(manager), m_driver(driver), m_application(application), m_prompt(prompt),
      m_showManager(std::move(showManager)), m_close(std::move(close)) {}

void CMainFrameModel::OnCommand(UINT command) {
    switch (command) {
    case ID_TRAY_OPEN:
        m_showManager();
        break;
    case ID_TRAY_PLAY_STOP:
        m_manager.PlayStop();
        break;
    case ID_TRAY_SHOW_STATISTICS:
        m_manager.ShowStatistics();
        break;
    case ID_TRAY_STATISTICS_SWITCH: {
        CClientSettings settings;
        settings.bSetStatisticsEnabled(!settings.IsStatisticsEnabled());
        break;
    }
    case ID_TRAY_SET_ADAPTER:
        m_application.ChooseActiveAdapter();
        break;
    case ID_TRAY_ABOUT:
        m_application.ShowAbout();
        break;
    case ID_TRAY_HELP:
        m_application.ShowHelpIndex();
        break;
    case ID_TRAY_OPTIONS:
        m_manager.ShowOptions();
        break;
    case ID_APP_EXIT:
        OnAppExit();
        break;
    default:
        break;
    }
}

TrayItemState CMainFrameModel::Update(UINT command) const {
    TrayItemState state;
    const bool playing = m_driver.IsPlaying();
    switch (command) {
    case ID_TRAY_PLAY_STOP:
        state.text = playing ? "&Stop" : "&Play";
        state.enabled = playing || m_manager.IsPlayButtonEnabled();
        break;
    case ID_TRAY_SHOW_STATISTICS:
        state.enabled = CClientSettings().IsStatisticsEnabled();
        break;
    case ID_TRAY_STATISTICS_SWITCH:
        state.checked = CClientSettings().IsStatisticsEnabled();
        break;
    case ID_TRAY_SET_ADAPTER:
    case ID_TRAY_OPTIONS:
        state.enabled = !playing;
        break;
    default:
        break;
    }
    return state;
}

bool CMainFrameModel::OnAppExit() {
    if (m_driver.IsPlaying() &&
        ShowClientMessage(m_prompt, IDS_EXIT_WHILE_PLAYING, IDS_CAPTION_WARNING,
                          MB_OKCANCEL | MB_ICONWARNING) == IDCANCEL)
        return false;
    m_manager.OnAppExit();
    m_close();
    return true;
}
