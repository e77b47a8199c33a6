#include "ControlSocket/ControlClient.h"
#include "ControlSocket/ControlServer.h"
#include "TestLoop.h"

#include "TestSupport/TempDir.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <thread>

using namespace quellin::ctlsock;
using quellin::ctlsock::testing::TestLoop;

namespace {

constexpr uint32_t kEcho = 0x220100;    // answers at once with the input as output
constexpr uint32_t kPend = 0x220104;    // stays pending
constexpr uint32_t kVersion = 0x220108; // buffered: a u16 in the system buffer
constexpr uint32_t kLength = 0x22010A;  // direct: a u32 in the system buffer

// Lives on the loop thread.
class FakeHandler final : public RequestHandler {
public:
    std::optional<Completion> on_request(const Request& request) override {
        ++requests;
        Completion c;
        switch (request.code) {
        case kEcho:
            c.output = request.input;
            c.information = static_cast<uint32_t>(request.input.size());
            return c;
        case kPend:
            pending.push_back(request.token);
            return std::nullopt;
        case kVersion:
            c.system_buffer = {0x34, 0x12};
            c.information = 2;
            return c;
        case kLength:
            c.system_buffer = {1, 2, 3, 4};
            c.information = 4;
            return c;
        default:
            c.status = kStatusInvalidParameter;
            return c;
        }
    }
    void on_discarded(RequestToken token) override { discarded.push_back(token); }

    int requests = 0;
    std::vector<RequestToken> pending;
    std::vector<RequestToken> discarded;
};

class ControlSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = (dir / "run" / "quellin" / "QL").string();
        server = std::make_unique<ControlServer>(loop, handler);
        std::string error;
        ASSERT_TRUE(loop.run([&] { return server->listen(path, &error); })) << error;
    }
    void TearDown() override {
        loop.run([&] {
            server.reset();
            return 0;
        });
    }

    // A new server with other limits, at `at` (the usual path when empty).
    void restart(ServerLimits limits, const std::string& at = {}) {
        if (!at.empty())
            path = at;
        std::string error;
        ASSERT_TRUE(loop.run([&] {
            server.reset();
            server = std::make_unique<ControlServer>(loop, handler, limits);
            return server->listen(path, &error);
        })) << error;
    }
    size_t connections() {
        return loop.run([&] { return server->connection_count(); });
    }

    // Completes the oldest pending request with `output`; gives the server's answer.
    bool complete_oldest(Bytes output, uint32_t information) {
        return loop.run([&] {
            if (handler.pending.empty())
                return false;
            RequestToken token = handler.pending.front();
            handler.pending.erase(handler.pending.begin());
            Completion c;
            c.output = std::move(output);
            c.information = information;
            return server->complete(token, std::move(c));
        });
    }

    template <typename F>
    bool eventually(F condition) {
        for (int i = 0; i < 500; ++i) {
            if (loop.run(condition))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // A raw connection for frames the client would never send.
    int raw_connect() {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        timeval tv{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return fd;
    }
    static void send_all(int fd, const Bytes& b) {
        ASSERT_EQ(::send(fd, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size()));
    }
    // Reads one reply frame; false when the server closed the connection.
    bool read_reply(int fd, ReplyFrame& out) {
        Bytes& in = m_unread[fd];
        uint8_t chunk[4096];
        for (;;) {
            size_t used = 0;
            if (decode_reply(in, out, used) == Decode::Ok) {
                in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(used));
                return true;
            }
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return false;
            in.insert(in.end(), chunk, chunk + n);
        }
    }

    // True when the server closed the connection; false when the wait (10 s) ran out.
    static bool closed_by_server(int fd) {
        uint8_t byte;
        for (;;) {
            const ssize_t n = ::recv(fd, &byte, 1, 0);
            if (n <= 0)
                return n == 0;
        }
    }

    testsupport::TempDir dir{"ctlsock"};
    std::string path;
    TestLoop loop;
    FakeHandler handler;
    std::unique_ptr<ControlServer> server;
    std::map<int, Bytes> m_unread;
};

Bytes bytes_of(std::initializer_list<uint8_t> list) {
    return Bytes(list);
}

} // namespace

