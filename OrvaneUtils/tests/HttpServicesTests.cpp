#include "LoopbackServer.h"

#include "OrvaneUtils/HTTPRequestObserver.h"
#include "OrvaneUtils/HttpServices.h"

#include <TestSupport/HostileHttpServer.h>
#include <TestSupport/TempDir.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <vector>

using namespace std::chrono_literals;
using testsupport::HostileHttpServer;

namespace {

// A loopback port with nothing listening on it.
int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class RecordingObserver : public CHTTPRequestObserver {
public:
    void OnRequestStarted(const std::string& url) override { started = url; }
    bool OnResponseStatus(long s) override {
        status = s;
        return acceptStatus;
    }
    bool ContinueRequest() override { return keepGoing; }
    void SetBusy(bool busy) override { busyCalls.push_back(busy); }

    std::string started;
    long status = 0;
    bool acceptStatus = true;
    std::atomic<bool> keepGoing{true};
    std::vector<bool> busyCalls;
};

} // namespace

TEST(HttpServices, GetIntoMemorySendsUserAgentAndReportsToObserver) {
    LoopbackServer srv;
    std::string agent;
    srv.server().Get("/requestevent.php", [&](const httplib::Request& req, httplib::Response& res) {
        agent = req.get_header_value("User-Agent");
        res.set_content("reply " + req.get_param_value("BUFFER"), "text/plain");
    });
    CHttpServices http("Mozilla/4.0");
    RecordingObserver observer;
    std::string body, headers, error;
    std::string url = srv.url("/requestevent.php?BUFFER=abc%2B");
    EXPECT_EQ(http.eGetURLFile(url, body, headers, &observer, 1, 1, &error, 0), eHttpReqOK);
    EXPECT_EQ(body, "reply abc+");
    EXPECT_EQ(agent, "Mozilla/4.0");
    EXPECT_NE(headers.find("200"), std::string::npos);
    EXPECT_EQ(observer.started, url);
    EXPECT_EQ(observer.status, 200);
    EXPECT_EQ(observer.busyCalls, (std::vector<bool>{true, false}));
}

TEST(HttpServices, ServerErrorAndRefusedConnectionFailWithAReason) {
    LoopbackServer srv;
    srv.server().Get("/broken", [](const httplib::Request&, httplib::Response& res) {
        res.status = 500;
        res.set_content("trouble", "text/plain");
    });
    CHttpServices http("Mozilla/4.0");
    RecordingObserver observer;
    std::string body = "stale", headers, error;
    EXPECT_EQ(http.eGetURLFile(srv.url("/broken"), body, headers, &observer, 1, 1, &error, 0),
              eHttpReqHttpError);
    EXPECT_TRUE(body.empty());
    EXPECT_NE(error.find("500"), std::string::npos);
    EXPECT_EQ(observer.busyCalls, (std::vector<bool>{true, false}));

    std::string refusedUrl = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
    error.clear();
    observer.busyCalls.clear();
    EXPECT_EQ(http.eGetURLFile(refusedUrl, body, headers, &observer, 1, 1, &error, 0),
              eHttpReqConnectFailed);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(observer.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_EQ(http.IsOnline(refusedUrl), 0);
    EXPECT_NE(http.IsOnline(srv.url("")), 0);
}

TEST(HttpServices, SlowServerIsCutOffByTheOverallTimeout) {
    LoopbackServer srv;
    srv.server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        srv.Stall(20s);
        res.set_content("late", "text/plain");
    });
    CHttpServices http("Mozilla/4.0");
    http.SetTimeout(300);
    std::string body, headers, error;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(http.eGetURLFile(srv.url("/slow"), body, headers, nullptr, 1, 1, &error, 0),
              eHttpReqTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(body.empty());

    testsupport::TempDir dir("http");
    auto file = dir / "WSTTemp1.tmp";
    EXPECT_EQ(http.bGetURLFileAndWriteToFile(srv.url("/slow"), file.string(), 1, &error), 0);
    EXPECT_FALSE(std::filesystem::exists(file)); // no partial file is left
    srv.Release();
}

