// Fakes of what the options pages reach: the proxy (every request recorded with the user
// stored while it was sent, replies from a script) and the manager window.
#pragma once

#include "AltirenClient/ClientSettings.h"
#include "AltirenUi/AccountServer.h"
#include "AltirenUi/EmulationManager.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace optionsfakes {

struct ServerScript {
    struct Sent {
        ServerEventType event;
        std::string storedUser;
        std::string storedPassword;
        std::string email;
        std::string newPassword;
        int proxy = 0;
    };
    // Replies by event, in order; "OK" when the script has run out.
    std::map<ServerEventType, std::deque<std::string>> replies;
    // Events whose request fails (result 0).
    std::vector<ServerEventType> failing;
    std::vector<Sent> sent;
    int proxies = 0;
    // Runs as each request goes out.
    std::function<void(ServerEventType)> onSend;

    std::vector<ServerEventType> Events() const {
        std::vector<ServerEventType> events;
        for (const Sent& s : sent)
            events.push_back(s.event);
        return events;
    }
    AccountServerFactory Factory();
};

class FakeAccountServer : public IAccountServer {
public:
    FakeAccountServer(ServerScript& script, int id) : m_script(script), m_id(id) {}
    void SetEmailAddress(const std::string& email) override { m_email = email; }
    void SetNewPassword(const std::string& password) override { m_new = password; }
    bool Send(ServerEventType event, std::string& reply) override {
        ServerScript::Sent s{event, {}, {}, m_email, m_new, m_id};
        CClientSettings().bGetUserDetails(s.storedUser, s.storedPassword, true);
        m_script.sent.push_back(s);
        if (m_script.onSend)
            m_script.onSend(event);
        reply.clear();
        for (ServerEventType f : m_script.failing)
            if (f == event)
                return false;
        std::deque<std::string>& queue = m_script.replies[event];
        if (queue.empty()) {
            reply = "OK";
        } else {
            reply = queue.front();
            queue.pop_front();
        }
        return true;
    }

private:
    ServerScript& m_script;
    int m_id;
    std::string m_email;
    std::string m_new;
};

inline AccountServerFactory ServerScript::Factory() {
    return [this]() -> std::unique_ptr<IAccountServer> {
        return std::make_unique<FakeAccountServer>(*this, ++proxies);
    };
}

class FakeEmulationManager : public IEmulationManager {
public:
    QWidget* GetWindow() override { return nullptr; }
    bool PlayStop() override { return true; }
    void OnAppExit() override {}
    void ResetUserSettings() override { ++resets; }
    void SetIsServerOnline(bool force) override { probes.push_back(force); }
    void ShowStatistics() override {}
    void ShowOptions() override {}
    bool IsStopped() const override { return true; }
    bool IsPlayButtonEnabled() const override { return true; }

    int resets = 0;
    std::vector<bool> probes;
};

// The limits reply of a server (values as text; an empty one is left out).
inline std::string LimitsReply(const std::string& userMin, const std::string& userMax,
                               const std::string& passwordMin = "4",
                               const std::string& passwordMax = "20") {
    auto attr = [](const char* name, const std::string& v) {
        return v.empty() ? std::string() : std::string(" ") + name + "='" + v + "'";
    };
    return "<ALTIREN_REPLY><USER_NAME_LENGTH" + attr("MIN", userMin) + attr("MAX", userMax) +
           "/><PASSWORD_LENGTH" + attr("MIN", passwordMin) + attr("MAX", passwordMax) +
           "/></ALTIREN_REPLY>";
}

} // namespace optionsfakes
