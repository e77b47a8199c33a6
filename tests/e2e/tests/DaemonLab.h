// A lab whose wire namespace runs the quellin daemon: it makes the TAP st0 over wn0, and a
// small wrapper moves the TAP into the station namespace once it is bound. The service
// keys live in a registry of the test's own, the control socket in its temporary folder,
// and the control library reaches both through ALTIREN_REGISTRY_ROOT and QL_DEVICE.
// Plays go through libAltirenAPI from the station namespace, as a client on the station
// would make them.
#pragma once

#include "AltirenAPI.h"
#include "NetnsLab/Flows.h"
#include "NetnsLab/Inspect.h"
#include "NetnsLab/LabTest.h"
#include "NetnsLab/Netns.h"

#include "TestSupport/QuellinProcess.h"
#include "TestSupport/TempDir.h"

#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace e2e {

using namespace netnslab;

inline uint32_t ipv4_of(const char* text) {
    in_addr a{};
    ::inet_pton(AF_INET, text, &a);
    return a.s_addr; // network byte order, as PlayParameters wants it
}

class DaemonLab : public LabTest {
protected:
    void SetUp() override {
        if (auto why = Lab::unavailable_reason())
            GTEST_SKIP() << *why;
        ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
        ::setenv("QL_DEVICE", device.c_str(), 1);
        auto installed = netnslab::run("", {QUELLIN_BINARY, "--install"});
        ASSERT_TRUE(installed.ok()) << installed.err;
        configure_registry();
        LabTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        bool listening = false;
        for (int i = 0; i < 250 && !listening; ++i) {
            listening = can_connect();
            if (!listening)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(listening) << log_text();
        NuvexSetDefaultPlayParams(&params);
        params.adapterAddress = ipv4_of(kStationV4);
    }

    void TearDown() override {
        if (playing) {
            NetnsGuard in(play_namespace());
            NuvexStopEmulation();
        }
        LabTest::TearDown();
        // The daemon has stopped: it stopped cleanly, without a sanitizer's report.
        const std::string text = log_text();
        for (const char* bad : {"Sanitizer", "runtime error:"})
            EXPECT_EQ(text.find(bad), std::string::npos) << text;
        if (!IsSkipped()) {
            EXPECT_NE(text.find("]: stopped"), std::string::npos) << text;
        }
    }

    LabOptions lab_options() const override {
        return Lab::wire_command({QUELLIN_WIRE_SCRIPT, Lab::namespace_name("st"), QUELLIN_BINARY,
                                  "--foreground", "--seed", std::to_string(seed()), "--device",
                                  device, "--bind",
                                  std::string("tap:") + kStationIf + "=" + kWireNetworkIf},
                                 kStationIf, log);
    }

    virtual uint32_t seed() const { return 7; }
    // Between --install and the daemon's start: values of the test's own.
    virtual void configure_registry() {}
    // Where the client runs: where the daemon's adapter is.
    virtual std::string play_namespace() { return lab().station(); }

    // Classifies only the traffic with the network's IPv4 address, so that the station's
    // own chatter (neighbour discovery, reports) does not take a share of a model's count.
    void only_network() {
        params.filterCount = 1;
        params.filterMode = 1;
        params.filterAddresses[0] = ipv4_of(kNetworkV4);
    }

    // Plays from the station namespace (the library looks the adapter up there). The
    // daemon only emulates once the library's capture thread has pended its six requests:
    // wait for that, or the first packets of a flow would pass untouched. A play while
    // playing stops the emulation.
    int play() {
        NetnsGuard in(play_namespace());
        const bool wasPlaying = playing;
        const int rc = NuvexPlayEmulation(&params);
        playing = rc == 0 && !wasPlaying;
        if (playing && !emulating_within(std::chrono::seconds(10)))
            ADD_FAILURE() << "the daemon did not start emulating";
        return rc;
    }
    bool emulating_within(std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            uint32_t on = 0;
            if (NuvexGetStatus(&on) == 0 && on)
                return true;
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    int stop() {
        NetnsGuard in(play_namespace());
        playing = false;
        return NuvexStopEmulation();
    }

    // Station to network, UDP over IPv4.
    UdpFlow udp(uint64_t count, uint64_t rate, std::size_t size = 64) const {
        UdpFlow f;
        f.from = m_lab_station();
        f.to = m_lab_network();
        f.dest = kNetworkV4;
        f.count = count;
        f.rate = rate;
        f.size = size;
        return f;
    }

    // UDP datagrams the station has sent; waits until it has sent `count` in all.
    uint64_t udp_sent() const {
        return snmp_counter(m_lab_station(), "Udp", "OutDatagrams").value_or(0);
    }
    bool sent_within(uint64_t count, std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (udp_sent() < count) {
            if (std::chrono::steady_clock::now() >= end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // What the library's hand-outs brought, gathered over several of them.
    struct Handouts {
        std::vector<NuvexPacketRecord> records;
        std::array<std::vector<NuvexPacketListEntry>, 4> lists;
    };
    // Gathers hand-outs until `enough` holds for all of them or `limit` has passed. The
    // library's capture thread runs at the lowest priority: on a loaded machine what a
    // flow left in the daemon can take longer than the one-second tick to come in.
    Handouts gather_handouts(const std::function<bool(const Handouts&)>& enough,
                             std::chrono::milliseconds limit = std::chrono::seconds(15)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        Handouts all;
        for (;;) {
            NuvexPacketList list{};
            list.listsWanted = 1;
            if (NuvexGetPacketListStatistics(&list) == 0) {
                all.records.insert(all.records.end(), list.records,
                                   list.records + (list.records ? list.recordCount : 0));
                for (size_t l = 0; l < 4; ++l)
                    if (list.lists[l])
                        all.lists[l].insert(all.lists[l].end(), list.lists[l],
                                            list.lists[l] + list.listCounts[l]);
                NuvexFreePackets(&list);
            }
            if (enough(all) || std::chrono::steady_clock::now() >= end)
                return all;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

    std::string log_text() const {
        std::ifstream in(log);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }

    bool can_connect() const { return testsupport::can_connect_unix(device); }

    testsupport::TempDir dir{"e2e-daemon"};
    std::string device = (dir / "QL").string();
    std::string log = (dir / "quellin.log").string();
    PlayParameters params{};
    bool playing = false;

private:
    std::string m_lab_station() const { return Lab::namespace_name("st"); }
    std::string m_lab_network() const { return Lab::namespace_name("nw"); }
};

} // namespace e2e
