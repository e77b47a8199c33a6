#include "Morrane/Socket.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <unistd.h>

CSocket::CSocket(int family, int type, int protocol)
    : m_family(family), m_type(type), m_protocol(protocol) {
    create();
}

CSocket::~CSocket() {
    Close();
}

bool CSocket::create() {
    m_socket = ::socket(m_family, m_type | SOCK_CLOEXEC, m_protocol);
    if (m_socket < 0) {
        m_socket = -1;
        return false;
    }
    m_state = eCreated;
    return true;
}

bool CSocket::Connect(const CInetAddress& address, unsigned short port) {
    if (m_socket < 0 && !create())
        return false;
    if (m_state != eCreated)
        return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = address.get_address();
    int rc;
    do {
        rc = ::connect(m_socket, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int saved = errno;
        Close();
        errno = saved;
        return false;
    }
    m_state = eConnected;
    return true;
}

int CSocket::Send(const void* buffer, int length) {
    if (m_state != eConnected || length < 0)
        return -1;
    return static_cast<int>(::send(m_socket, buffer, static_cast<size_t>(length), MSG_NOSIGNAL));
}

int CSocket::Recv(void* buffer, int length) {
    if (m_state != eConnected || length < 0)
        return -1;
    return static_cast<int>(::recv(m_socket, buffer, static_cast<size_t>(length), 0));
}

bool CSocket::setNoDelay(bool on) {
    int value = on ? 1 : 0;
    return m_socket >= 0 &&
           ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0;
}

bool CSocket::setCompletion(sockcomplete_t mode) {
    int value = mode != SOCK_BLOCKING ? 1 : 0;
    return m_socket >= 0 && ::ioctl(m_socket, FIONBIO, &value) == 0;
}

bool CSocket::hasError() const {
    int error = 0;
    socklen_t size = sizeof error;
    if (m_socket < 0 || ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return true;
    return error != 0;
}

void CSocket::Close() {
    if (m_socket < 0)
        return;
    m_state = eNoSocket;
    ::shutdown(m_socket, SHUT_RDWR);
    ::close(m_socket);
    m_socket = -1;
}

sockerror_t CSocket::getError() {
    switch (errno) {
    case EINTR:
        return SOCKERR_INTR;
    case EINVAL:
        return SOCKERR_INVAL;
    case EWOULDBLOCK:
        return SOCKERR_WOULDBLOCK;
    case EINPROGRESS:
        return SOCKERR_INPROGRESS;
    case EADDRNOTAVAIL:
        return SOCKERR_ADDRNOTAVAIL;
    case ENETDOWN:
        return SOCKERR_NETDOWN;
    case ENETUNREACH:
        return SOCKERR_NETUNREACH;
    case ETIMEDOUT:
        return SOCKERR_TIMEDOUT;
    case ECONNREFUSED:
        return SOCKERR_CONNREFUSED;
    default:
        return SOCKERR_OTHER;
    }
}
