// One client per user: a lock file held with flock for the life of the first instance,
// and a local server of the same name that takes the show requests of later starts, both
// in a folder of the user's own that no other user can write to. The lock is taken before
// the server listens, so a socket file left by a dead first instance is removed only by
// the process that holds the lock; a live server's socket is never removed.
#pragma once

#include "AltirenApp/AppServices.h"

#include <QObject>

#include <functional>
#include <string>

class QLocalServer;

class CSingleInstance : public QObject, public ISingleInstance {
    Q_OBJECT

public:
    static constexpr const char* kName = "AltirenPreventSecondInstance";
    static constexpr int kConnectTimeoutMs = 2000;

    // folder: where the lock file and the server's socket live (DefaultFolder() when
    // empty).
    explicit CSingleInstance(std::string folder = {}, std::string name = kName);
    ~CSingleInstance() override;

    // The user's runtime folder ($XDG_RUNTIME_DIR) when it is an absolute path; else
    // "<temporary folder>/pramitone-<user id>", made on the first Acquire.
    static std::string DefaultFolder();

    bool Acquire() override;
    std::string Problem() const override { return m_problem; }
    bool SendShowRequest(int showState) override;
    void SetShowHandler(std::function<void(int showState)> handler) override {
        m_handler = std::move(handler);
    }
    void Close() override;

    const std::string& LockPath() const { return m_lockPath; }
    // The server's socket file.
    std::string SocketPath() const;

private:
    void OnNewConnection();
    // The folder exists (the default one is made), is a folder of this user's and no one
    // else can write to it; otherwise m_problem says why.
    bool CheckFolder();

    std::string m_folder;
    std::string m_problem;
    std::string m_name;
    std::string m_lockPath;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    std::function<void(int)> m_handler;
};
