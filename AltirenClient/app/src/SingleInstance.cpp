#include "AltirenApp/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CSingleInstance::CSingleInstance(std::string folder, std::string name)
    : m_folder(folder.empty() ? DefaultFolder() : std::move(folder)), m_name(std::move(name)),
      m_lockPath(m_folder + "/" + m_name + ".lock") {}

std::string CSingleInstance::DefaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return runtime;
    return QDir::tempPath().toStdString() + "/pramitone-" + std::to_string(::geteuid());
}

bool CSingleInstance::CheckFolder() {
    // A missing folder is made for this user alone (the default one below the temporary
    // folder on a first start).
    if (::mkdir(m_folder.c_str(), 0700) != 0 && errno != EEXIST) {
        m_problem = "the folder " + m_folder + " cannot be made (" + std::strerror(errno) + ").";
        return false;
    }
    struct stat folder {};
    if (::lstat(m_folder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        m_problem = m_folder + " is not a folder.";
        return false;
    }
    if (folder.st_uid != ::geteuid() || (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        m_problem = "the folder " + m_folder +
                    " of its lock file belongs to another user or others may write to it.";
        return false;
    }
    return true;
}

CSingleInstance::~CSingleInstance() {
    Close();
}

std::string CSingleInstance::SocketPath() const {
    return m_folder + "/" + m_name;
}

bool CSingleInstance::Acquire() {
    m_problem.clear();
    if (m_lockFd >= 0)
        return true;
    if (!CheckFolder())
        return false;
    for (;;) {
        const int fd = ::open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            m_problem =
                "its lock file " + m_lockPath + " cannot be opened (" + std::strerror(errno) + ").";
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            // Held: another instance of this user runs.
            if (errno != EWOULDBLOCK)
                m_problem = "its lock file " + m_lockPath + " cannot be locked (" +
                            std::strerror(errno) + ").";
            ::close(fd);
            return false;
        }
        // The file may have been removed by a first instance that ended meanwhile: only
        // a lock on the file that the path names counts.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(m_lockPath.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            m_lockFd = fd;
            break;
        }
        ::close(fd);
    }
    // With the lock held no other instance serves: a socket file left here is stale.
    const QString socket = QString::fromStdString(SocketPath());
    QLocalServer::removeServer(socket);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    if (!m_server->listen(socket)) {
        // Start-up goes on as the first instance; later starts find no server to call.
        delete m_server;
        m_server = nullptr;
    }
    return true;
}

bool CSingleInstance::SendShowRequest(int showState) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(SocketPath()));
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(QByteArray::number(showState) + "\n");
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectTimeoutMs);
    return sent;
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            while (client->canReadLine()) {
                bool ok = false;
                const int state = client->readLine().trimmed().toInt(&ok);
                if (ok && m_handler)
                    m_handler(state);
            }
        });
    }
}

void CSingleInstance::Close() {
    if (m_server) {
        m_server->close(); // removes its socket file
        delete m_server;
        m_server = nullptr;
    }
    if (m_lockFd >= 0) {
        // Removed while still held, so that a start waiting for it opens a fresh file.
        ::unlink(m_lockPath.c_str());
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}
