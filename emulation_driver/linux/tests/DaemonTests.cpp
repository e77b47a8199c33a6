// The daemon on its own thread, driven over real sockets as the control library would.
#include "ControlSocket/ControlClient.h"
#include "QuellinEdges/ServiceConfig.h"
#include "QuellinLinux/Daemon.h"
#include "quellin_engine/Edge.h"
#include "quellin_test/Frames.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/DriverPlayBlock.h"
#include "quellin_wire/IoControl.h"

#include "TestSupport/QuellinProcess.h"
#include "TestSupport/TempDir.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

using namespace quellin;
using namespace quellin::os;
using ctlsock::ControlClient;

namespace {

const uint32_t kStation = test::ipv4(198, 18, 0, 1);
const uint32_t kPeer = test::ipv4(198, 18, 0, 2);

std::vector<uint8_t> control_message(uint16_t command, const std::vector<uint8_t>& data = {}) {
    wire::ControlMessage m;
    m.command = command;
    m.dataLength = static_cast<uint32_t>(data.size());
    m.checksum = wire::internet_checksum(data.data(), data.size());
    auto head = m.encode();
    std::vector<uint8_t> bytes(head.size() + data.size());
    std::copy(head.begin(), head.end(), bytes.begin());
    std::copy(data.begin(), data.end(), bytes.begin() + head.size());
    return bytes;
}

wire::DriverPlayBlock unlimited_block() {
    wire::DriverPlayBlock b;
    b.setAdapterNumber(1);
    b.setAdapterAddress(kStation);
    for (auto set : {&wire::DriverPlayBlock::setEastOut, &wire::DriverPlayBlock::setEastIn,
                     &wire::DriverPlayBlock::setWestOut, &wire::DriverPlayBlock::setWestIn})
        (b.*set)(wire::pb::kUnlimitedBandwidth);
    b.setEastBucketSize(wire::pb::kUnlimitedBucket);
    b.setWestBucketSize(wire::pb::kUnlimitedBucket);
    return b;
}

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        DaemonOptions options;
        options.device = (dir / "run" / "QL").string();
        options.testAdapter = true;
        options.seed = 42;
        daemon =
            std::make_unique<Daemon>(options, DriverConfiguration{}, std::vector<edges::Binding>{},
                                     [this](int, const std::string& line) {
                                         std::lock_guard<std::mutex> lock(logMutex);
                                         logLines.push_back(line);
                                     });
        std::string error;
        ASSERT_TRUE(daemon->start(error)) << error;
        thread = std::thread([this] { daemon->run(); });
        ASSERT_TRUE(client.open(options.device));
    }
    void TearDown() override {
        client.close();
        daemon->request_stop();
        thread.join();
        daemon.reset();
    }

    template <typename F>
    auto on_loop(F fn) -> decltype(fn()) {
        std::promise<decltype(fn())> done;
        auto result = done.get_future();
        daemon->loop().post([&] { done.set_value(fn()); });
        return result.get();
    }

    wire::ControlReply command(uint16_t cmd, const std::vector<uint8_t>& data = {}) {
        auto r = client.call(wire::kIoctlControl, control_message(cmd, data), 14, 5000);
        EXPECT_TRUE(r.ok()) << std::hex << r.status;
        auto reply = wire::ControlReply::decode(r.output.data(), r.output.size());
        EXPECT_TRUE(reply);
        return reply ? *reply : wire::ControlReply{};
    }

    void send_packets(int count, int direction) {
        on_loop([&] {
            for (int i = 0; i < count; ++i) {
                auto f = direction == 0 ? test::ipv4_frame(kStation, kPeer, 200)
                                        : test::ipv4_frame(kPeer, kStation, 200);
                edge_packet_in(daemon->adapter(), direction, f.data(), f.size());
            }
            return 0;
        });
    }

    // The six requests the control library keeps pending.
    std::vector<uint32_t> pend_six() {
        std::vector<uint32_t> ids;
        ids.push_back(client.submit(wire::kIoctlCapturedPackets, {}, 380004));
        for (uint32_t i = 0; i < 4; ++i)
            ids.push_back(client.submit(wire::kIoctlPacketList0 + 4 * i, {}, 70000));
        ids.push_back(client.submit(wire::kIoctlCounters, {}, 76));
        for (uint32_t id : ids)
            EXPECT_NE(id, 0u);
        return ids;
    }

    // Waits until every id has its reply; gives them in order.
    std::vector<ctlsock::Reply> collect(const std::vector<uint32_t>& ids, int timeout_ms) {
        std::vector<ctlsock::Reply> replies(ids.size());
        std::vector<bool> got(ids.size());
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        size_t have = 0;
        while (have < ids.size() && std::chrono::steady_clock::now() < until) {
            client.wait_any(ids, 100);
            for (size_t i = 0; i < ids.size(); ++i)
                if (!got[i])
                    if (auto r = client.poll(ids[i])) {
                        replies[i] = *r;
                        got[i] = true;
                        ++have;
                    }
        }
        EXPECT_EQ(have, ids.size());
        return replies;
    }

    // The daemon's log lines that contain `text`.
    std::vector<std::string> logged(const std::string& text) {
        std::lock_guard<std::mutex> lock(logMutex);
        std::vector<std::string> out;
        for (const auto& l : logLines)
            if (l.find(text) != std::string::npos)
                out.push_back(l);
        return out;
    }

    testsupport::TempDir dir{"quellin"};
    std::unique_ptr<Daemon> daemon;
    std::thread thread;
    ControlClient client;
    std::mutex logMutex;
    std::vector<std::string> logLines;
};

