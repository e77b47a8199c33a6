// Fakes of the application object's services: every start-up step can be made to fail.
#pragma once

#include "AltirenApp/AltirenClientApp.h"
#include "AltirenClientTest/ScriptedPrompt.h"
#include "AltirenUi/EmulationManager.h"
#include "AltirenUi/OptionsSheetSeam.h"

#include <QWidget>

#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace appfakes {

class FakeInstance : public ISingleInstance {
public:
    bool Acquire() override {
        ++acquires;
        return first;
    }
    bool SendShowRequest(int showState) override {
        sentStates.push_back(showState);
        return firstAnswers;
    }
    void SetShowHandler(std::function<void(int)> h) override { handler = std::move(h); }
    void Close() override { ++closes; }
    std::string Problem() const override { return first ? std::string() : problem; }

    bool first = true;
    std::string problem;
    bool firstAnswers = true;
    int acquires = 0, closes = 0;
    std::vector<int> sentStates;
    std::function<void(int)> handler;
};

class FakeXml : public IXmlPlatform {
public:
    void Initialize() override {
        ++initialises;
        if (fails)
            throw std::runtime_error("no XML platform");
    }
    void Terminate() override { ++terminates; }
    bool fails = false;
    int initialises = 0, terminates = 0;
};

class FakeAdapters : public IAdapterSource {
public:
    FakeAdapters() { Add("eth0", "198.18.0.1"); }
    void Add(const std::string& name, const std::string& address) {
        names.push_back(name);
        addresses[name] = address;
    }
    bool ListDriverAdapters(std::vector<std::string>& list) override {
        ++lists;
        list = names;
        return opens;
    }
    bool QueryAdapter(const std::string& id, AdapterEntry& entry) override {
        entry.description = id;
        entry.serviceName = id;
        entry.ipAddress = addresses[id];
        return true;
    }
    bool opens = true;
    int lists = 0;
    std::vector<std::string> names;
    std::map<std::string, std::string> addresses;
};

// Replies by event, in turn; the last reply of an event repeats.
class FakeServer : public IServerChannel {
public:
    FakeServer() {
        replies[CLIENT_LAUNCH] = {"OK"};
        replies[CLIENT_INSTALL] = {"OK"};
        replies[CLIENT_UPGRADE] = {"NOT"};
        replies[CLIENT_UNINSTALL] = {"OK"};
    }
    std::string Send(ServerEventType event) override {
        sent.push_back(event);
        if (onSend)
            onSend(event);
        std::deque<std::string>& queue = replies[event];
        if (queue.empty())
            return "";
        std::string reply = queue.front();
        if (queue.size() > 1)
            queue.pop_front();
        return reply;
    }
    int Count(ServerEventType event) const {
        int n = 0;
        for (ServerEventType e : sent)
            n += e == event;
        return n;
    }
    std::map<ServerEventType, std::deque<std::string>> replies;
    std::vector<ServerEventType> sent;
    std::function<void(ServerEventType)> onSend;
};

class FakeShell : public IDesktopShell {
public:
    bool OpenUrl(const std::string& url) override {
        urls.push_back(url);
        return opens;
    }
    bool StartProgram(const std::string& program, const std::vector<std::string>& args) override {
        programs.push_back(program);
        arguments = args;
        return starts;
    }
    bool opens = true, starts = true;
    std::vector<std::string> urls, programs, arguments;
};

class FakeEventLog : public IEventLog {
public:
    void ReportError(unsigned long id, const std::string& text) override {
        ids.push_back(id);
        texts.push_back(text);
    }
    std::vector<unsigned long> ids;
    std::vector<std::string> texts;
};

class FakePrompt : public IAppPrompt {
public:
    void SetOwner(QWidget* o) override { owner = o; }
    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override {
        owners.push_back(owner);
        if (onShow)
            onShow(text);
        return script.MessageBox(text, caption, flags);
    }
    CScriptedPrompt script{};
    QWidget* owner = nullptr;
    std::vector<QWidget*> owners;
    std::function<void(const std::string&)> onShow;
};

class FakeMessageDialog : public IMessageDialogPrompt {
public:
    int ShowMessageDialog(const std::string& text, const std::string& caption, UINT flags,
                          bool& dontShowAgain) override {
        texts.push_back(text);
        captions.push_back(caption);
        flagsShown.push_back(flags);
        dontShowAgain = tick;
        return IDOK;
    }
    bool tick = false;
    std::vector<std::string> texts, captions;
    std::vector<UINT> flagsShown;
};

