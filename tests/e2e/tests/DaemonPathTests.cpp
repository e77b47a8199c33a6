// Every effect of the emulator on real packets: the quellin daemon in the wire namespace,
// plays through libAltirenAPI, traffic between the station and the network namespace.
#include "DaemonLab.h"

#include <algorithm>
#include <future>
#include <map>
#include <set>

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

    // The records of that traffic, once the one-second completions have brought them.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    NuvexPacketList list{};
    list.listsWanted = 1;
    ASSERT_EQ(NuvexGetPacketListStatistics(&list), 0);
    int udpRecords = 0;
    for (uint32_t i = 0; i < list.recordCount; ++i) {
        const uint8_t* pk = list.records[i].packet;
        char proto[40] = {};
        NuvexGetProtocol(pk, proto);
        if (NuvexGetPacketIpVersion(pk) != 0 || std::string(proto) != "UDP")
            continue;
        if (NuvexGetPort(pk, 0) != f.port)
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
        EXPECT_EQ(list.records[i].side, 0);
    }
    EXPECT_EQ(udpRecords, 200);
    NuvexFreePackets(&list);

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
