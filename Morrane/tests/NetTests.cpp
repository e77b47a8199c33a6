#include "Morrane/IP.h"
#include "Morrane/InetAddress.h"
#include "Morrane/Socket.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

unsigned packed(const char* text) {
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

TEST(InetAddress, DottedTextAndComparison) {
    CInetAddress none;
    EXPECT_FALSE(none.is_inet_address());
    EXPECT_TRUE(!none);
    EXPECT_EQ(none.get_hostname(), "");

    CInetAddress a("198.18.0.1");
    EXPECT_TRUE(a.is_inet_address());
    EXPECT_EQ(a.get_host_address(), "198.18.0.1");
    EXPECT_EQ(a.get_address().s_addr, packed("198.18.0.1"));
    CInetAddress b(a.get_address());
    EXPECT_TRUE(a == b);
    b = "198.18.0.2";
    EXPECT_TRUE(a != b);
}

TEST(InetAddress, TextThatIsNoAddressGivesNoAddress) {
    CInetAddress bad("not-an-address");
    EXPECT_FALSE(bad.is_inet_address());
    EXPECT_NE(bad.get_host_address(), "255.255.255.255");
    CInetAddress assigned("198.18.0.1");
    assigned = "1.2.3.4.5";
    EXPECT_FALSE(assigned.is_inet_address());
    // The real broadcast address is still an address.
    EXPECT_EQ(CInetAddress("255.255.255.255").get_host_address(), "255.255.255.255");
    EXPECT_FALSE(CInetHostAddress("999.1.1.1").is_inet_address());
}

TEST(InetHostAddress, AddressTextAndLocalHost) {
    EXPECT_EQ(CInetHostAddress("198.18.3.4").get_host_address(), "198.18.3.4");
    char name[64] = {};
    CInetHostAddress::get_local_host_name(name, sizeof name);
    EXPECT_GT(std::strlen(name), 0u);
    in_addr raw{};
    raw.s_addr = packed("198.18.0.9");
    EXPECT_EQ(CInetHostAddress(raw).get_host_address(), "198.18.0.9");
}

// Runs fn in a child process with a private mount namespace in which /etc/hosts
// and /etc/nsswitch.conf are the given texts. Returns the child's output, or
// nothing when no such namespace can be made.
std::optional<std::string> in_private_hosts(const std::string& hosts, std::string (*fn)()) {
    testsupport::TempDir dir{"hosts"};
    testsupport::write_file(dir / "hosts", hosts);
    testsupport::write_file(dir / "nsswitch.conf", "hosts: files\n");
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return std::nullopt;
    pid_t pid = fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        close(pipeFds[0]);
        if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            _exit(77);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            _exit(77);
        if (mount((dir / "hosts").c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0 ||
            mount((dir / "nsswitch.conf").c_str(), "/etc/nsswitch.conf", nullptr, MS_BIND,
                  nullptr) != 0)
            _exit(77);
        std::string out = fn();
        ssize_t n = write(pipeFds[1], out.data(), out.size());
        _exit(n == static_cast<ssize_t>(out.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed";
    return out;
}

std::string resolve_names() {
    std::string out;
    out += CInetHostAddress("multi.altiren.test").get_host_address() + "|";
    out += CInetHostAddress("single.altiren.test").get_host_address() + "|";
    out += CInetHostAddress("7seas.altiren.test").get_host_address() + "|";
    out += CInetHostAddress("missing.altiren.test").get_host_address() + "|";
    out += CInetAddress("198.18.0.20").get_hostname() + "|";
    out += CInetAddress("198.18.0.99").get_hostname();
    return out;
}

TEST(InetHostAddress, ResolvesNamesFromThePrivateHostsFile) {
    const std::string hosts = "198.18.0.10 multi.altiren.test\n"
                              "198.18.0.11 multi.altiren.test\n"
                              "198.18.0.12 multi.altiren.test\n"
                              "198.18.0.20 single.altiren.test\n"
                              "198.18.0.30 7seas.altiren.test\n";
    auto out = in_private_hosts(hosts, &resolve_names);
    if (!out)
        GTEST_SKIP() << "no private mount namespace available (unshare refused)";
    EXPECT_EQ(*out, "198.18.0.12|198.18.0.20|198.18.0.30|0.0.0.0|single.altiren.test|"
                    "198.18.0.99");
}

TEST(IP, FormatAndLenientReading) {
    EXPECT_STREQ(CIP::Format(packed("198.18.1.2")), "198.18.1.2");
    char buffer[16];
    EXPECT_STREQ(CIP::Format(packed("10.0.0.255"), buffer), "10.0.0.255");
    unsigned address = 0;
    EXPECT_TRUE(CIP::ConvertStringIPToIP("198.18.1.2", address));
    EXPECT_EQ(address, packed("198.18.1.2"));
    EXPECT_FALSE(CIP::ConvertStringIPToIP("1.2.3.4.5", address));
    EXPECT_FALSE(CIP::ConvertStringIPToIP("1.2.3.256", address));
    EXPECT_FALSE(CIP::ConvertStringIPToIP("1.2.3", address));
    EXPECT_EQ(CIP().GetClass(), "CSObject");
}

TEST(IP, FormatBufferIsPerThread) {
    const char* mine = CIP::Format(packed("198.18.0.1"));
    std::thread other([] { CIP::Format(packed("198.18.0.2")); });
    other.join();
    EXPECT_STREQ(mine, "198.18.0.1");
}

TEST(IP, StrictIPv4Reading) {
    unsigned long address = 0;
    EXPECT_TRUE(CIP::inet_addr("198.18.0.1", address));
    EXPECT_EQ(address, packed("198.18.0.1"));
    for (const char* bad : {"1.2.3", "1.2.3.256", "1.2.3.4.5", "1..3.4", "1.2.3.4.", " 1.2.3.4",
                            "1.2.3.a", "", "0x1.2.3.4", "1234.1.1.1"})
        EXPECT_FALSE(CIP::inet_addr(bad, address)) << bad;
    EXPECT_TRUE(CIP::inet_addr("0.0.0.0", address));
    EXPECT_TRUE(CIP::inet_addr("255.255.255.255", address));
}

std::string ntoa6(const unsigned short* words) {
    char buffer[64];
    unsigned length = sizeof buffer;
    EXPECT_TRUE(CIP::inet_ntoa(words, buffer, length));
    EXPECT_EQ(length, std::strlen(buffer));
    return buffer;
}

TEST(IP, IPv6TextForms) {
    unsigned short words[8];
    unsigned count = 8;
    ASSERT_TRUE(CIP::inet_addr("::ffff:10.0.0.1", words, count));
    const unsigned short mapped[8] = {0, 0, 0, 0, 0, 0xFFFF, 0x0A00, 0x0001};
    EXPECT_TRUE(std::equal(words, words + 8, mapped));
    EXPECT_EQ(ntoa6(words), "::ffff:10.0.0.1");

    ASSERT_TRUE(CIP::inet_addr("2001:2:0:0:1:0:0:ABCD", words, count));
    EXPECT_EQ(ntoa6(words), "2001:2::1:0:0:abcd"); // first of equal runs
    ASSERT_TRUE(CIP::inet_addr("2001:2:0:1:0:0:0:1", words, count));
    EXPECT_EQ(ntoa6(words), "2001:2:0:1::1"); // the longest run, not a single group
    ASSERT_TRUE(CIP::inet_addr("::198.18.0.1", words, count));
    EXPECT_EQ(ntoa6(words), "::198.18.0.1"); // IPv4-compatible
    ASSERT_TRUE(CIP::inet_addr("::1", words, count));
    EXPECT_EQ(ntoa6(words), "::1");
    ASSERT_TRUE(CIP::inet_addr("2001:0002:0000:0000:0000:0000:0000:00f0", words, count));
    EXPECT_EQ(ntoa6(words), "2001:2::f0");

    for (const char* bad : {"1:2:3", "::1::2", "12345::", "2001:2::g", "1.2.3.4", ""})
        EXPECT_FALSE(CIP::inet_addr(bad, words, count)) << bad;

    unsigned wrong = 4;
    EXPECT_FALSE(CIP::inet_addr("::1", words, wrong));
    EXPECT_EQ(wrong, 8u);
}

TEST(IP, TextIntoTooSmallBufferOnlySetsTheLength) {
    char buffer[8] = "xxxxxxx";
    unsigned length = sizeof buffer;
    EXPECT_FALSE(CIP::inet_ntoa(static_cast<unsigned long>(packed("198.18.0.1")), buffer, length));
    EXPECT_EQ(length, 11u); // "198.18.0.1" and its terminator
    EXPECT_STREQ(buffer, "xxxxxxx");
    unsigned probe = 0;
    EXPECT_FALSE(CIP::inet_ntoa(static_cast<unsigned long>(packed("1.2.3.4")), nullptr, probe));
    EXPECT_EQ(probe, 8u);
    char exact[16];
    unsigned size = sizeof exact;
    EXPECT_TRUE(CIP::inet_ntoa(static_cast<unsigned long>(packed("1.2.3.4")), exact, size));
    EXPECT_EQ(size, 7u);
    EXPECT_STREQ(exact, "1.2.3.4");
}

// A loopback socket on an ephemeral port; listening unless told otherwise.
struct Listener {
    int fd = -1;
    unsigned short port = 0;
    explicit Listener(bool listening = true) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (listening)
            listen(fd, 4);
        socklen_t len = sizeof sa;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        port = ntohs(sa.sin_port);
    }
    ~Listener() { close(fd); }
};

TEST(Socket, ConnectSendAndReceiveOverLoopback) {
    Listener listener;
    CSocket socket;
    EXPECT_EQ(socket.get_state(), CSocket::eCreated);
    char buffer[16];
    EXPECT_EQ(socket.Send("x", 1), -1); // not connected: no system call
    EXPECT_EQ(socket.Recv(buffer, sizeof buffer), -1);
    ASSERT_TRUE(socket.Connect(CInetAddress("127.0.0.1"), listener.port));
    EXPECT_TRUE(socket.isConnected());
    EXPECT_FALSE(socket.Connect(CInetAddress("127.0.0.1"), listener.port));
    EXPECT_TRUE(socket.setNoDelay(true));
    EXPECT_FALSE(socket.hasError());

    int peer = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(socket.Send("hello", 5), 5);
    char got[8] = {};
    EXPECT_EQ(recv(peer, got, sizeof got, 0), 5);
    EXPECT_STREQ(got, "hello");
    EXPECT_EQ(send(peer, "back", 4, 0), 4);
    EXPECT_EQ(socket.Recv(buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "back");

    EXPECT_TRUE(socket.setCompletion(SOCK_NONBLOCKING));
    EXPECT_EQ(socket.Recv(buffer, sizeof buffer), -1);
    EXPECT_EQ(CSocket::getError(), SOCKERR_WOULDBLOCK);
    close(peer);
    socket.Close();
    EXPECT_EQ(socket.get_state(), CSocket::eNoSocket);
    EXPECT_EQ(socket.get_handle(), -1);
}

TEST(Socket, ResetPeerGivesErrorsWithoutSigpipe) {
    // Default SIGPIPE action: a send without MSG_NOSIGNAL would end the process.
    signal(SIGPIPE, SIG_DFL);
    Listener listener;
    CSocket socket;
    ASSERT_TRUE(socket.Connect(CInetAddress("127.0.0.1"), listener.port));
    int peer = accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    linger reset{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(peer); // sends RST
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    char buffer[16];
    EXPECT_EQ(socket.Recv(buffer, sizeof buffer), -1);
    int sent = 0;
    for (int i = 0; i < 10 && sent >= 0; ++i)
        sent = socket.Send("data", 4);
    EXPECT_EQ(sent, -1);
    EXPECT_EQ(CSocket::getError(), SOCKERR_OTHER); // EPIPE / ECONNRESET
}

TEST(Socket, RefusedConnectionClosesTheSocket) {
    Listener bound(false); // holds the port, but nothing listens there
    CSocket socket;
    EXPECT_FALSE(socket.Connect(CInetAddress("127.0.0.1"), bound.port));
    EXPECT_EQ(CSocket::getError(), SOCKERR_CONNREFUSED);
    EXPECT_EQ(socket.get_state(), CSocket::eNoSocket);
    EXPECT_TRUE(socket.hasError()); // no socket to ask
}

} // namespace
