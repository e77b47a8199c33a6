// Pramitone: the client program.
#include "AltirenApp/AltirenClientApp.h"
#include "AltirenApp/AppSeams.h"
#include "AltirenApp/PlatformServices.h"
#include "AltirenApp/QtAppWindows.h"
#include "AltirenApp/QuitSignals.h"
#include "AltirenApp/SingleInstance.h"
#include "AltirenClient/NuvexControl.h"
#include "AltirenUi/MessageDlg.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("Pramitone");
    // The windows come and go while the client lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    std::vector<std::string> arguments(argv + 1, argv + argc);

    CSingleInstance instance;
    CXercesPlatform xml;
    CDriverAdapterSource adapters;
    CProxyServerChannel server;
    CQtDesktopShell shell;
    CSyslogEventLog eventLog;
    CQtAppPrompt prompt;
    CMessageDlgPrompt messageDialog;

    AppServices services;
    services.instance = &instance;
    services.xml = &xml;
    services.adapters = &adapters;
    services.server = &server;
    services.shell = &shell;
    services.eventLog = &eventLog;
    services.prompt = &prompt;
    services.messageDialog = &messageDialog;
    services.control = &CNuvexControl::Instance();

    int exitCode = 0;
    {
        // The windows live inside the application object's life and go before it; the
        // main frame's close ends the event loop.
        CAltirenClientApp application(services, arguments);
        // A terminating signal ends the client as a quit of its event loop.
        CQuitSignals quitSignals([&application](int) { application.RequestQuit(0); });
        CQtAppWindows windows(application, application.DriverMngr(),
                              [&application] { application.RequestQuit(0); });
        application.SetWindows(&windows);
        application.SetManagerSeams(FillManagerSeams(application.StatisticsFilter()));
        const bool run = application.InitInstance();
        exitCode = run ? application.Run() : application.StartupExitCode();
        exitCode = application.ExitInstance(exitCode);
    }
    return exitCode;
}
