// The manager window on the real daemon: the daemon binds the station's TAP in the test
// lab, the window runs in the station namespace with the management-server stand-in (user
// "ann", account "ACC-7") on the station's loopback, and the client's settings point at
// it. Fixtures add their own settings and seams before the window is made.
#pragma once

#include "AltirenUi/AltirenMngr.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"
#include "AltirenUiTest/GuiTest.h"
#include "DaemonLab.h"
#include "ManagerFakes.h"

#include "AltirenClient/ServerRequest.h"

#include <MgmtServer/MgmtServer.h>

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <memory>
#include <string>

class ManagerDaemonLab : public e2e::DaemonLab {
protected:
    void SetUp() override {
        e2e::DaemonLab::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        guitest::App();
        // The client runs where the station's interface is; its threads start here too.
        station = std::make_unique<netnslab::NetnsGuard>(lab().station());

        server = std::make_unique<mgmt::MgmtServer>(mgmt::ServerOptions{});
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        server->EditStore([](mgmt::AccountStore& store) {
            store.AddUser({"ann", "Secret1", "ACC-7", "ann@example.org"});
        });
        platform::registry::Registry registry;
        using platform::registry::Hive;
        using platform::registry::Value;
        ASSERT_EQ(registry.createKey(Hive::LocalMachine, CClientSettings::kSettingsKey), 0);
        const char* key = CClientSettings::kSettingsKey;
        registry.setValue(Hive::LocalMachine, key, "AltirenServerIP",
                          Value::Sz(server->HostPort()));
        registry.setValue(Hive::LocalMachine, key, "AccountID", Value::Sz("ACC-7"));
        registry.setValue(Hive::LocalMachine, key, "CommunicationTimeout", Value::Dword(5000));
        Configure(registry, key);
        ASSERT_TRUE(CClientSettings().bSetUserDetails("ann", "Secret1", true));
        ClientState::SetServerOnline(false); // the window's first probe finds the server

        driver = std::make_unique<CDriverMngr>();
        driver->SetActiveAdapterAddress(netnslab::kStationV4);
        context.driver = driver.get();
        context.application = &application;
        context.prompt = &prompt;
        context.control = &CNuvexControl::Instance();
        AddSeams(context.seams);
        window = std::make_unique<CAltirenMngr>(context);
        ASSERT_TRUE(guitest::ShowAndWait(window.get()));
    }

    void TearDown() override {
        if (driver && driver->IsPlaying())
            driver->Stop();
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // A report a last click started parses its reply with the XML library, which the
        // test program ends at its exit: the program waits for it, as the client does.
        EXPECT_TRUE(ServerRequest::WaitForOutstanding(std::chrono::seconds(15)));
        if (server)
            server->Stop();
        station.reset();
        e2e::DaemonLab::TearDown();
    }

    // Settings of the fixture's own, written before the window is made.
    virtual void Configure(platform::registry::Registry&, const char* /*settingsKey*/) {}
    // Seams of the fixture's own, set before the window is made.
    virtual void AddSeams(ManagerSeams&) {}

    // How many requests of an event type the stand-in saw.
    size_t Events(const char* type) const {
        size_t n = 0;
        for (const mgmt::RecordedRequest& request : server->Requests())
            n += mgmt::Attribute(request.attributes, "EVENT_TYPE") == type;
        return n;
    }

    std::unique_ptr<netnslab::NetnsGuard> station;
    std::unique_ptr<mgmt::MgmtServer> server;
    std::unique_ptr<CDriverMngr> driver;
    FakeApplication application;
    CScriptedPrompt prompt;
    ManagerContext context;
    std::unique_ptr<CAltirenMngr> window;
};
