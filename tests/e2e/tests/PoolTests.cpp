// No packet lost without a word: the pool --install sizes holds a fast flow through a long
// delay; a pool made small drops at its floor, and the daemon counts and says so.
#include "DaemonLab.h"

#include "platform/Registry.h"

#include <regex>

using namespace e2e;

namespace {

// 60 Mbit/s of 1,400-byte datagrams (1,428 bytes of IP) for one second.
constexpr std::size_t kPayload = 1400;
constexpr uint64_t kRate = 60000000 / (1428 * 8);

// The last loss report of the station's direction: what was lost in all.
uint64_t station_losses(const std::string& log) {
    static const std::regex line(
        R"(packets from the station lost.*?in all (\d+) dropped, (\d+) refused, (\d+) unread and (\d+) not taken)");
    uint64_t last = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
         ++it)
        last = std::stoull((*it)[1]) + std::stoull((*it)[2]) + std::stoull((*it)[3]) +
               std::stoull((*it)[4]);
    return last;
}

class SmallPoolLab : public DaemonLab {
protected:
    void configure_registry() override {
        platform::registry::Registry registry(dir.str());
        ASSERT_EQ(registry.setValue(platform::registry::Hive::LocalMachine,
                                    "SYSTEM\\CurrentControlSet\\Services\\QL\\Parameters",
                                    "PacketPoolSize", platform::registry::Value::Dword(100)),
                  0);
    }
};

} // namespace

TEST_F(DaemonLab, TwoHundredMillisecondsOfSixtyMegabitsLoseNothingWithTheInstalledPool) {
    EXPECT_NE(log_text().find("packet pools of 42010 descriptors"), std::string::npos)
        << log_text();
    params.minDelay = params.maxDelay = 200;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(kRate, kRate, kPayload);
    f.port = 47600;
    f.idle = Millis(800);
    const UdpResult r = run_udp(f);
    EXPECT_EQ(r.recv.count("received"), kRate);
    EXPECT_EQ(r.recv.count("lost"), 0u);
    EXPECT_GE(r.recv.num("delay_us_median"), 199000);
    EXPECT_EQ(log_text().find("packet pool at its floor"), std::string::npos) << log_text();
    EXPECT_EQ(log_text().find("dropped by the kernel before the daemon read them"),
              std::string::npos)
        << log_text();
}

TEST_F(SmallPoolLab, DropsAtThePoolFloorAreCountedAndLogged) {
    EXPECT_NE(log_text().find("packet pools of 110 descriptors"), std::string::npos) << log_text();
    params.minDelay = params.maxDelay = 200;
    ASSERT_EQ(play(), 0);
    UdpFlow f = udp(kRate, kRate, kPayload);
    f.port = 47601;
    f.idle = Millis(800);
    const UdpResult r = run_udp(f);
    const uint64_t received = r.recv.count("received");
    EXPECT_LT(received, kRate / 2);
    // The report comes once a second: wait for the one after the flow.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string text = log_text();
    EXPECT_NE(text.find("dropped with the packet pool at its floor of 10 free descriptors"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("raise PacketPoolSize"), std::string::npos) << text;
    // Every datagram that did not arrive is one the daemon counted (the station's own
    // neighbour discovery may add a few of its own).
    const uint64_t lost = station_losses(text);
    const uint64_t missing = kRate - received;
    EXPECT_GE(lost, missing) << text;
    EXPECT_LE(lost, missing + 20) << text;
}
