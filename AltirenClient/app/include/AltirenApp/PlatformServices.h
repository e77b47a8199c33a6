// The application's services on this desktop: the XML platform of the scenario
// documents, the management server through the proxy, the desktop's opener, syslog and
// the message boxes over Qt.
#pragma once

#include "AltirenApp/AppServices.h"
#include "AltirenUi/QtPrompt.h"

class CXercesPlatform : public IXmlPlatform {
public:
    void Initialize() override;
    void Terminate() override;
};

// One proxy per request, as the windows make theirs.
class CProxyServerChannel : public IServerChannel {
public:
    std::string Send(ServerEventType event) override;
};

// Addresses go to QDesktopServices, programs start detached.
class CQtDesktopShell : public IDesktopShell {
public:
    bool OpenUrl(const std::string& url) override;
    bool StartProgram(const std::string& program,
                      const std::vector<std::string>& arguments) override;
};

// Error events as syslog records of "AltirenClient", the event id in the text.
class CSyslogEventLog : public IEventLog {
public:
    static constexpr const char* kSource = "AltirenClient";
    // "Event 0x<id>: <text>".
    static std::string Format(unsigned long eventId, const std::string& text);
    void ReportError(unsigned long eventId, const std::string& text) override;
};

class CQtAppPrompt : public IAppPrompt {
public:
    void SetOwner(QWidget* owner) override { m_prompt.SetOwner(owner); }
    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override {
        return m_prompt.MessageBox(text, caption, flags);
    }

private:
    CQtPrompt m_prompt;
};
