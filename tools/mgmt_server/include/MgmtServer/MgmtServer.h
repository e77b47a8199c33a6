// A management-server stand-in that speaks the client's protocol over HTTP:
//
//   /                     the on-line probe (any method, 200; held when silentProbe)
//   /requestevent.php     ALTIREN_EVENT requests in "?BUFFER="
//   /<browse page>[/]     the browse page (a CLIENT_NAVIGATION request) with links to
//                         the ".wst" and ".tvl" files of the files folder
//   /files/<name>         those files, behind Basic authentication of a known user
//   /Accounts/<id>/Downloads/DownLoadClient.php   the client download page
//   <any other path>      a page given in ServerOptions::pages (no authentication)
//
// It runs in a process of its own (altiren_mgmt_server) or inside a test, and can be
// told to answer late, with a wrong nonce, with status 500 or not at all.
#pragma once

#include "MgmtServer/AccountStore.h"
#include "MgmtServer/RequestCodec.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace mgmt {

struct ServerOptions {
    std::string address = "127.0.0.1";
    int port = 0;         // 0 picks a free port
    std::string dataFile; // users and presets; empty keeps them in memory
    std::string filesDir; // the ".wst" and ".tvl" files
    std::string browsePage = "browse.php";
    // HTML added to the browse page's body after the list of files.
    std::string browseExtra;
    // Further pages and resources by path ("/more.html"): content type and body.
    std::map<std::string, std::pair<std::string, std::string>> pages;
};

// How the server answers ALTIREN_EVENT requests; delayMs and silent hold file
// requests too.
struct Behaviour {
    unsigned delayMs = 0;       // answer this late
    bool silent = false;        // hold the request unanswered until released or stopped
    bool status500 = false;     // answer with status 500
    bool wrongNonce = false;    // seal the reply with another nonce
    bool userOtherCase = false; // echo USER with its case swapped
    bool silentProbe = false;   // hold the on-line probe ("/") as silent holds requests
    bool silentBrowse = false;  // hold the browse page likewise
    // Hold the further pages and resources likewise; one released while this is off
    // again is served.
    bool silentPages = false;
    std::string additionalInfo; // sent as ADDITIONAL_INFO when not empty
};

// One request as the server decoded it.
struct RecordedRequest {
    std::string path;
    std::string xml;
    std::string root;
    Attributes attributes;
    uint32_t nonce = 0;
};

class MgmtServer {
public:
    explicit MgmtServer(ServerOptions options);
    ~MgmtServer();
    MgmtServer(const MgmtServer&) = delete;
    MgmtServer& operator=(const MgmtServer&) = delete;

    // Loads the data file (when it exists), binds and starts serving on a thread.
    bool Start(std::string& error);
    // Releases held requests and stops; idempotent.
    void Stop();

    int Port() const { return m_port; }
    // "address:port", as the client's server address setting takes it.
    std::string HostPort() const;

    void SetBehaviour(const Behaviour& behaviour);
    Behaviour GetBehaviour() const;
    // Ends the wait of requests held by delayMs or silent now.
    void ReleaseHeld();

    // Changes the users and presets (saved to the data file when one is set).
    void EditStore(const std::function<void(AccountStore&)>& edit);
    AccountStore StoreCopy() const;

    std::vector<RecordedRequest> Requests() const;
    size_t RequestCount() const;
    // The path of every request received, in order.
    std::vector<std::string> Paths() const;

private:
    void Handle(const httplib::Request& req, httplib::Response& res);
    void HandleEvent(const httplib::Request& req, httplib::Response& res);
    void HandleBrowse(const httplib::Request& req, httplib::Response& res);
    void HandleFile(const httplib::Request& req, httplib::Response& res, const std::string& name);
    void HandleDownloadPage(httplib::Response& res, const std::string& account);
    // Decodes and records a request; false answers 400.
    bool Decode(const httplib::Request& req, RecordedRequest& out);
    // Waits as the behaviour says; false when the request is to go unanswered.
    bool Hold(const Behaviour& behaviour);
    std::string BuildReply(const RecordedRequest& request, const Behaviour& behaviour);
    bool Authorised(const httplib::Request& req);
    void SaveStore();

    ServerOptions m_options;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = -1;
    std::unique_ptr<XmlLibraryScope> m_xml;

    mutable std::mutex m_mutex; // guards everything below
    AccountStore m_store;
    Behaviour m_behaviour;
    std::vector<RecordedRequest> m_requests;
    std::vector<std::string> m_paths;

    std::mutex m_holdMutex;
    std::condition_variable m_holdCv;
    uint64_t m_releases = 0;
    bool m_stopping = false;
};

} // namespace mgmt