TEST_F(ControlSocketTest, SocketIsMadeInANewFolderWithMode0660) {
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0660u);

    // A live socket is refused; once its server is gone the stale file is replaced.
    FakeHandler other;
    ControlServer second(loop, other);
    std::string error;
    EXPECT_FALSE(loop.run([&] { return second.listen(path, &error); }));
    EXPECT_NE(error.find("in use"), std::string::npos);
    loop.run([&] {
        server.reset();
        return 0;
    });
    int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(stale);
    EXPECT_TRUE(loop.run([&] { return second.listen(path, &error); })) << error;
    loop.run([&] {
        second.close();
        return 0;
    });
    EXPECT_NE(::access(path.c_str(), F_OK), 0);

    // A file that is not a socket is never removed.
    testsupport::write_file(path, "keep");
    EXPECT_FALSE(loop.run([&] { return second.listen(path, &error); }));
    EXPECT_EQ(testsupport::read_file(path), "keep");
}

TEST_F(ControlSocketTest, SynchronousCallsCarryOutputSystemBufferAndErrors) {
    ControlClient client;
    Reply closed = client.call(kEcho, {}, 4);
    EXPECT_EQ(closed.error(), kErrorInvalidHandle);

    ASSERT_TRUE(client.open(path));
    Bytes in{1, 2, 3, 4, 5};
    Reply echo = client.call(kEcho, in, 64, 5000);
    ASSERT_TRUE(echo.ok());
    EXPECT_EQ(echo.information, 5u);
    EXPECT_EQ(echo.output, in);

    // The output never exceeds the capacity the caller gave.
    Reply cut = client.call(kEcho, in, 3, 5000);
    EXPECT_EQ(cut.output, bytes_of({1, 2, 3}));

    // A buffered code's system buffer reaches the output too, within the capacity; a
    // direct code's stays apart.
    Reply version = client.call(kVersion, {}, 2, 5000);
    EXPECT_EQ(version.system_buffer, bytes_of({0x34, 0x12}));
    EXPECT_EQ(version.output, bytes_of({0x34, 0x12}));
    EXPECT_EQ(client.call(kVersion, {}, 1, 5000).output, bytes_of({0x34}));
    Reply length = client.call(kLength, {}, 4, 5000);
    EXPECT_EQ(length.system_buffer, bytes_of({1, 2, 3, 4}));
    EXPECT_TRUE(length.output.empty());

    Reply unknown = client.call(0x22FFFF, {}, 0, 5000);
    EXPECT_EQ(unknown.status, kStatusInvalidParameter);
    EXPECT_EQ(unknown.error(), 87u);

    Bytes largest(kMaxInputBytes, 0x5A);
    Reply big = client.call(kEcho, largest, static_cast<uint32_t>(kMaxOutputBytes), 10000);
    EXPECT_EQ(big.output, largest);
}

TEST_F(ControlSocketTest, PendingRequestsCompleteWhenTheOwnerSaysSoInAnyOrder) {
    ControlClient client;
    ASSERT_TRUE(client.open(path));
    uint32_t first = client.submit(kPend, {}, 8);
    uint32_t second = client.submit(kPend, {}, 8);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    ASSERT_TRUE(eventually([&] { return handler.pending.size() == 2; }));
    EXPECT_FALSE(client.poll(first).has_value());

    // A synchronous call passes while both wait.
    EXPECT_TRUE(client.call(kEcho, bytes_of({9}), 1, 5000).ok());

    ASSERT_TRUE(complete_oldest(Bytes(20, 0xEE), 8));
    uint32_t ids[] = {second, first};
    EXPECT_EQ(client.wait_any(ids, 5000), first);
    auto reply = client.poll(first);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->output, Bytes(8, 0xEE));     // cut to the capacity of 8
    EXPECT_FALSE(client.poll(first).has_value()); // handed out once
    EXPECT_EQ(client.wait_any(ids, 50), 0u);

    ASSERT_TRUE(complete_oldest({}, 0));
    EXPECT_EQ(client.wait_any(ids, 5000), second);
    EXPECT_TRUE(client.poll(second)->ok());
    EXPECT_EQ(loop.run([&] { return server->pending_count(); }), 0u);
}

