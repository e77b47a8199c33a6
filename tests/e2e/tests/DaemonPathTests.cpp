// Every effect of the emulator on real packets: the quellin daemon in the wire namespace,
// plays through libAltirenAPI, traffic between the station and the network namespace.
#include "DaemonLab.h"

#include <algorithm>
#include <csignal>
#include <future>
#include <map>
#include <set>
#include <sys/wait.h>

using namespace e2e;

namespace {

// The station's neighbour entry for an address, as `ip neigh` shows it ("" when none).
std::string neighbour(Lab& lab, const char* address) {
    return netnslab::run(lab.station(), {"ip", "neigh", "show", address}).out;
}

} // namespace

TEST_F(DaemonLab, BypassPassesPingAndTcpUnchanged) {
    const PingResult p = netnslab::ping(lab().station(), kNetworkV4, 5, 20);
    EXPECT_EQ(p.received, 5);
    const PingResult p6 = netnslab::ping(lab().station(), kNetworkV6, 3, 20);
    EXPECT_EQ(p6.received, 3);
    TcpFlow tcp;
    tcp.from = lab().station();
    tcp.to = lab().network();
    tcp.dest = kNetworkV4;
    tcp.bytes = 4 << 20;
    const TcpResult r = run_tcp(tcp);
    EXPECT_EQ(r.recv.count("bytes"), tcp.bytes);
    EXPECT_EQ(r.recv.count("complete"), 1u);
    // The TAP got its MTU and address before the lab moved it to the station: the binding
    // warned of nothing.
    EXPECT_EQ(log_text().find("cannot"), std::string::npos) << log_text();
}

TEST_F(DaemonLab, ArpResolvesWhileHeavyLossPlays) {
    params.lossType = 2;
    params.randomLoss = 90;
    ASSERT_EQ(play(), 0);
    netnslab::run(lab().station(), {"ip", "neigh", "flush", "dev", kStationIf});
    // Only the IPv4 packets are lost: the ARP exchange they start goes through.
    netnslab::ping(lab().station(), kNetworkV4, 2, 20, Millis(5000));
    const std::string entry = neighbour(lab(), kNetworkV4);
    EXPECT_NE(entry.find("lladdr"), std::string::npos) << entry;
}