class FakeManager : public IEmulationManager {
public:
    QWidget* GetWindow() override { return exists ? window : nullptr; }
    bool PlayStop() override {
        ++playStops;
        stopped = !stopped;
        return true;
    }
    void OnAppExit() override {
        ++exits;
        exists = false;
    }
    void ResetUserSettings() override {}
    void SetIsServerOnline(bool) override {}
    void ShowStatistics() override { ++statistics; }
    void ShowOptions() override { ++options; }
    bool IsStopped() const override { return stopped; }
    bool IsPlayButtonEnabled() const override { return playEnabled; }

    QWidget* window = nullptr; // a stand-in address; never shown
    bool exists = true;
    bool playEnabled = true;
    bool stopped = true;
    int playStops = 0, exits = 0, statistics = 0, options = 0;
};

class FakeSheet : public IOptionsSheet {
public:
    void RequestPages(uint32_t m) override { mask |= m; }
    void SetDescription(UINT id) override { description = id; }
    bool IsWindowShown() const override { return false; }
    void Raise() override {}
    int RunModal(QWidget*) override {
        ++runs;
        if (onRun)
            onRun();
        return answer;
    }
    void EnableOkButton(bool) override {}
    uint32_t mask = 0;
    UINT description = 0;
    int answer = IDOK;
    int runs = 0;
    std::function<void()> onRun;
};

class FakeTray : public ITrayIcon {
public:
    void AddIconToAnimationList(UINT id) override { animation.push_back(id); }
    bool bAddIconToTaskBar(UINT id, const std::string& tip) override {
        addedIcon = id;
        toolTip = tip;
        return adds;
    }
    bool bModifyIconTaskBarProp(UINT what, UINT id, const std::string& tip) override {
        modified.push_back({what, id});
        toolTip = tip;
        return true;
    }
    void AnimateIcon(UINT ms, bool start) override {
        animateCalls.push_back({ms, start ? 1u : 0u});
    }
    void RemoveIcon() override { ++removes; }
    bool IsTrayAvailable() const override { return available; }

    bool adds = true, available = true;
    UINT addedIcon = 0;
    std::string toolTip;
    std::vector<UINT> animation;
    std::vector<std::pair<UINT, UINT>> modified, animateCalls;
    int removes = 0;
};

class FakeWindows : public IAppWindows {
public:
    IEmulationManager* CreateManager(const ManagerContext& c) override {
        ++managerCreations;
        context = c;
        return makesManager ? &manager : nullptr;
    }
    bool CreateMainFrame(IEmulationManager* m) override {
        frameManager = m;
        return makesFrame;
    }
    void SetMainFrameTitle(const std::string& t) override { title = t; }
    std::unique_ptr<ITrayIcon> CreateTrayIcon() override {
        if (!makesTray)
            return nullptr;
        auto t = std::make_unique<FakeTray>();
        t->available = trayAvailable;
        t->adds = trayAdds;
        tray = t.get();
        return t;
    }
    std::optional<size_t> ChooseAdapter(const CAdapterTable& a,
                                        std::optional<size_t> current) override {
        ++adapterChoices;
        shownAdapters = a.Count();
        currentShown = current;
        return chosen;
    }
    void ShowAbout() override { ++abouts; }
    void ShowManager(int state) override { shownStates.push_back(state); }
    void ExitWithManagerWindow() override { exitWithManager = true; }
    IOptionsSheet* OptionsSheet() override {
        if (realSheet)
            return realSheet;
        return hasSheet ? &sheet : nullptr;
    }
    void DestroyWindows() override { ++destroys; }

    FakeManager manager;
    FakeSheet sheet;
    IOptionsSheet* realSheet = nullptr; // the one handed out when set
    FakeTray* tray = nullptr;
    bool makesManager = true, makesFrame = true, makesTray = true, trayAvailable = true,
         trayAdds = true, hasSheet = true;
    bool exitWithManager = false;
    int managerCreations = 0, adapterChoices = 0, abouts = 0, destroys = 0;
    size_t shownAdapters = 0;
    std::optional<size_t> currentShown;
    std::optional<size_t> chosen;
    ManagerContext context;
    IEmulationManager* frameManager = nullptr;
    std::string title;
    std::vector<int> shownStates;
};

} // namespace appfakes