TEST_F(ControlSocketTest, AWaiterOnOneThreadAndCallsOnAnotherShareTheConnection) {
    ControlClient client;
    ASSERT_TRUE(client.open(path));
    uint32_t id = client.submit(kPend, {}, 4);
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        uint32_t ids[] = {id};
        done = client.wait_any(ids, 10000) == id;
    });
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(client.call(kEcho, bytes_of({static_cast<uint8_t>(i)}), 1, 5000).output,
                  bytes_of({static_cast<uint8_t>(i)}));
    ASSERT_TRUE(eventually([&] { return handler.pending.size() == 1; }));
    ASSERT_TRUE(complete_oldest({1, 2, 3, 4}, 4));
    waiter.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(client.poll(id)->output, bytes_of({1, 2, 3, 4}));
}

TEST_F(ControlSocketTest, DisconnectDiscardsPendingRequestsAndTheServerGoesOn) {
    {
        ControlClient client;
        ASSERT_TRUE(client.open(path));
        for (int i = 0; i < 3; ++i)
            ASSERT_NE(client.submit(kPend, {}, 76), 0u);
        ASSERT_TRUE(eventually([&] { return handler.pending.size() == 3; }));
    }
    ASSERT_TRUE(eventually([&] { return handler.discarded.size() == 3; }));
    EXPECT_EQ(loop.run([&] { return handler.discarded == handler.pending; }), true);
    EXPECT_FALSE(complete_oldest({1}, 1)); // a discarded token answers nothing
    EXPECT_EQ(loop.run([&] { return server->pending_count() + server->connection_count(); }), 0u);

    ControlClient next;
    ASSERT_TRUE(next.open(path));
    EXPECT_TRUE(next.call(kEcho, bytes_of({1}), 1, 5000).ok());
}

TEST_F(ControlSocketTest, PendingCallsFailWhenTheServerGoesAway) {
    ControlClient client;
    ASSERT_TRUE(client.open(path));
    uint32_t id = client.submit(kPend, {}, 4);
    ASSERT_TRUE(eventually([&] { return handler.pending.size() == 1; }));
    loop.run([&] {
        server->close();
        return 0;
    });
    uint32_t ids[] = {id};
    EXPECT_EQ(client.wait_any(ids, 5000), id);
    EXPECT_EQ(client.poll(id)->error(), kErrorBrokenPipe);
    EXPECT_EQ(client.call(kEcho, {}, 0, 1000).error(), kErrorBrokenPipe);
    EXPECT_EQ(handler.discarded.size(), 1u);
}

