// Support for the client's widget tests (label gui): the process's QApplication on the
// offscreen platform, widgets found by their control ids, a scripted prompt that can act
// while its box is "on screen", and a registry store of the test's own for the settings.
#pragma once

#include "AltirenClient/ClientSettings.h"
#include "AltirenClientTest/ScriptedPrompt.h"
#include "AltirenUi/ControlId.h"

#include <TestSupport/TempDir.h>
#include <platform/Registry.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace guitest {

// The test process's QApplication, made on first use, on the offscreen platform unless
// QT_QPA_PLATFORM names another. It is kept to the end of the process: widgets that a
// test leaves to static objects may outlive the test.
inline QApplication& App() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "altiren-gui-test";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

// The first widget under root (root included) that carries the control id and is a W;
// null when there is none.
template <class W = QWidget>
W* Find(QWidget* root, UINT id) {
    if (!root)
        return nullptr;
    if (ControlId::Get(root) == id)
        if (W* widget = qobject_cast<W*>(root))
            return widget;
    for (W* widget : root->findChildren<W*>())
        if (ControlId::Get(widget) == id)
            return widget;
    return nullptr;
}

// Shows a window and waits until the platform has exposed it and made it the active
// window (focus changes reach its widgets only then).
inline bool ShowAndWait(QWidget* window) {
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// A scripted prompt (answers from the script, every box recorded) that runs onShow while
// a box is up, before it answers: what a user does while a message is on the screen.
class CActingPrompt : public CScriptedPrompt {
public:
    using CScriptedPrompt::CScriptedPrompt;

    std::function<void(const Shown& box)> onShow;

    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override {
        if (onShow)
            onShow(Shown{text, caption, flags});
        return CScriptedPrompt::MessageBox(text, caption, flags);
    }

    // Whether a box with this text was shown.
    bool Showed(const std::string& text) const {
        for (const Shown& box : Boxes())
            if (box.text == text)
                return true;
        return false;
    }
};

// Runs act on the modal window of type W once a modal run has put it up (call it just
// before the call that runs the window modally). A modal window still up after about five
// seconds is closed instead, so that no test waits on one.
template <class W>
void WhenModal(std::function<void(W*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    auto ticksLeft = std::make_shared<int>(500);
    QObject::connect(poll, &QTimer::timeout, [poll, act, ticksLeft] {
        auto* window = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!window && --*ticksLeft > 0)
            return;
        poll->stop();
        poll->deleteLater();
        if (window)
            act(window);
        else if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    poll->start();
}

// A registry store in a temporary folder of the test's own, with the client's settings
// key made: ALTIREN_REGISTRY_ROOT points at it while the object lives.
class TestRegistry {
public:
    TestRegistry() {
        if (const char* old = std::getenv("ALTIREN_REGISTRY_ROOT"))
            m_saved = old;
        ::setenv("ALTIREN_REGISTRY_ROOT", m_dir.str().c_str(), 1);
        m_registry.createKey(platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey);
        m_registry.createKey(platform::registry::Hive::LocalMachine, CClientSettings::kInstallKey);
    }
    ~TestRegistry() {
        if (m_saved)
            ::setenv("ALTIREN_REGISTRY_ROOT", m_saved->c_str(), 1);
        else
            ::unsetenv("ALTIREN_REGISTRY_ROOT");
    }
    TestRegistry(const TestRegistry&) = delete;
    TestRegistry& operator=(const TestRegistry&) = delete;

    // A value of the settings key.
    bool SetString(const std::string& name, const std::string& value) const {
        return m_registry.setValue(
                   platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey, name,
                   platform::registry::Value::Sz(value)) == platform::registry::kSuccess;
    }
    bool SetDword(const std::string& name, uint32_t value) const {
        return m_registry.setValue(
                   platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey, name,
                   platform::registry::Value::Dword(value)) == platform::registry::kSuccess;
    }

    const platform::registry::Registry& registry() const { return m_registry; }
    const testsupport::TempDir& dir() const { return m_dir; }

private:
    testsupport::TempDir m_dir{"gui-registry"};
    platform::registry::Registry m_registry{m_dir.str()};
    std::optional<std::string> m_saved;
};

} // namespace guitest
