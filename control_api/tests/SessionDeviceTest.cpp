// The session against the driver's own control device and engine (on deterministic
// seams) behind a real control socket: what the library sends, the driver accepts.
#include "AltirenAPI/PacketText.h"
#include "AltirenAPI/Session.h"
#include "AltirenPlayCheck/Defaults.h"
#include "ControlSocket/ControlServer.h"
#include "ServiceRegistry.h"
#include "TestLoop.h"
#include "quellin_control/ControlDevice.h"
#include "quellin_engine/Edge.h"
#include "quellin_engine/Engine.h"
#include "quellin_rte/TestSeams.h"
#include "quellin_test/Frames.h"

#include "TestSupport/TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <thread>

using namespace altiren_api;
namespace ctl = quellin::ctlsock;

namespace {

// Everything of the driver lives on the loop thread.
struct Driver final : ctl::RequestHandler, quellin::IoCompleter {
    std::optional<ctl::Completion> on_request(const ctl::Request& r) override {
        auto c = device.dispatch({r.token, r.code, r.input, r.output_capacity});
        if (!c)
            return std::nullopt;
        return convert(std::move(*c));
    }
    void on_discarded(ctl::RequestToken token) override { device.discard(token); }
    void complete(quellin::IoRequestId id, quellin::IoCompletion c) override {
        server->complete(id, convert(std::move(c)));
    }
    static ctl::Completion convert(quellin::IoCompletion c) {
        ctl::Completion out;
        out.status = c.status;
        out.information = c.information;
        out.output = std::move(c.output);
        out.system_buffer = std::move(c.systemBuffer);
        return out;
    }

    quellin::rte::test::VirtualClock clock{1000000, 3600000};
    quellin::rte::test::ScriptedRandom random;
    quellin::rte::test::ManualTimers timers{clock};
    quellin::rte::test::CaptureSink sink{&clock};
    quellin::ControlDevice device{*this};
    quellin::RteAdapter* adapter = nullptr;
    ctl::ControlServer* server = nullptr;
};

class SessionDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::write_file(dir / "quellin", "daemon");
        ASSERT_NO_FATAL_FAILURE(
            testsupport::register_service(dir.str(), (dir / "quellin").string()));
        ASSERT_TRUE(loop.run([&] {
            quellin::RteConfig cfg;
            cfg.packetPoolSize = 64;
            if (!quellin::rte_init(cfg,
                                   {&driver.clock, &driver.random, &driver.timers, &driver.sink}))
                return false;
            driver.adapter = quellin::rte_bind_adapter("lo");
            if (!driver.adapter || !quellin::du_init(nullptr, &driver.device))
                return false;
            server = std::make_unique<ctl::ControlServer>(loop, driver);
            driver.server = server.get();
            return server->listen(path);
        }));
        set_default_play_params(params);
        params.adapterAddress = htonl(INADDR_LOOPBACK);
    }
    void TearDown() override {
        loop.run([&] {
            server.reset();
            quellin::du_shutdown();
            quellin::rte_shutdown();
            return 0;
        });
    }
    bool wait_for(const std::function<bool()>& pred) {
        for (int i = 0; i < 500; ++i) {
            if (loop.run(pred))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool all_pending() {
        return wait_for([&] {
            for (int s = 0; s < quellin::ControlDevice::kPendingSlots; ++s)
                if (!driver.device.pending(s))
                    return false;
            return true;
        });
    }

    testsupport::TempDir dir{"session-device"};
    std::string path = (dir / "QL").string();
    quellin::ctlsock::testing::TestLoop loop;
    Driver driver;
    std::unique_ptr<ctl::ControlServer> server;
    Session session{SessionConfig{path, dir.str()}};
    PlayParameters params{};
};

} // namespace

TEST_F(SessionDeviceTest, PlayCaptureAndStopWithTheDriversControlDevice) {
    params.maxDelay = params.minDelay = 50;
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    EXPECT_EQ(loop.run([&] { return driver.device.state(); }), 6);
    uint32_t emulating = 0;
    ASSERT_EQ(session.getStatus(emulating), 0);
    EXPECT_EQ(emulating, 1u);

    // The block as the driver holds it: loaded whole, checksum accepted.
    const auto block = loop.run([&] {
        const auto& view = quellin::du_context().view;
        return std::make_pair(view.bypass, quellin::du_context().adapterNumber);
    });
    EXPECT_FALSE(block.first);
    EXPECT_EQ(block.second, 1);

    // One packet from the station through the engine, then the periodic completion.
    loop.run([&] {
        const auto frame = quellin::test::ipv4_frame(quellin::test::ipv4(127, 0, 0, 1),
                                                     quellin::test::ipv4(198, 18, 0, 7), 60);
        quellin::edge_packet_in(driver.adapter, 0, frame.data(), frame.size());
        driver.clock.advance(60000);
        driver.timers.fire_due();
        driver.device.du_send_stats_packets();
        driver.device.du_send_sim_queue_stats();
        return 0;
    });
    NuvexPacketList list{};
    list.listsWanted = 1;
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(session.getPacketList(list), 0);
        if (list.recordCount)
            break;
        Session::freePackets(list);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(list.recordCount, 1u);
    packet::Bytes bytes(list.records[0].packet, packet::kCapturedBytes);
    EXPECT_EQ(packet::address_text(bytes, true), "127.0.0.1");
    EXPECT_EQ(packet::address_text(bytes, false), "198.18.0.7");
    EXPECT_EQ(packet::protocol_text(bytes), "UDP");
    Session::freePackets(list);

    EXPECT_EQ(session.stop(), 0);
    EXPECT_EQ(loop.run([&] { return driver.device.state(); }), 2);
    EXPECT_FALSE(loop.run([&] { return driver.device.session_open(); }));
    ASSERT_EQ(session.getStatus(emulating), 0);
    EXPECT_EQ(emulating, 0u);
}

TEST_F(SessionDeviceTest, RecordedBlockIsAcceptedAndResetClearsALeftSession) {
    static const uint32_t delays[] = {10, 20, 30, 40};
    static const uint32_t losses[] = {0, 1, 2, 3};
    params.latencyType = 3;
    params.lossType = 4;
    params.sampleCount = 4;
    params.sampleInterval = 100;
    params.delaySamples = delays;
    params.lossSamples = losses;
    ASSERT_EQ(session.play(params), 0);
    ASSERT_TRUE(all_pending());
    // A second library instance finds the driver busy, and resets it.
    Session other{SessionConfig{path, dir.str()}};
    EXPECT_EQ(other.play(params), 86);
    EXPECT_EQ(other.forceDriverReset(), 0);
    uint32_t emulating = 1;
    ASSERT_EQ(other.getStatus(emulating), 0);
    EXPECT_EQ(emulating, 0u);
    EXPECT_EQ(session.stop(), 0);
}
