// The bump-in-the-wire binding: the daemon in the wire namespace bridges ws0 and wn0, the
// station keeps its own veth. The client plays on the wire for the adapter without an
// address of its own (0.0.0.0), which emulates every IPv4 packet that crosses it.
#include "DaemonLab.h"

using namespace e2e;

namespace {

class BumpInTheWire : public DaemonLab {
protected:
    LabOptions lab_options() const override {
        return Lab::wire_command({QUELLIN_BINARY, "--foreground", "--seed", "7", "--device", device,
                                  "--bind",
                                  std::string("if:") + kWireStationIf + "=" + kWireNetworkIf},
                                 "", log);
    }
    std::string play_namespace() override { return lab().wire(); }
};

} // namespace

TEST_F(BumpInTheWire, EveryIpv4FlowThroughTheWireIsDelayedBothWays) {
    params.adapterAddress = 0;
    params.minDelay = params.maxDelay = 50;
    ASSERT_EQ(play(), 0);
    UdpFlow out = udp(100, 200, 100);
    out.port = 47700;
    const UdpResult o = run_udp(out);
    EXPECT_EQ(o.recv.count("received"), 100u);
    EXPECT_GE(o.recv.num("delay_us_median"), 49000);
    EXPECT_LE(o.recv.num("delay_us_median"), 150000);

    UdpFlow back = out;
    std::swap(back.from, back.to);
    back.dest = kStationV4;
    back.port = 47701;
    const UdpResult b = run_udp(back);
    EXPECT_EQ(b.recv.count("received"), 100u);
    EXPECT_GE(b.recv.num("delay_us_median"), 49000);
    EXPECT_LE(b.recv.num("delay_us_median"), 150000);

    const PingResult p = netnslab::ping(lab().station(), kNetworkV4, 5, 20);
    EXPECT_EQ(p.received, 5);
    EXPECT_EQ(p.duplicates, 0);
    EXPECT_GE(p.rtt_min_ms, 97.5); // each way may leave up to 1 ms early
    EXPECT_NE(log_text().find("plays: adapter 1, delay 50-50 ms"), std::string::npos) << log_text();
}