TEST_F(DaemonLab, FixedDelayIsOneWayAndTheHandOutShowsTheTraffic) {
    params.minDelay = params.maxDelay = 50;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(200, 200, 100);
    f.port = 47010;
    const UdpResult r = run_udp(f);
    EXPECT_EQ(r.recv.count("received"), 200u);
    const double median_ms = r.recv.num("delay_us_median") / 1000.0;
    EXPECT_GE(median_ms, 49.0);
    EXPECT_LE(median_ms, 51.5);

    // IPv6: the block carries the station's global address, found on its interface.
    UdpFlow f6 = udp(50, 200, 100);
    f6.dest = kNetworkV6;
    f6.port = 47011;
    const UdpResult r6 = run_udp(f6);
    EXPECT_EQ(r6.recv.count("received"), 50u);
    EXPECT_GE(r6.recv.num("delay_us_median"), 49000.0);

    const PingResult echo = netnslab::ping(lab().station(), kNetworkV4, 3, 20);
    EXPECT_EQ(echo.received, 3);
    EXPECT_GE(echo.rtt_min_ms, 98.0); // 50 ms each way

    // The records of that traffic, once the one-second completions have brought them: 200
    // of the flow and the 6 of the echoes (3 requests, 3 replies).
    const auto isFlow = [&](const NuvexPacketRecord& record) {
        char proto[40] = {};
        NuvexGetProtocol(record.packet, proto);
        return NuvexGetPacketIpVersion(record.packet) == 0 && std::string(proto) == "UDP" &&
               NuvexGetPort(record.packet, 0) == f.port;
    };
    const auto isEcho = [](const NuvexPacketRecord& record) {
        char proto[40] = {};
        NuvexGetProtocol(record.packet, proto);
        return std::string(proto).rfind("ICMP  echo", 0) == 0;
    };
    const Handouts got = gather_handouts([&](const Handouts& h) {
        return std::count_if(h.records.begin(), h.records.end(), isFlow) >= 200 &&
               std::count_if(h.records.begin(), h.records.end(), isEcho) >= 6;
    });
    int udpRecords = 0;
    std::map<std::string, std::set<int>> icmpSides;
    for (const NuvexPacketRecord& record : got.records) {
        const uint8_t* pk = record.packet;
        char proto[40] = {};
        NuvexGetProtocol(pk, proto);
        if (std::string(proto).rfind("ICMP", 0) == 0)
            icmpSides[proto].insert(record.side);
        if (!isFlow(record))
            continue;
        ++udpRecords;
        char text[64] = {};
        uint32_t length = sizeof text;
        NuvexGetDisplayAddress(pk, text, &length, 1);
        EXPECT_STREQ(text, kStationV4);
        length = sizeof text;
        NuvexGetDisplayAddress(pk, text, &length, 0);
        EXPECT_STREQ(text, kNetworkV4);
        EXPECT_EQ(NuvexGetPacketSize(pk), 128u); // 20 + 8 + 100
        EXPECT_EQ(record.side, 0);
    }
    EXPECT_EQ(udpRecords, 200);
    EXPECT_EQ(icmpSides["ICMP  echo request"], std::set<int>{0});
    EXPECT_EQ(icmpSides["ICMP  echo reply"], std::set<int>{1});

    // Stop: no delay any more; then a play while playing stops the emulation.
    ASSERT_EQ(stop(), 0);
    f.count = 50;
    const UdpResult after = run_udp(f);
    EXPECT_LT(after.recv.num("delay_us_median"), 20000.0);
    ASSERT_EQ(play(), 0);
    EXPECT_EQ(play(), 0);
    uint32_t emulating = 1;
    for (int i = 0; i < 100 && emulating; ++i) {
        ASSERT_EQ(NuvexGetStatus(&emulating), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(emulating, 0u);
    playing = false;
}

TEST_F(DaemonLab, OneMegabitWithASixteenKilobyteBucket) {
    params.eastOutBandwidth = 1000; // kbit/s
    params.eastBucketMode = 0;      // bytes
    params.eastBucketSize = 16;     // KB
    ASSERT_EQ(play(), 0);
    // 2 Mbit/s offered for 3 s: half of it fits.
    UdpFlow f = udp(500, 250, 1000 - 28);
    f.port = 47020;
    const UdpResult r = run_udp(f);
    const double goodput_bps =
        r.recv.count("received") * 1000.0 * 8 / std::max(r.recv.num("duration_s"), 1e-3);
    EXPECT_NEAR(goodput_bps, 1e6, 1e5) << r.recv.fields.at("received");
    EXPECT_LT(r.recv.count("received"), 500u);
    uint32_t stats[12] = {};
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    ASSERT_EQ(GetLastSecondStatistics(stats), 0);
    EXPECT_GT(stats[10], 0u); // East bucket drops, total

    TcpFlow tcp;
    tcp.from = lab().station();
    tcp.to = lab().network();
    tcp.dest = kNetworkV4;
    tcp.bytes = 400000;
    const TcpResult t = run_tcp(tcp);
    EXPECT_EQ(t.recv.count("bytes"), tcp.bytes);
    EXPECT_LE(t.recv.num("throughput_bps"), 1.1e6);
}

TEST_F(DaemonLab, PeriodicLossDropsEverySecondPacket) {
    params.lossType = 1;
    params.lossPeriod = 2;
    only_network();
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(200, 1000);
    f.list = true;
    const UdpResult r = run_udp(f);
    const auto missing = missing_sequences(r.packets, 200);
    ASSERT_EQ(missing.size(), 100u);
    for (size_t i = 1; i < missing.size(); ++i)
        EXPECT_EQ(missing[i] - missing[i - 1], 2u);
}

TEST_F(DaemonLab, RandomLossMatchesTheLossFlagsOfTheExitList) {
    params.lossType = 2;
    params.randomLoss = 10;
    only_network();
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(5000, 2500);
    f.list = true;
    const UdpResult r = run_udp(f);
    const auto missing = missing_sequences(r.packets, 5000);
    EXPECT_NEAR(missing.size() / 50.0, 10.0, 1.5);

    // Every packet's exit entry and record, however long the hand-outs take to bring them.
    const Handouts got = gather_handouts(
        [](const Handouts& h) { return h.lists[3].size() >= 5000 && h.records.size() >= 5000; });
    // The probe each packet carried, by the daemon's number: a record holds the packet's
    // first bytes, the probe's magic at 28 (behind 20 bytes of IPv4 and 8 of UDP) and its
    // number at 32. The daemon numbers packets as they reach it, which need not be the
    // order they were sent in on a loaded machine.
    const auto le32 = [](const uint8_t* p) {
        return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    };
    std::map<uint32_t, uint32_t> probeOf;
    for (const NuvexPacketRecord& record : got.records)
        if (record.side == 0 && le32(record.packet + 28) == 0x50545441)
            probeOf[record.sequence] = le32(record.packet + 32);
    std::vector<uint32_t> flagged;
    std::set<uint32_t> seen;
    for (const NuvexPacketListEntry& exit : got.lists[3]) {
        const auto probe = probeOf.find(exit.sequence);
        if (probe == probeOf.end())
            continue;
        seen.insert(probe->second);
        if (exit.flags & 0x01)
            flagged.push_back(probe->second);
    }
    ASSERT_EQ(seen.size(), 5000u) << got.lists[3].size() << " exit entries, " << got.records.size()
                                  << " records; sent " << r.send.count("sent") << ", send errors "
                                  << r.send.count("errors");
    std::sort(flagged.begin(), flagged.end());
    EXPECT_EQ(flagged, missing);
}

TEST_F(DaemonLab, ReorderingDisplacesByExactlyThree) {
    params.outOfOrderChance = 50;
    params.outOfOrderMinRange = params.outOfOrderMaxRange = 3;
    only_network();
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(300, 1000);
    f.list = true;
    const UdpResult r = run_udp(f);
    int held = 0;
    for (const auto& [seq, shift] : displacements(r.packets)) {
        if (shift > 0) {
            EXPECT_EQ(shift, 3) << seq;
            ++held;
        } else {
            EXPECT_EQ(shift, -1) << seq;
        }
    }
    EXPECT_GT(held, 20);
}

TEST_F(DaemonLab, DuplicationGivesThreeCopies) {
    params.duplicationChance = 99;
    params.duplicationMinBurst = params.duplicationMaxBurst = 2;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(200, 500);
    f.list = true;
    // The last packet's copies may come after the receiver has seen every number.
    f.linger = Millis(500);
    const UdpResult r = run_udp(f);
    const auto c = copies(r.packets);
    EXPECT_GE(c.size(), 190u);
    for (const auto& [seq, n] : c)
        EXPECT_EQ(n, 3) << seq;
}

TEST_F(DaemonLab, BitErrorsFlipPayloadOrFailTheChecksum) {
    params.bitErrorChance = 4000;
    params.bitErrorMinBurst = params.bitErrorMaxBurst = 1;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(300, 1000, 400);
    f.no_checksum = true;
    UdpResult r = run_udp(f);
    EXPECT_GT(r.recv.count("corrupt"), 30u);

    const uint64_t before = snmp_counter(lab().network(), "Udp", "InCsumErrors").value_or(0);
    f.no_checksum = false;
    r = run_udp(f);
    const uint64_t after = snmp_counter(lab().network(), "Udp", "InCsumErrors").value_or(0);
    EXPECT_GT(after - before, 30u);
    // Two flips of opposite sense 16 bits apart cancel in the checksum: rare, not none.
    EXPECT_LT(r.recv.count("corrupt") * 5, after - before);
}

TEST_F(DaemonLab, FragmentsAreReassembledAndTooBigIsCached) {
    params.fragmentationChance = 99;
    params.fragmentSize = 576;
    params.fragmentOrder = 2; // answer packets that must not be cut
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(100, 500, 1400);
    f.df = "off";
    const UdpResult r = run_udp(f);
    EXPECT_EQ(r.recv.count("received"), 100u);

    // With "don't fragment" the station is told, and its kernel keeps the path MTU.
    f.df = "on";
    f.count = 5;
    f.timeout = Millis(3000);
    try {
        run_udp(f);
    } catch (const std::exception&) {
        // the sender may see EMSGSIZE once the answer is cached
    }
    // The answer carries no next-hop MTU, so the kernel takes its floor of 552.
    const auto mtu4 = route_mtu(lab().station(), kNetworkV4);
    ASSERT_TRUE(mtu4) << netnslab::run(lab().station(), {"ip", "route", "get", kNetworkV4}).out;
    EXPECT_EQ(*mtu4, 552);
    UdpFlow f6 = f;
    f6.dest = kNetworkV6;
    std::string how; // what the IPv6 probes met, for a failure's message
    try {
        const UdpResult r6 = run_udp(f6);
        how = "received " + std::to_string(r6.recv.count("received")) + " of " +
              std::to_string(r6.send.count("sent"));
    } catch (const std::exception& e) {
        how = e.what();
    }
    const auto mtu6 = route_mtu(lab().station(), kNetworkV6);
    ASSERT_TRUE(mtu6)
        << how << "\n"
        << netnslab::run(lab().station(), {"ip", "-6", "route", "get", kNetworkV6}).out
        << netnslab::run(lab().station(), {"ip", "-6", "addr"}).out << log_text();
    EXPECT_EQ(*mtu6, 1280); // the answer's MTU: max(576, 1280)
}

TEST_F(DaemonLab, IncludeFilterLeavesOtherHostsUntouched) {
    lab().add_address(lab().network(), kNetworkIf, "198.18.0.3/24");
    params.minDelay = params.maxDelay = 50;
    params.filterCount = 1;
    params.filterMode = 1;
    params.filterAddresses[0] = ipv4_of(kNetworkV4);
    ASSERT_EQ(play(), 0);
    UdpFlow other = udp(100, 500);
    other.dest = "198.18.0.3";
    const UdpResult o = run_udp(other);
    EXPECT_EQ(o.recv.count("received"), 100u);
    EXPECT_LT(o.recv.num("delay_us_median"), 20000.0);
    const UdpResult d = run_udp(udp(100, 500));
    EXPECT_GE(d.recv.num("delay_us_median"), 49000.0);
}

TEST_F(DaemonLab, StopSendsOnWhatTheDelayHolds) {
    params.minDelay = params.maxDelay = 500;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(200, 1000);
    f.linger = Millis(1500);
    const uint64_t sentBefore = udp_sent();
    auto flow = std::async(std::launch::async, [f] { return run_udp(f); });
    // The sender needs 200 ms; stop once it is done, while its packets wait in the delay.
    EXPECT_TRUE(sent_within(sentBefore + 200, std::chrono::seconds(10)));
    ASSERT_EQ(stop(), 0);
    const UdpResult r = flow.get();
    EXPECT_EQ(r.recv.count("received"), 200u);
    EXPECT_LT(r.recv.num("delay_us_min"), 450000.0); // some left the queue early, at the stop
}

TEST_F(DaemonLab, SigtermSendsOnWhatTheDelayHoldsBeforeTheDaemonEnds) {
    params.minDelay = params.maxDelay = 500;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(200, 1000);
    f.linger = Millis(1500);
    const uint64_t sentBefore = udp_sent();
    auto flow = std::async(std::launch::async, [f] { return run_udp(f); });
    EXPECT_TRUE(sent_within(sentBefore + 200, std::chrono::seconds(10)));
    // The daemon's log lines carry its process id: "quellin[PID]: ...".
    const std::string text = log_text();
    const auto at = text.find("quellin[");
    ASSERT_NE(at, std::string::npos) << text;
    const pid_t daemon = static_cast<pid_t>(std::stol(text.substr(at + 8)));
    ASSERT_EQ(::kill(daemon, SIGTERM), 0);
    const UdpResult r = flow.get();
    EXPECT_EQ(r.recv.count("received"), 200u);
    EXPECT_LT(r.recv.num("delay_us_min"), 450000.0); // some left the queue early, at the end
    playing = false;                                 // nothing left to stop
}

TEST_F(DaemonLab, StatusAndResetOfADaemonLeftPlayingByAKilledClient) {
    pid_t client = ::fork();
    ASSERT_GE(client, 0);
    if (client == 0) {
        NetnsGuard in(lab().station());
        params.minDelay = params.maxDelay = 50;
        if (NuvexPlayEmulation(&params) != 0)
            ::_exit(1);
        uint32_t on = 0;
        for (int i = 0; i < 250 && !on; ++i) {
            if (NuvexGetStatus(&on) != 0)
                ::_exit(2);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::raise(SIGKILL);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(client, &status, 0), client);
    ASSERT_TRUE(WIFSIGNALED(status)) << WEXITSTATUS(status);
    uint32_t emulating = 0;
    ASSERT_EQ(NuvexGetStatus(&emulating), 0);
    EXPECT_EQ(emulating, 1u);
    EXPECT_GE(run_udp(udp(50, 500)).recv.num("delay_us_median"), 49000.0);

    EXPECT_EQ(NuvexForceDriverReset(), 0);
    for (int i = 0; i < 100 && emulating; ++i) {
        ASSERT_EQ(NuvexGetStatus(&emulating), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(emulating, 0u);
    EXPECT_LT(run_udp(udp(50, 500)).recv.num("delay_us_median"), 20000.0);
}

TEST_F(DaemonLab, ALowerInterfaceThatGoesFreesWhatTheDelayHolds) {
    params.minDelay = params.maxDelay = 1000;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(100, 1000);
    f.timeout = Millis(3000);
    f.idle = Millis(300);
    const uint64_t sentBefore = udp_sent();
    auto flow = std::async(std::launch::async, [f] {
        try {
            return run_udp(f).recv.count("received");
        } catch (const std::exception&) {
            return uint64_t{0};
        }
    });
    // Every packet sent, however slowly the sender started: they wait in the delay.
    EXPECT_TRUE(sent_within(sentBefore + 100, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The daemon holds wn0 in a namespace of its own: its peer takes it down with it.
    lab().run(lab().network(), {"ip", "link", "del", kNetworkIf});
    EXPECT_EQ(flow.get(), 0u);
    // The daemon let go of the queued packets and still answers.
    uint32_t emulating = 0;
    EXPECT_EQ(NuvexGetStatus(&emulating), 0);
    const std::string text = log_text();
    const auto at = text.find("queued packets freed");
    ASSERT_NE(at, std::string::npos) << text;
    const auto line = text.substr(text.rfind(", ", at) + 2, at - text.rfind(", ", at) - 2);
    EXPECT_GT(std::stoul(line), 50u) << text;
}
