#include "Morrane/InetAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <unistd.h>
#include <vector>

CInetAddress::CInetAddress() {
    m_address.s_addr = 0;
}

CInetAddress::CInetAddress(const char* text) {
    set_dotted(text);
}

CInetAddress::CInetAddress(const in_addr& address) : m_address(address) {}

CInetAddress::~CInetAddress() = default;

CInetAddress& CInetAddress::operator=(const in_addr& address) {
    m_address = address;
    return *this;
}

CInetAddress& CInetAddress::operator=(const char* text) {
    set_dotted(text);
    return *this;
}

bool CInetAddress::set_dotted(const char* text) {
    m_address.s_addr = 0;
    in_addr parsed{};
    if (!text || ::inet_aton(text, &parsed) == 0)
        return false;
    m_address = parsed;
    return true;
}

std::string CInetAddress::get_host_address() const {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &m_address, text, sizeof text);
    return text;
}

std::string CInetAddress::get_hostname() const {
    if (!is_inet_address())
        return std::string();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = m_address;
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr,
                      0, NI_NAMEREQD) == 0)
        return host;
    return get_host_address();
}

CInetHostAddress::CInetHostAddress() : CInetHostAddress(static_cast<const char*>(nullptr)) {}

CInetHostAddress::CInetHostAddress(const in_addr& address) : CInetAddress(address) {}

CInetHostAddress::CInetHostAddress(const char* host) : CInetAddress("127.0.0.1") {
    char name[64] = {};
    if (!host) {
        get_local_host_name(name, sizeof name);
        if (std::strcmp(name, "(none)") == 0 || std::strcmp(name, "unknown") == 0)
            return;
        host = name;
    }
    // Text that opens with a digit is read as an address first; a name that
    // happens to open with a digit is still resolved.
    if (*host >= '0' && *host <= '9' && set_dotted(host))
        return;
    resolve(host);
}

void CInetHostAddress::resolve(const char* host) {
    m_address.s_addr = 0;
    hostent entry{};
    hostent* result = nullptr;
    int error = 0;
    std::vector<char> buffer(1024);
    for (;;) {
        int rc = ::gethostbyname2_r(host, AF_INET, &entry, buffer.data(), buffer.size(), &result,
                                    &error);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        break;
    }
    if (!result || result->h_addrtype != AF_INET || result->h_length != sizeof(in_addr) ||
        !result->h_addr_list[0])
        return;
    char** last = result->h_addr_list;
    while (last[1])
        ++last;
    std::memcpy(&m_address, *last, sizeof m_address);
}

void CInetHostAddress::get_local_host_name(char* buffer, int length) {
    if (!buffer || length <= 0)
        return;
    if (::gethostname(buffer, static_cast<size_t>(length)) == 0) {
        buffer[length - 1] = '\0';
        return;
    }
    if (length > static_cast<int>(std::strlen("unknown")))
        std::strcpy(buffer, "unknown");
    else
        buffer[0] = '\0';
}