TEST(HttpServices, DownloadsIntoAFile) {
    LoopbackServer srv;
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); i += 97)
        big[i] = static_cast<char>('a' + i % 26);
    std::string cacheControl;
    srv.server().Get("/scenario.wst", [&](const httplib::Request& req, httplib::Response& res) {
        cacheControl = req.get_header_value("Cache-Control");
        res.set_content(big, "application/octet-stream");
    });
    testsupport::TempDir dir("http");
    auto file = dir / "WSTTemp2.tmp";
    CHttpServices http("Mozilla/4.0");
    http.SetGetPostType(1);
    std::string error;
    ASSERT_EQ(http.bGetURLFileAndWriteToFile(srv.url("/scenario.wst"), file.string(), 1, &error), 1)
        << error;
    EXPECT_EQ(testsupport::read_file(file), big);
    EXPECT_EQ(cacheControl, "no-cache");

    EXPECT_EQ(http.bGetURLFileAndWriteToFile(srv.url("/missing"), file.string(), 1, &error), 0);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(HttpServices, BasicAuthenticationIsSentOnlyWhileEnabled) {
    LoopbackServer srv;
    srv.server().Get("/private", [](const httplib::Request& req, httplib::Response& res) {
        // "user:pa:ss" in Base64
        if (req.get_header_value("Authorization") == "Basic dXNlcjpwYTpzcw==") {
            res.set_content("welcome", "text/plain");
        } else {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"x\"");
        }
    });
    CHttpServices http("Mozilla/4.0");
    std::string body, headers, error;
    EXPECT_EQ(http.eGetURLFile(srv.url("/private"), body, headers, nullptr, 1, 1, &error, 0),
              eHttpReqHttpError);
    http.SetAuthenticationDetails("user", "pa:ss", true);
    EXPECT_EQ(http.eGetURLFile(srv.url("/private"), body, headers, nullptr, 1, 1, &error, 0),
              eHttpReqOK);
    EXPECT_EQ(body, "welcome");
    http.SetAuthenticationDetails("", "", false);
    EXPECT_EQ(http.eGetURLFile(srv.url("/private"), body, headers, nullptr, 1, 1, &error, 0),
              eHttpReqHttpError);
}

TEST(HttpServices, ObserverCanAbandonATransfer) {
    LoopbackServer srv;
    srv.server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        srv.Stall(20s);
        res.set_content("late", "text/plain");
    });
    srv.server().Get("/fast", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("body", "text/plain");
    });
    CHttpServices http("Mozilla/4.0");
    RecordingObserver observer;
    observer.keepGoing = false;
    std::string body, headers, error;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(http.eGetURLFile(srv.url("/slow"), body, headers, &observer, 1, 1, &error, 0),
              eHttpReqAborted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(observer.busyCalls, (std::vector<bool>{true, false}));

    RecordingObserver refuses;
    refuses.acceptStatus = false;
    EXPECT_EQ(http.eGetURLFile(srv.url("/fast"), body, headers, &refuses, 1, 1, &error, 0),
              eHttpReqAborted);
    EXPECT_TRUE(body.empty());
    srv.Release();
}

TEST(HttpServices, EscapesExactlyTheTextEvenWhenTheLengthCountsTheZero) {
    CHttpServices http("ORVANE_UTILS");
    const char text[] = "a+b/c= d";
    char* escaped = http.URL_Escape(text, sizeof text); // length + 1, as callers pass it
    ASSERT_NE(escaped, nullptr);
    EXPECT_STREQ(escaped, "a%2Bb%2Fc%3D%20d");
    CHttpServices::FreeBuffer(escaped);

    escaped = http.URL_Escape(text, 3);
    ASSERT_NE(escaped, nullptr);
    EXPECT_STREQ(escaped, "a%2Bb");
    CHttpServices::FreeBuffer(escaped);

    const char coded[] = "WSTTemp%20file%2Ewst";
    unsigned long length = 0;
    char* plain = http.URL_UnEscape(coded, sizeof coded - 1, &length);
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(plain, "WSTTemp file.wst");
    EXPECT_EQ(length, 16u);
    CHttpServices::FreeBuffer(plain);
    EXPECT_EQ(http.URL_Escape(nullptr, 4), nullptr);
}

// An exception of an observer callback must not unwind through the transfer
// library: the transfer is abandoned and the exception comes out of the call.
TEST(HttpServices, AnObserverExceptionEndsTheTransferAndComesOutOfTheCall) {
    LoopbackServer srv;
    srv.server().Get("/page", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(100000, 'p'), "text/plain");
    });
    struct Throwing : RecordingObserver {
        bool OnResponseStatus(long) override { throw std::runtime_error("observer failed"); }
    } observer;
    CHttpServices http("Mozilla/4.0");
    std::string body, headers, error;
    EXPECT_THROW(http.eGetURLFile(srv.url("/page"), body, headers, &observer, 1, 1, &error, 5000),
                 std::runtime_error);
    EXPECT_EQ(observer.busyCalls, (std::vector<bool>{true, false}));
    // The object still works afterwards.
    EXPECT_EQ(http.eGetURLFile(srv.url("/page"), body, headers, nullptr, 1, 1, &error, 5000),
              eHttpReqOK)
        << error;
    EXPECT_EQ(body.size(), 100000u);
}

