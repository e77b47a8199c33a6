// quellin on a workstation, run as the README tells a user: a namespace stands for the
// workstation, whose own stack uses eth0 (a veth, every offload on at both ends) with an
// IPv4 address, two IPv6 addresses (the second with lifetimes, as a temporary address has)
// and default routes; the network behind it is another namespace. The daemon takes eth0
// over, every flow is emulated, and a stop, or a SIGKILL and a new start, gives the
// workstation back exactly what it had, compared as `ip -j` shows it: after a SIGTERM, a
// SIGHUP (the terminal closed) or a SIGPIPE, and after a SIGKILL and a new start.
#include "WorkstationLab.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace netnslab;
using namespace e2e;

namespace {

class Workstation : public WorkstationLab {
protected:
    Workstation() { quellin = QUELLIN_BINARY; }
};

} // namespace

TEST_F(Workstation, TakesEth0OverEmulatesEveryFlowAndGivesEverythingBackOnSigterm) {
    const std::string mac = mac_address(ws, kEth);
    Process& daemon = start_daemon();
    ASSERT_TRUE(taken_over()) << log_text();
    // The station's stack sees ql0 only, with eth0's hardware address and MTU; eth0 waits in
    // the daemon's namespace.
    EXPECT_FALSE(link_exists(ws, kEth));
    EXPECT_EQ(mac_address(ws, kTap), mac);
    EXPECT_EQ(link_mtu(ws, kTap), 1500);
    EXPECT_TRUE(link_exists(held_namespace(daemon.pid()), kEth));
    const std::string routes = run_checked(ws, {"ip", "route", "show", "default"}) +
                               run_checked(ws, {"ip", "-6", "route", "show", "default"});
    EXPECT_NE(routes.find(std::string("via ") + kNwV4 + " dev ql0"), std::string::npos) << routes;
    EXPECT_NE(routes.find(std::string("via ") + kNwV6 + " dev ql0"), std::string::npos) << routes;
    const auto copied = address_lifetimes(ws, kTap).at(kWsV6Second);
    EXPECT_LE(copied.valid, 3600u);
    EXPECT_GT(copied.valid, 3500u);

    ASSERT_EQ(play(50, 10000), 0);
    const uint64_t csumErrors = snmp_counter(ws, "Udp", "InCsumErrors").value_or(0);

    // Ping: every reply once, after both delays.
    const RunResult ping =
        run(ws, {"ping", "-n", "-c", "10", "-i", "0.05", "-W", "2", kNwV4}, Millis(10000));
    const PingResult p = parse_ping(ping.out);
    EXPECT_EQ(p.received, 10) << ping.out;
    EXPECT_EQ(p.duplicates, 0) << ping.out;
    EXPECT_EQ(ping.out.find("DUP!"), std::string::npos) << ping.out;
    EXPECT_GE(p.rtt_min_ms, 97.5) << ping.out; // each way may leave up to 1 ms early
    EXPECT_LE(p.rtt_avg_ms, 250.0) << ping.out;

    // UDP both ways: one-way delays of 50 ms; from the network, whose veth leaves its
    // checksums to offload, every datagram arrives and verifies.
    const UdpResult out = run_udp(udp(ws, nw, kNwV4, 100, 200, 100, 47500));
    EXPECT_EQ(out.recv.count("received"), 100u);
    EXPECT_GE(out.recv.num("delay_us_median"), 49000);
    EXPECT_LE(out.recv.num("delay_us_median"), kLateUs);
    const UdpResult in = run_udp(udp(nw, ws, kWsV4, 300, 1000, 1000, 47501));
    EXPECT_EQ(in.recv.count("received"), 300u);
    EXPECT_GE(in.recv.num("delay_us_median"), 49000);
    EXPECT_LE(in.recv.num("delay_us_median"), kLateUs);
    EXPECT_EQ(snmp_counter(ws, "Udp", "InCsumErrors").value_or(0), csumErrors);

    // 20 Mbit/s offered for half a second leave at 10.
    const UdpResult bulk = run_udp(udp(ws, nw, kNwV4, 875, 1750, 1400, 47502));
    EXPECT_EQ(bulk.recv.count("received"), 875u);
    const double bulk_bps = bulk.recv.num("goodput_bps") * 1428 / 1400;
    EXPECT_GT(bulk_bps, 6e6);
    EXPECT_LT(bulk_bps, 10.5e6);

    // IPv6 from both of the workstation's addresses: each is the station.
    for (const char* source : {kWsV6, kWsV6Second}) {
        UdpFlow f = udp(ws, nw, kNwV6, 50, 200, 100, 47503);
        f.source = source;
        const UdpResult r = run_udp(f);
        EXPECT_EQ(r.recv.count("received"), 50u) << source;
        EXPECT_GE(r.recv.num("delay_us_median"), 49000) << source;
        EXPECT_LE(r.recv.num("delay_us_median"), kLateUs) << source;
    }

    // TCP both ways, with segmentation and checksums left to the veth on the network's
    // side: shaped to 10 Mbit/s.
    for (const auto& [from, to, dest] : {std::tuple{ws, nw, kNwV4}, std::tuple{nw, ws, kWsV4}}) {
        TcpFlow tcp;
        tcp.from = from;
        tcp.to = to;
        tcp.dest = dest;
        tcp.port = from == ws ? 47504 : 47505;
        tcp.bytes = 1 << 20;
        const TcpResult t = run_tcp(tcp);
        EXPECT_EQ(t.recv.count("bytes"), tcp.bytes) << from;
        EXPECT_LT(t.recv.num("throughput_bps"), 10.5e6) << from;
        EXPECT_GT(t.recv.num("throughput_bps"), 1.5e6) << from;
    }
    stop_playing();

    const RunResult ended = daemon.stop(Millis(10000));
    EXPECT_EQ(ended.status, 0);
    const std::string text = log_text();
    EXPECT_NE(text.find("]: stopped"), std::string::npos) << text;
    EXPECT_NE(text.find("plays: adapter 1 (198.18.0.1), delay 50-50 ms"), std::string::npos)
        << text;
    expect_given_back();
}

