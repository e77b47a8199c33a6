#include "AltirenApp/PlatformServices.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <syslog.h>

void CXercesPlatform::Initialize() {
    xercesc::XMLPlatformUtils::Initialize();
}

void CXercesPlatform::Terminate() {
    xercesc::XMLPlatformUtils::Terminate();
}

std::string CProxyServerChannel::Send(ServerEventType event) {
    CAltirenProxy proxy;
    std::string reply;
    if (!proxy.GetAltirenResponse(reply, event))
        return {};
    return reply;
}

bool CQtDesktopShell::OpenUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool CQtDesktopShell::StartProgram(const std::string& program,
                                   const std::vector<std::string>& arguments) {
    QStringList list;
    for (const std::string& argument : arguments)
        list << QString::fromStdString(argument);
    return QProcess::startDetached(QString::fromStdString(program), list);
}

std::string CSyslogEventLog::Format(unsigned long eventId, const std::string& text) {
    char id[32];
    std::snprintf(id, sizeof id, "Event 0x%08lX: ", eventId);
    return id + text;
}

void CSyslogEventLog::ReportError(unsigned long eventId, const std::string& text) {
    ::openlog(kSource, LOG_PID, LOG_USER);
    ::syslog(LOG_ERR, "%s", Format(eventId, text).c_str());
    ::closelog();
}
