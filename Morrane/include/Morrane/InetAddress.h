// IPv4 address holders.
#pragma once

#include <netinet/in.h>
#include <string>

class CInetAddress {
public:
    CInetAddress();
    // Dotted text; text that is not an IPv4 address gives the zero address
    // ("no address"), never 255.255.255.255.
    explicit CInetAddress(const char* text);
    explicit CInetAddress(const in_addr& address);
    virtual ~CInetAddress();

    CInetAddress& operator=(const in_addr& address);
    CInetAddress& operator=(const char* text);

    bool is_inet_address() const { return m_address.s_addr != 0; }
    bool operator!() const { return !is_inet_address(); }
    bool operator==(const CInetAddress& other) const {
        return m_address.s_addr == other.m_address.s_addr;
    }
    bool operator!=(const CInetAddress& other) const { return !(*this == other); }

    const in_addr& get_address() const { return m_address; }
    // Dotted text.
    std::string get_host_address() const;
    // The name of the address (reverse look-up), the dotted text when the look-up
    // fails, empty for the zero address.
    std::string get_hostname() const;

protected:
    // Reads dotted text (the forms inet_aton accepts); false leaves the address zero.
    bool set_dotted(const char* text);

    in_addr m_address;
};

class CInetHostAddress : public CInetAddress {
public:
    // The local host.
    CInetHostAddress();
    // A host text: null for the local host, an IPv4 address text, or a name to
    // resolve (the last address of the result is taken). A failed resolution
    // gives the zero address.
    explicit CInetHostAddress(const char* host);
    explicit CInetHostAddress(const in_addr& address);

    // gethostname; on failure "unknown" when it fits.
    static void get_local_host_name(char* buffer, int length);

private:
    void resolve(const char* host);
};
