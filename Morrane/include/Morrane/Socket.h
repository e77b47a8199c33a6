// Blocking TCP/UDP socket.
#pragma once

#include "Morrane/InetAddress.h"

#include <sys/socket.h>
#include <sys/types.h>

enum sockerror_t {
    SOCKERR_NETDOWN = 5,
    SOCKERR_CONNREFUSED = 9,
    SOCKERR_TIMEDOUT = 11,
    SOCKERR_ADDRNOTAVAIL = 13,
    SOCKERR_INPROGRESS = 14,
    SOCKERR_NETUNREACH = 15,
    SOCKERR_WOULDBLOCK = 24,
    SOCKERR_INTR = 25,
    SOCKERR_INVAL = 26,
    SOCKERR_OTHER = 27,
};

// Blocking mode for setCompletion: non-zero makes the socket non-blocking.
enum sockcomplete_t { SOCK_BLOCKING = 0, SOCK_NONBLOCKING = 1 };

class CSocket {
public:
    enum state_t { eNoSocket = 0, eCreated = 1, eConnected = 3 };

    CSocket(int family = AF_INET, int type = SOCK_STREAM, int protocol = 0);
    virtual ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // Creates the socket first when there is none; refused unless a fresh socket
    // exists. A failed connection closes the socket.
    bool Connect(const CInetAddress& address, unsigned short port);
    // -1 unless connected; otherwise the system call's result. Sending to a peer
    // that has gone returns -1 and never raises SIGPIPE.
    int Send(const void* buffer, int length);
    int Recv(void* buffer, int length);

    bool isConnected() const { return m_state == eConnected; }
    bool setNoDelay(bool on);
    bool setCompletion(sockcomplete_t mode);
    // True when SO_ERROR cannot be read or is not 0.
    bool hasError() const;
    void Close();

    state_t get_state() const { return m_state; }
    int get_handle() const { return m_socket; }

    static sockerror_t getError();

private:
    bool create();

    state_t m_state = eNoSocket;
    int m_socket = -1;
    int m_family;
    int m_type;
    int m_protocol;
};