namespace {

// The most a hostile server below sends before it gives up, far past every bound.
constexpr uint64_t kHostileBytes = 256u << 20;

// Answers with `head`, then with `line` again and again until the client goes away.
HostileHttpServer::Script Endless(std::string head, std::string line) {
    return [head, line](HostileHttpServer& s, int fd) {
        if (!s.ReadRequest(fd) || !s.Send(fd, head))
            return;
        std::string run;
        while (run.size() < 65536)
            run += line;
        for (uint64_t sent = 0; sent < kHostileBytes; sent += run.size())
            if (!s.Send(fd, run))
                return;
    };
}

} // namespace

// A reply that passes the size bound is abandoned at once: a body without a length, one
// whose announced length is too large, and a header block without end. Nothing is kept
// and a download leaves no file; a bound set on the object applies to later transfers.
TEST(HttpServices, RepliesPastTheSizeBoundAreAbandoned) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
    const HostileHttpServer::Script scripts[] = {
        Endless(ok + "\r\n", "x"),
        Endless(ok + "Content-Length: 10000000000\r\n\r\n", "x"),
        Endless(ok, "X-Pad: " + std::string(200, 'p') + "\r\n"),
    };
    for (const auto& script : scripts) {
        HostileHttpServer srv(script);
        CHttpServices http("Mozilla/4.0");
        http.SetTimeout(20000);
        std::string body, headers, error;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(http.eGetURLFile(srv.url("/page"), body, headers, nullptr, 1, 1, &error, 0),
                  eHttpReqTooLarge)
            << error;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_TRUE(body.empty());
        EXPECT_NE(error.find("larger than"), std::string::npos) << error;

        testsupport::TempDir dir("http");
        auto file = dir / "WSTTemp3.tmp";
        EXPECT_EQ(http.bGetURLFileAndWriteToFile(srv.url("/f.wst"), file.string(), 1, &error), 0);
        EXPECT_FALSE(std::filesystem::exists(file));
        // The client stopped reading: the server got no further than the bound and what
        // the sockets buffer.
        EXPECT_LT(srv.sent(), uint64_t{64} << 20);
    }

    LoopbackServer honest;
    honest.server().Get("/doc", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(200000, 'd'), "text/plain");
    });
    CHttpServices http("Mozilla/4.0");
    http.SetMaxResponseSize(100000);
    std::string body, headers, error;
    EXPECT_EQ(http.eGetURLFile(honest.url("/doc"), body, headers, nullptr, 1, 1, &error, 5000),
              eHttpReqTooLarge);
    http.SetMaxResponseSize(0);
    EXPECT_EQ(http.GetMaxResponseSize(), CHttpServices::kDefaultMaxResponseBytes);
    EXPECT_EQ(http.eGetURLFile(honest.url("/doc"), body, headers, nullptr, 1, 1, &error, 5000),
              eHttpReqOK)
        << error;
    EXPECT_EQ(body.size(), 200000u);
}

// A server that closes before the blank line ending its headers has not answered: that
// is a failure, never an empty success, for a fetch, a download and the on-line probe.
TEST(HttpServices, AReplyWhoseHeadersNeverEndIsAFailure) {
    for (const char* cut :
         {"HTTP/1.1 200 OK\r\n", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n",
          "HTTP/1.1 200 OK\r\nContent-Le"}) {
        HostileHttpServer srv([cut](HostileHttpServer& s, int fd) {
            if (s.ReadRequest(fd))
                s.Send(fd, cut);
        });
        CHttpServices http("Mozilla/4.0");
        std::string body = "stale", headers, error;
        EXPECT_EQ(http.eGetURLFile(srv.url("/x"), body, headers, nullptr, 1, 1, &error, 5000),
                  eHttpReqFailed)
            << cut;
        EXPECT_TRUE(body.empty());
        EXPECT_NE(error.find("headers"), std::string::npos) << error;
        testsupport::TempDir dir("http");
        auto file = dir / "WSTTemp4.tmp";
        EXPECT_EQ(http.bGetURLFileAndWriteToFile(srv.url("/x"), file.string(), 1, &error), 0);
        EXPECT_FALSE(std::filesystem::exists(file));
        EXPECT_EQ(http.IsOnline(srv.url("/")), 0);
    }
}