// Runs the daemon program to its end with the arguments; its exit code and what it wrote.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};
ProgramRun run_program(std::vector<const char*> args, const testsupport::TempDir& dir) {
    const std::string outFile = (dir / "out.txt").string(), errFile = (dir / "err.txt").string();
    pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen(outFile.c_str(), "w", stdout);
        std::freopen(errFile.c_str(), "w", stderr);
        args.insert(args.begin(), "quellin");
        args.push_back(nullptr);
        ::execv(QUELLIN_BINARY, const_cast<char* const*>(args.data()));
        ::_exit(127);
    }
    ProgramRun r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = testsupport::read_file(outFile);
    r.err = testsupport::read_file(errFile);
    return r;
}

} // namespace

TEST_F(DaemonTest, EachControlCommandIsLoggedWithTheClientsProcessIdAndAResetSaysWhose) {
    const std::string me = "client " + std::to_string(::getpid()) + " ";
    EXPECT_EQ(command(1).result, 0);
    auto block = unlimited_block();
    block.setMinDelay(50);
    block.setMaxDelay(50);
    block.setEastOut(100000); // 10 Mbit/s
    block.setLossType(2);
    block.setLossRandomly(250); // 2.5 %
    command(3, std::vector<uint8_t>(block.data(), block.data() + block.size()));
    command(6);
    EXPECT_EQ(command(1).result, 7); // a second open is refused
    // Another client stops and closes what this one left playing: a reset.
    ControlClient other;
    ASSERT_TRUE(other.open(daemon->server().path()));
    for (uint16_t c : {uint16_t{5}, uint16_t{2}})
        ASSERT_TRUE(other.call(wire::kIoctlControl, control_message(c), 14, 5000).ok());
    EXPECT_EQ(command(1).result, 0);
    command(5);
    command(2);

    auto lines = [&](const std::string& whole) {
        const auto all = logged(whole);
        return std::count(all.begin(), all.end(), whole);
    };
    EXPECT_EQ(lines(me + "opens the control session"), 2);
    const auto plays = logged(me + "plays: ");
    ASSERT_EQ(plays.size(), 1u);
    EXPECT_NE(plays[0].find("adapter 1 (198.18.0.1), delay 50-50 ms (type 0), East out 10000.0 "
                            "kbit/s in unlimited, West out unlimited in unlimited, loss random "
                            "2.50 %"),
              std::string::npos)
        << plays[0];
    EXPECT_EQ(logged(me + "opens the control session: refused with result 7").size(), 1u);
    const std::string opener = "client " + std::to_string(::getpid());
    EXPECT_EQ(lines(me + "resets the driver: stops the emulation of the session of " + opener), 1);
    EXPECT_EQ(lines(me + "resets the driver: closes the session of " + opener), 1);
    EXPECT_EQ(lines(me + "stops the emulation"), 1);
    EXPECT_EQ(lines(me + "closes the control session"), 1);
    EXPECT_TRUE(logged("loads a play block").empty()); // said with the play
}