TEST_F(Workstation, ADaemonKilledWithSigkillGivesEverythingBackOnItsNextStart) {
    Process& first = start_daemon();
    ASSERT_TRUE(taken_over()) << log_text();
    const pid_t killed = first.pid();
    ::kill(killed, SIGKILL);
    first.wait(Millis(5000));
    // eth0 outlived the daemon in its namespace; the TAP went with the process.
    EXPECT_FALSE(link_exists(ws, kTap));
    EXPECT_FALSE(link_exists(ws, kEth));
    EXPECT_TRUE(link_exists(held_namespace(killed), kEth));

    Process& second = start_daemon();
    ASSERT_TRUE(taken_over()) << log_text();
    EXPECT_NE(log_text().find("giving back eth0, left behind by the daemon with process id " +
                              std::to_string(killed)),
              std::string::npos)
        << log_text();
    EXPECT_FALSE(netns_exists(held_namespace(killed)));
    const PingResult p = ping(ws, kNwV4, 3, 20);
    EXPECT_EQ(p.received, 3);
    EXPECT_EQ(second.stop(Millis(10000)).status, 0);
    expect_given_back();
}

// The terminal or SSH session of a foreground daemon closes.
TEST_F(Workstation, AHangUpGivesEverythingBack) {
    Process& daemon = start_daemon();
    ASSERT_TRUE(taken_over()) << log_text();
    ::kill(daemon.pid(), SIGHUP);
    const RunResult ended = daemon.wait(Millis(10000));
    EXPECT_EQ(ended.status, 0) << log_text();
    EXPECT_NE(log_text().find("]: stopped"), std::string::npos) << log_text();
    expect_given_back();
}

// The daemon's log is piped into a reader that ends first (`quellin ... |& tee`, and
// Ctrl-C ends tee): the lines it writes then fail, and nothing else does; a SIGPIPE that
// another process sends stops it as any stop signal does.
TEST_F(Workstation, ALogWhoseReaderWentIsNotFatalAndASigpipeGivesEverythingBack) {
    const std::string fifo = (dir / "log.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Process reader = Process::start("", {"sh", "-c", "exec cat <'" + fifo + "' >>'" + log + "'"});
    Process& daemon = start_daemon({"--foreground", "--bind", "tap:ql0=eth0"}, fifo);
    ASSERT_TRUE(taken_over()) << log_text();
    reader.stop(Millis(2000));
    // A play and its stop are logged, to the reader that is gone.
    ASSERT_EQ(play(20, 10000), 0);
    stop_playing();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(daemon.running());
    EXPECT_TRUE(can_connect());
    EXPECT_EQ(ping(ws, kNwV4, 3, 20).received, 3);

    ::kill(daemon.pid(), SIGPIPE);
    EXPECT_EQ(daemon.wait(Millis(10000)).status, 0);
    expect_given_back();
}