TEST_F(ControlSocketTest, MalformedFramesGetAnErrorReplyOrAClosedConnection) {
    // Output capacity beyond the bound and a duplicate id get an error reply; the
    // connection stays usable.
    int fd = raw_connect();
    RequestFrame wide;
    wide.id = 5;
    wide.code = kEcho;
    wide.output_capacity = static_cast<uint32_t>(kMaxOutputBytes + 1);
    Bytes b(16);
    put_u32(b.data(), 12);
    put_u32(b.data() + 4, 5);
    put_u32(b.data() + 8, kEcho);
    put_u32(b.data() + 12, wide.output_capacity);
    send_all(fd, b);
    ReplyFrame reply;
    ASSERT_TRUE(read_reply(fd, reply));
    EXPECT_EQ(reply.id, 5u);
    EXPECT_EQ(reply.status, kStatusInvalidParameter);

    RequestFrame pend;
    pend.id = 6;
    pend.code = kPend;
    send_all(fd, encode_request(pend));
    send_all(fd, encode_request(pend));
    ASSERT_TRUE(read_reply(fd, reply));
    EXPECT_EQ(reply.id, 6u);
    EXPECT_EQ(reply.status, kStatusInvalidParameter);
    EXPECT_TRUE(eventually([&] { return handler.pending.size() == 1; }));

    // A body shorter than its header: closed, and the pending request discarded.
    send_all(fd, bytes_of({3, 0, 0, 0, 1, 2, 3}));
    EXPECT_FALSE(read_reply(fd, reply));
    ::close(fd);
    m_unread.clear();
    EXPECT_TRUE(eventually([&] { return handler.discarded.size() == 1; }));

    // A length beyond every bound: closed before any body is read.
    fd = raw_connect();
    send_all(fd, bytes_of({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
    EXPECT_FALSE(read_reply(fd, reply));
    ::close(fd);
    m_unread.clear();

    // A truncated frame followed by a hang-up reaches no handler.
    fd = raw_connect();
    RequestFrame echo;
    echo.id = 7;
    echo.code = kEcho;
    echo.input.assign(100, 1);
    Bytes whole = encode_request(echo);
    send_all(fd, Bytes(whole.begin(), whole.begin() + 50));
    ::close(fd);

    const int before = loop.run([&] { return handler.requests; });
    ControlClient client;
    ASSERT_TRUE(client.open(path));
    EXPECT_TRUE(client.call(kEcho, bytes_of({1}), 1, 5000).ok());
    EXPECT_EQ(loop.run([&] { return handler.requests; }), before + 1);
    EXPECT_TRUE(eventually([&] { return server->connection_count() == 1; }));
}

TEST_F(ControlSocketTest, ASlowReaderDoesNotHoldUpOtherClients) {
    // 200 replies of 64 KiB that nobody reads: far more than the socket buffers hold.
    int slow = raw_connect();
    RequestFrame echo;
    echo.code = kEcho;
    echo.input.assign(64 * 1024, 0x11);
    echo.output_capacity = 64 * 1024;
    std::thread sender([&] {
        for (uint32_t i = 1; i <= 200; ++i) {
            echo.id = i;
            Bytes b = encode_request(echo);
            if (::send(slow, b.data(), b.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(b.size()))
                return;
        }
    });
    // Its requests stop being read once a few replies wait (the read limit is 256 KiB).
    ASSERT_TRUE(eventually([&] { return handler.requests >= 4; }));

    ControlClient fast;
    ASSERT_TRUE(fast.open(path));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(fast.call(kEcho, bytes_of({2}), 1, 5000).ok());

    // Read everything: every reply arrives whole and in order.
    for (uint32_t i = 1; i <= 200; ++i) {
        ReplyFrame reply;
        ASSERT_TRUE(read_reply(slow, reply)) << i;
        ASSERT_EQ(reply.id, i);
        ASSERT_EQ(reply.output.size(), 64u * 1024u);
    }
    sender.join();
    ::close(slow);
}

TEST_F(ControlSocketTest, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    ServerLimits limits;
    limits.max_connections = 3;
    restart(limits);
    ControlClient clients[3];
    for (auto& c : clients) {
        ASSERT_TRUE(c.open(path));
        ASSERT_TRUE(c.call(kEcho, bytes_of({1}), 1, 5000).ok());
    }
    int extra = raw_connect();
    EXPECT_TRUE(closed_by_server(extra));
    ::close(extra);
    EXPECT_EQ(connections(), 3u);

    clients[0].close();
    ASSERT_TRUE(eventually([&] { return server->connection_count() == 2; }));
    ControlClient next;
    ASSERT_TRUE(next.open(path));
    EXPECT_TRUE(next.call(kEcho, bytes_of({2}), 1, 5000).ok());
}

TEST_F(ControlSocketTest, APartialFrameIsDroppedAfterItsIdleTimeOut) {
    ServerLimits limits;
    limits.partial_frame_timeout_ms = 1000;
    restart(limits);
    RequestFrame echo{7, kEcho, 100, Bytes(100, 1)};
    const Bytes whole = encode_request(echo);

    int stalled = raw_connect();
    send_all(stalled, Bytes(whole.begin(), whole.begin() + 50));
    int dripping = raw_connect();
    ControlClient idle; // no partial frame: kept however long it waits
    ASSERT_TRUE(idle.open(path));
    ASSERT_TRUE(idle.call(kEcho, bytes_of({1}), 1, 5000).ok());

    // A byte every 100 ms keeps a frame alive: the wait is for silence, not for the frame.
    for (size_t i = 0; i < 20; ++i) {
        send_all(dripping, Bytes(whole.begin() + static_cast<std::ptrdiff_t>(i),
                                 whole.begin() + static_cast<std::ptrdiff_t>(i) + 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(closed_by_server(stalled)); // after a second of silence
    ::close(stalled);
    ReplyFrame reply;
    send_all(dripping, Bytes(whole.begin() + 20, whole.end()));
    ASSERT_TRUE(read_reply(dripping, reply));
    EXPECT_EQ(reply.id, 7u);
    ::close(dripping);
    EXPECT_TRUE(idle.call(kEcho, bytes_of({2}), 1, 5000).ok());
    EXPECT_TRUE(eventually([&] { return server->connection_count() == 1; }));
}

TEST_F(ControlSocketTest, AClientThatNeverReadsIsClosedWhenItsRepliesPassTheLimit) {
    ServerLimits limits;
    limits.max_queued_bytes = 64 * 1024;
    limits.max_held_bytes = 512 * 1024;
    restart(limits);
    int fd = raw_connect();
    for (uint32_t id = 1; id <= 40; ++id)
        send_all(fd, encode_request(RequestFrame{id, kPend, 64 * 1024, {}}));
    ASSERT_TRUE(eventually([&] { return handler.pending.size() == 40; }));
    // 40 replies of 64 KiB: the socket takes a few, the server would keep the rest.
    for (int i = 0; i < 40; ++i)
        complete_oldest(Bytes(64 * 1024, 0x33), 64 * 1024);
    EXPECT_TRUE(eventually([&] { return server->connection_count() == 0; }));
    EXPECT_EQ(loop.run([&] { return server->pending_count(); }), 0u);
    ::close(fd);
}

TEST_F(ControlSocketTest, WholeFramesReadAheadAreServedOnceTheRepliesDrain) {
    // One write: a large echo whose reply the socket cannot take whole, then eight small
    // ones read with it. They wait while the large reply does, then are answered though
    // the socket has nothing more to read.
    ServerLimits limits;
    limits.max_queued_bytes = 1;
    restart(limits);
    int fd = raw_connect();
    Bytes all = encode_request(RequestFrame{1, kEcho, 512 * 1024, Bytes(512 * 1024, 0x44)});
    for (uint32_t id = 2; id <= 9; ++id) {
        Bytes one = encode_request(RequestFrame{id, kEcho, 4, {1, 2, 3, 4}});
        all.insert(all.end(), one.begin(), one.end());
    }
    std::thread sender([&] { send_all(fd, all); });
    sender.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the server reads it all
    for (uint32_t id = 1; id <= 9; ++id) {
        ReplyFrame reply;
        ASSERT_TRUE(read_reply(fd, reply)) << id;
        ASSERT_EQ(reply.id, id);
    }
    EXPECT_EQ(loop.run([&] { return handler.requests; }), 9);
    ::close(fd);
}

TEST_F(ControlSocketTest, FoldersAndSocketGetTheirModesWhateverTheUmask) {
    namespace fs = std::filesystem;
    const fs::path kept = dir / "kept";
    fs::create_directory(kept);
    fs::permissions(kept, fs::perms(0700));
    for (mode_t mask : {mode_t{0}, mode_t{077}}) {
        const mode_t before = ::umask(mask);
        const fs::path top = kept / ("m" + std::to_string(mask));
        restart({}, (top / "a" / "QL").string());
        ::umask(before);
        for (const fs::path& folder : {top, top / "a"}) {
            struct stat st;
            ASSERT_EQ(::stat(folder.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0755u) << folder << " umask " << mask;
        }
        struct stat st;
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0660u) << "umask " << mask;
        ASSERT_EQ(::stat(kept.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u); // a folder that was there keeps its mode
    }

    // A link at the socket's name is neither followed nor removed.
    loop.run([&] {
        server.reset();
        return 0;
    });
    const fs::path target = dir / "target";
    testsupport::write_file(target, "x");
    fs::permissions(target, fs::perms(0600));
    fs::create_symlink(target, path);
    FakeHandler other;
    ControlServer linked(loop, other);
    std::string error;
    EXPECT_FALSE(loop.run([&] { return linked.listen(path, &error); }));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0600));
    server = std::make_unique<ControlServer>(loop, handler); // for TearDown
}