TEST(DaemonProgram, HelpVersionAndWhatIsWrongAreSaidAtOnce) {
    testsupport::TempDir dir("quellin-say");
    ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
    const auto help = run_program({"--help"}, dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: quellin"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--wait"), std::string::npos) << help.out;
    const auto version = run_program({"--version"}, dir);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quellin 2.", 0), 0u) << version.out;

    // A lower interface that is not there, in the foreground: said and ended at once.
    const std::string device = (dir / "QL").string();
    const auto start = std::chrono::steady_clock::now();
    const auto missing = run_program(
        {"--foreground", "--device", device.c_str(), "--bind", "tap:qlx0=nosuch0"}, dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("tap:qlx0=nosuch0: there is no interface nosuch0 (--wait waits"),
              std::string::npos)
        << missing.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(::access(device.c_str(), F_OK), 0);
}

TEST(DaemonProgram, AskedToWaitItWaitsForAMissingInterface) {
    testsupport::TempDir dir("quellin-wait");
    ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
    const std::string device = (dir / "QL").string();
    const std::string errFile = (dir / "err.txt").string();
    testsupport::QuellinProcess program;
    EXPECT_TRUE(
        program.start(QUELLIN_BINARY,
                      {"--foreground", "--wait", "--device", device, "--bind", "tap:qlx0=nosuch0"},
                      device, errFile)); // serving, with its binding waiting
    const std::optional<int> status = program.stop(SIGTERM);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    const std::string err = testsupport::read_file(errFile);
    EXPECT_NE(err.find("tap:qlx0=nosuch0: waiting for nosuch0: there is no such interface"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("0 adapter(s) bound of 1"), std::string::npos) << err;
}

TEST_F(DaemonTest, ASecondDaemonOnTheSameDeviceEndsBeforeTouchingAnyInterface) {
    const std::string device = daemon->server().path();
    const auto second = run_program(
        {"--foreground", "--device", device.c_str(), "--bind", "tap:qlx0=nosuch0"}, dir);
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("another daemon serves the control device " + device),
              std::string::npos)
        << second.err;
    // The device was looked at first: the binding's interface was not.
    EXPECT_EQ(second.err.find("nosuch0:"), std::string::npos) << second.err;
    EXPECT_EQ(command(1).result, 0); // the first still serves
}

TEST(DaemonProgram, WithoutASystemLogTheBackgroundDaemonWritesToStandardError) {
    if (::access("/dev/log", F_OK) == 0)
        GTEST_SKIP() << "this machine has a system log at /dev/log";
    testsupport::TempDir dir("quellin-nolog");
    ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
    const std::string device = (dir / "QL").string();
    // The program goes to the background: its first process ends at once.
    const auto started = run_program({"--device", device.c_str(), "--test-adapter"}, dir);
    EXPECT_EQ(started.status, 0);
    ControlClient client;
    bool connected = false;
    for (int i = 0; i < 250 && !connected; ++i) {
        connected = client.open(device);
        if (!connected)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(connected);
    // The daemon's process id, from the socket it serves.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", device.c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ucred peer{};
    socklen_t size = sizeof peer;
    ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size), 0);
    ::close(fd);
    client.close();
    ASSERT_GT(peer.pid, 0);
    ::kill(peer.pid, SIGTERM);
    for (int i = 0; i < 250 && ::kill(peer.pid, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string err = testsupport::read_file(dir / "err.txt");
    EXPECT_NE(err.find("no system log at /dev/log: logging to standard error"), std::string::npos)
        << err;
    EXPECT_NE(err.find("control device on " + device), std::string::npos) << err;
    EXPECT_NE(err.find("]: stopped"), std::string::npos) << err;
}

TEST_F(DaemonTest, ASessionPlaysAndTheSixRequestsCompleteEachSecond) {
    EXPECT_EQ(command(1).result, 0);
    const auto block = unlimited_block();
    const std::vector<uint8_t> bytes(block.data(), block.data() + block.size());
    wire::ControlReply load = command(3, bytes);
    EXPECT_EQ(load.result, 0);
    EXPECT_EQ(load.driverState, 3);
    EXPECT_EQ(command(6).driverState, 6);

    auto ids = pend_six();
    for (int second = 0; second < 2; ++second) {
        send_packets(3, 0);
        send_packets(2, 1);
        auto replies = collect(ids, 5000);
        EXPECT_EQ(replies[0].information, 5u * 76u + 4u) << second;
        for (size_t list = 1; list <= 4; ++list)
            EXPECT_GT(replies[list].information, 0u) << second << " list " << list - 1;
        EXPECT_EQ(replies[5].information, 76u);
        ids = pend_six();
    }
    EXPECT_EQ(on_loop([&] { return daemon->edge().sent(0); }), 6u);
    EXPECT_EQ(on_loop([&] { return daemon->edge().sent(1); }), 4u);

    // The block reads back as loaded.
    auto length = client.call(wire::kIoctlPlayBlockLength, {}, 4, 5000);
    EXPECT_EQ(wire::get_u32(length.system_buffer.data(), 0), block.size());
    auto copy = client.call(wire::kIoctlPlayBlock, {}, static_cast<uint32_t>(block.size()), 5000);
    EXPECT_EQ(copy.output, bytes);

    wire::ControlReply stop = command(5);
    EXPECT_EQ(stop.driverState, 5);
    auto last = collect(ids, 2000); // stop answers what waits
    EXPECT_EQ(last[5].information, 76u);
    EXPECT_EQ(command(2).driverState, 2);
}

TEST_F(DaemonTest, ACallerThatLeavesWithRequestsPendingLeavesTheDaemonHealthy) {
    command(1);
    const auto block = unlimited_block();
    command(3, std::vector<uint8_t>(block.data(), block.data() + block.size()));
    command(6);
    pend_six();
    EXPECT_TRUE(on_loop([&] { return daemon->server().pending_count() == 6; }));
    client.close();

    // The periodic tick finds nothing of the caller's left to complete.
    for (int i = 0; i < 50 && on_loop([&] { return daemon->server().connection_count(); }); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(on_loop([&] {
        for (int slot = 0; slot < ControlDevice::kPendingSlots; ++slot)
            if (daemon->device().pending(slot))
                return false;
        return daemon->server().pending_count() == 0;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));

    ControlClient next;
    ASSERT_TRUE(next.open(daemon->server().path()));
    auto status = next.call(wire::kIoctlStatus, {}, 92, 5000);
    ASSERT_TRUE(status.ok());
    EXPECT_EQ(wire::get_u16(status.output.data(), 2), 6); // still playing
}

TEST_F(DaemonTest, MalformedRequestsGetErrorsOrAClosedConnectionNeverACrash) {
    // Short input, no output, unknown code: error replies.
    auto shortInput = client.call(wire::kIoctlControl, std::vector<uint8_t>(20), 14, 5000);
    EXPECT_EQ(shortInput.error(), 122u);
    auto noOutput = client.call(wire::kIoctlControl, control_message(1), 0, 5000);
    EXPECT_EQ(noOutput.error(), 87u);
    auto unknown = client.call(0x22FFF2, {}, 16, 5000);
    EXPECT_EQ(unknown.error(), 87u);
    // A load whose block is cut short of its announced length.
    auto cut = control_message(3, std::vector<uint8_t>(3272, 0));
    cut.resize(cut.size() - 100);
    EXPECT_EQ(client.call(wire::kIoctlControl, cut, 14, 5000).error(), 87u);

    // A frame with an impossible length: the connection is closed.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", daemon->server().path().c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const uint8_t garbage[] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4};
    ASSERT_EQ(::send(fd, garbage, sizeof garbage, MSG_NOSIGNAL), 8);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    uint8_t byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
    ::close(fd);

    EXPECT_EQ(command(1).result, 0); // and the daemon still answers
}

TEST_F(DaemonTest, ABlockWithAnUnboundedDuplicationBurstIsRefusedAndNeverPlays) {
    // Five pings once made 327,681 frames and held the loop for seconds.
    command(1);
    auto block = unlimited_block();
    block.setDuplicationChance(99);
    block.setDuplicationMinBurst(65535);
    block.setDuplicationMaxBurst(65535);
    wire::ControlReply load =
        command(3, std::vector<uint8_t>(block.data(), block.data() + block.size()));
    EXPECT_EQ(load.result, 6);
    command(6);
    EXPECT_TRUE(on_loop([&] { return du_context().block == nullptr; }));
    send_packets(5, 0);
    EXPECT_EQ(on_loop([&] { return daemon->edge().sent(0); }), 5u);
    auto length = client.call(wire::kIoctlPlayBlockLength, {}, 4, 5000);
    ASSERT_TRUE(length.ok());
    EXPECT_EQ(wire::get_u32(length.system_buffer.data(), 0), 0u); // nothing is loaded
}

TEST_F(DaemonTest, StoppingTheDaemonSendsOnQueuedPacketsAndRemovesTheSocket) {
    command(1);
    auto block = unlimited_block();
    block.setEastOut(100); // 10 kbit/s: a 200-byte packet takes 160 ms on the entry link
    command(3, std::vector<uint8_t>(block.data(), block.data() + block.size()));
    command(6);
    pend_six();
    EXPECT_TRUE(on_loop([&] { return !du_context().view.bypass; }));
    send_packets(10, 0);
    EXPECT_LT(on_loop([&] { return daemon->edge().sent(0); }), 10u);

    const std::string path = daemon->server().path();
    daemon->request_stop();
    thread.join();
    EXPECT_EQ(daemon->edge().sent(0), 10u);
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    thread = std::thread([] {}); // for TearDown
}

TEST(DaemonProgram, RunsInTheForegroundAndStopsCleanlyOnSigterm) {
    testsupport::TempDir dir("quellin-bin");
    const std::string path = (dir / "QL").string();
    ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1); // the configuration it reads
    testsupport::QuellinProcess program;
    ASSERT_TRUE(program.start(QUELLIN_BINARY, path));
    ControlClient client;
    ASSERT_TRUE(client.open(path));
    auto count = client.call(wire::kIoctlAdapterCount, {}, 2, 5000);
    EXPECT_EQ(count.system_buffer, (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(count.output, (std::vector<uint8_t>{1, 0})); // buffered: as the caller sees it
    uint32_t pending = client.submit(wire::kIoctlCounters, {}, 76);
    EXPECT_NE(pending, 0u);
    // Its threads run before ordinary work, when it may raise them.
    if (::geteuid() == 0)
        for (const auto& task : std::filesystem::directory_iterator(
                 "/proc/" + std::to_string(program.pid()) + "/task")) {
            std::ifstream in(task.path() / "stat");
            std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            std::istringstream fields(text.substr(text.rfind(')') + 2));
            std::string field;
            for (int i = 3; i <= 19 && fields >> field; ++i) {
            }
            EXPECT_EQ(field, "-10") << task.path(); // the 19th field: the nice value
        }

    const std::optional<int> status = program.stop(SIGTERM);
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_NE(::access(path.c_str(), F_OK), 0);

    // The bypassed driver answered the counters request at once; the next call finds
    // the daemon gone.
    EXPECT_EQ(client.call(wire::kIoctlStatus, {}, 92, 2000).error(), ctlsock::kErrorBrokenPipe);

    std::string error;
    const char* bad[] = {"quellin", "--seed", "x"};
    EXPECT_FALSE(parse_daemon_options(3, bad, error));
}

// A terminal that closes (SIGHUP), a reader of its log that went (SIGPIPE sent by it) or
// any other catchable stop signal ends the daemon through its clean stop.
TEST(DaemonProgram, EveryCatchableStopSignalStopsItCleanly) {
    testsupport::TempDir dir("quellin-signals");
    const std::string path = (dir / "QL").string();
    ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
    for (const int signal : {SIGHUP, SIGPIPE, SIGQUIT, SIGUSR2, SIGALRM, SIGRTMIN + 2}) {
        SCOPED_TRACE(signal);
        testsupport::QuellinProcess program;
        ASSERT_TRUE(program.start(QUELLIN_BINARY, path));
        const std::optional<int> status = program.stop(signal);
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFEXITED(*status));
        EXPECT_EQ(WEXITSTATUS(*status), 0);
        EXPECT_NE(::access(path.c_str(), F_OK), 0); // its socket removed by the stop
    }
}

namespace {

// Clock ticks of CPU time a process has used.
long cpu_ticks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; fields >> field && i <= 15; ++i)
        if (i == 14 || i == 15)
            ticks += std::stol(field);
    return ticks;
}

size_t open_descriptors(pid_t pid) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++n;
    return n;
}

int connect_nonblocking(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr); // may find the queue full
    return fd;
}

} // namespace

TEST(DaemonProgram, AFullDescriptorTableNeitherSpinsNorStopsTheDaemon) {
    testsupport::TempDir dir("quellin-fds");
    const std::string path = (dir / "QL").string();
    ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
    testsupport::QuellinProcess program;
    ASSERT_TRUE(program.start(QUELLIN_BINARY, path));
    const pid_t pid = program.pid();
    ControlClient first;
    ASSERT_TRUE(first.open(path));
    ASSERT_TRUE(first.call(wire::kIoctlStatus, {}, 92, 5000).ok());

    // Room for two more descriptors in the daemon, then twenty callers.
    const rlim_t room = open_descriptors(pid) + 2;
    const rlimit limit{room, room};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &limit, nullptr), 0);
    std::vector<int> callers;
    for (int i = 0; i < 20; ++i)
        callers.push_back(connect_nonblocking(path));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // The listener stays readable while the table is full: the loop must not spin on it.
    const long before = cpu_ticks(pid);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long used = cpu_ticks(pid) - before;
    EXPECT_LT(used, ::sysconf(_SC_CLK_TCK) / 4) << "ticks of CPU in one second";

    // The daemon goes on answering, and takes callers again once descriptors free.
    EXPECT_TRUE(first.call(wire::kIoctlStatus, {}, 92, 5000).ok());
    for (int fd : callers)
        ::close(fd);
    bool served = false;
    for (int i = 0; i < 100 && !served; ++i) {
        ControlClient next;
        served = next.open(path) && next.call(wire::kIoctlStatus, {}, 92, 1000).ok();
        if (!served)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(served);

    first.close();
    const std::optional<int> status = program.stop(SIGTERM);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

TEST(DaemonProgram, InstallWritesItsOwnPathAndUninstallRemovesTheKeys) {
    testsupport::TempDir dir("quellin-install");
    ::setenv("ALTIREN_REGISTRY_ROOT", dir.str().c_str(), 1);
    auto run = [](const char* option) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(QUELLIN_BINARY, "quellin", option, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    using platform::registry::Hive;
    platform::registry::Registry reg(dir.str());
    ASSERT_EQ(run("--install"), 0);
    std::string image;
    ASSERT_EQ(reg.queryString(Hive::LocalMachine, edges::kServiceKey, "ImagePath", image), 0);
    EXPECT_EQ(std::filesystem::canonical(image), std::filesystem::canonical(QUELLIN_BINARY));
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, edges::kEnumKey), 0);
    EXPECT_EQ(reg.openKey(Hive::LocalMachine, edges::kParametersKey), 0);

    ASSERT_EQ(run("--uninstall"), 0);
    EXPECT_NE(reg.openKey(Hive::LocalMachine, edges::kServiceKey), 0);
    EXPECT_NE(reg.openKey(Hive::LocalMachine, edges::kEnumKey), 0);
    EXPECT_EQ(run("--install=x"), 2);
}
