#include "MgmtServer/MgmtServer.h"

#include <OrvaneUtils/Base64Coder.h>

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace mgmt {

namespace {

constexpr const char* kRequestPath = "/requestevent.php";
constexpr const char* kFilesPrefix = "/files/";
// A silent server still gives up a held request after this long.
constexpr std::chrono::minutes kSilentBound{10};

std::string SwapCase(std::string text) {
    for (char& c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        c = std::isupper(u) ? static_cast<char>(std::tolower(u))
                            : static_cast<char>(std::toupper(u));
    }
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string PresetsXml(const AccountStore& store) {
    std::string xml = "<ALTIREN_REPLY>";
    for (const PresetList& p : store.Presets()) {
        xml += "<PRESET_VALUES TYPE='" + EscapeXml(p.type) + "'>";
        for (const std::string& v : p.values)
            xml += "<PV VALUE='" + EscapeXml(v) + "'/>";
        xml += "</PRESET_VALUES>";
    }
    return xml + "</ALTIREN_REPLY>";
}

std::string ParamsXml(const AccountStore& store) {
    std::string xml = "<ALTIREN_REPLY>";
    for (const ParamLimits& p : store.Params())
        xml += "<" + p.element + " MIN='" + EscapeXml(p.min) + "' MAX='" + EscapeXml(p.max) + "'/>";
    return xml + "</ALTIREN_REPLY>";
}

} // namespace

MgmtServer::MgmtServer(ServerOptions options) : m_options(std::move(options)) {}

MgmtServer::~MgmtServer() {
    Stop();
}

bool MgmtServer::Start(std::string& error) {
    if (m_server) {
        error = "Already started";
        return false;
    }
    if (!m_options.dataFile.empty() && std::filesystem::exists(m_options.dataFile)) {
        AccountStore loaded;
        if (!loaded.Load(m_options.dataFile, error))
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_store = std::move(loaded);
    }
    m_xml = std::make_unique<XmlLibraryScope>();
    if (!m_xml->Ready()) {
        error = "Cannot initialise the XML parser";
        return false;
    }
    m_server = std::make_unique<httplib::Server>();
    m_server->Get(
        ".*", [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
    if (m_options.port == 0) {
        m_port = m_server->bind_to_any_port(m_options.address);
    } else {
        m_port = m_server->bind_to_port(m_options.address, m_options.port) ? m_options.port : -1;
    }
    if (m_port <= 0) {
        error = "Cannot listen on " + m_options.address + ":" + std::to_string(m_options.port);
        m_server.reset();
        return false;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    for (int i = 0; i < 5000 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void MgmtServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_holdMutex);
        m_stopping = true;
        ++m_releases;
    }
    m_holdCv.notify_all();
    if (m_server) {
        m_server->stop();
        if (m_thread.joinable())
            m_thread.join();
        m_server.reset();
    }
    m_xml.reset();
}

std::string MgmtServer::HostPort() const {
    return m_options.address + ":" + std::to_string(m_port);
}

void MgmtServer::SetBehaviour(const Behaviour& behaviour) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_behaviour = behaviour;
}

Behaviour MgmtServer::GetBehaviour() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_behaviour;
}

void MgmtServer::ReleaseHeld() {
    {
        std::lock_guard<std::mutex> lock(m_holdMutex);
        ++m_releases;
    }
    m_holdCv.notify_all();
}

void MgmtServer::EditStore(const std::function<void(AccountStore&)>& edit) {
    std::lock_guard<std::mutex> lock(m_mutex);
    edit(m_store);
    SaveStore();
}

AccountStore MgmtServer::StoreCopy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_store;
}

std::vector<RecordedRequest> MgmtServer::Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t MgmtServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

std::vector<std::string> MgmtServer::Paths() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_paths;
}

// Called with m_mutex held.
void MgmtServer::SaveStore() {
    if (m_options.dataFile.empty())
        return;
    std::string error;
    m_store.Save(m_options.dataFile, error);
}

void MgmtServer::Handle(const httplib::Request& req, httplib::Response& res) {
    const std::string& path = req.path;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_paths.push_back(path);
    }
    // Holds the request as a silent server does; true when it was held.
    auto holdSilently = [this, &res](bool silent) {
        if (!silent)
            return false;
        Behaviour held;
        held.silent = true;
        Hold(held);
        res.status = 503;
        return true;
    };
    if (path.empty() || path == "/") {
        if (holdSilently(GetBehaviour().silentProbe))
            return;
        res.set_content("Management server\n", "text/plain");
        return;
    }
    if (path == kRequestPath) {
        HandleEvent(req, res);
        return;
    }
    std::string browse = "/" + m_options.browsePage;
    if (path == browse || path == browse + "/") {
        if (holdSilently(GetBehaviour().silentBrowse))
            return;
        HandleBrowse(req, res);
        return;
    }
    if (path.rfind(kFilesPrefix, 0) == 0) {
        HandleFile(req, res, path.substr(std::char_traits<char>::length(kFilesPrefix)));
        return;
    }
    const std::string accounts = "/Accounts/";
    const std::string page = "/Downloads/DownLoadClient.php";
    if (path.rfind(accounts, 0) == 0 && EndsWith(path, page) &&
        path.size() > accounts.size() + page.size()) {
        HandleDownloadPage(
            res, path.substr(accounts.size(), path.size() - accounts.size() - page.size()));
        return;
    }
    auto extra = m_options.pages.find(path);
    if (extra != m_options.pages.end()) {
        if (GetBehaviour().silentPages) {
            Behaviour held;
            held.silent = true;
            Hold(held);
            if (GetBehaviour().silentPages) {
                res.status = 503;
                return;
            }
        }
        res.set_content(extra->second.second, extra->second.first);
        return;
    }
    res.status = 404;
    res.set_content("Not found\n", "text/plain");
}

bool MgmtServer::Decode(const httplib::Request& req, RecordedRequest& out) {
    std::string escaped, error;
    if (!ExtractBuffer(req.target, escaped) || !DecodeRequest(escaped, out.xml, out.nonce, error) ||
        !ParseRootElement(out.xml, out.root, out.attributes))
        return false;
    out.path = req.path;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(out);
    return true;
}

bool MgmtServer::Hold(const Behaviour& behaviour) {
    if (!behaviour.silent && behaviour.delayMs == 0)
        return true;
    std::unique_lock<std::mutex> lock(m_holdMutex);
    uint64_t seen = m_releases;
    auto released = [&] { return m_stopping || m_releases != seen; };
    if (behaviour.silent) {
        m_holdCv.wait_for(lock, kSilentBound, released);
        return false;
    }
    m_holdCv.wait_for(lock, std::chrono::milliseconds(behaviour.delayMs), released);
    return !m_stopping;
}

void MgmtServer::HandleEvent(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest request;
    if (!Decode(req, request) || request.root != "ALTIREN_EVENT") {
        res.status = 400;
        res.set_content("Bad request\n", "text/plain");
        return;
    }
    Behaviour behaviour = GetBehaviour();
    if (!Hold(behaviour)) {
        res.status = 503;
        return;
    }
    if (behaviour.status500) {
        res.status = 500;
        res.set_content("Internal server error\n", "text/plain");
        return;
    }
    std::string xml = BuildReply(request, behaviour);
    std::string encoded, error;
    uint32_t nonce = behaviour.wrongNonce ? request.nonce + 1 : request.nonce;
    if (!EncodeReply(xml, nonce, encoded, error)) {
        res.status = 500;
        res.set_content(error, "text/plain");
        return;
    }
    res.set_content(encoded, "text/plain");
}

std::string MgmtServer::BuildReply(const RecordedRequest& request, const Behaviour& behaviour) {
    const Attributes& a = request.attributes;
    std::string event = Attribute(a, "EVENT_TYPE");
    std::string user = Attribute(a, "USER");
    std::string password = Attribute(a, "PASSWORD");

    std::lock_guard<std::mutex> lock(m_mutex);
    const UserRecord* known = m_store.FindUser(user);
    bool valid = known && known->password == password;

    if (event == "GET_CONFIGURABLE_PARAM")
        return ParamsXml(m_store);
    if (event == "GET_PRESET_VALUES" && valid)
        return PresetsXml(m_store);

    std::string name = "PERMISSION";
    std::string value = valid ? "OK" : "NOK";
    if (event == "CREATE_USER") {
        value = m_store.AddUser(
                    {user, password, Attribute(a, "CLIENT_ACCOUNT_ID"), Attribute(a, "EMAIL")})
                    ? "OK"
                    : "NOK";
        SaveStore();
    } else if (event == "CHANGE_PASSWORD") {
        std::string fresh = Attribute(a, "NEW_PASSWORD");
        bool ok = valid && !fresh.empty() && fresh == Attribute(a, "CONFIRM_PASSWORD") &&
                  m_store.SetPassword(user, fresh);
        value = ok ? "OK" : "NOK";
        if (ok)
            SaveStore();
    } else if (event == "CLIENT_UPGRADE") {
        name = "UPGRADE_PREORITY";
        value = valid ? m_store.UpgradePriority() : "NOT";
    } else if (event != "CLIENT_INSTALL" && event != "CLIENT_UNINSTALL" &&
               event != "CLIENT_LAUNCH" && event != "CLIENT_STOP" && event != "CLIENT_SHUTDOWN" &&
               event != "CLIENT_KEEP_ALIVE" && event != "CLIENT_NAVIGATION" &&
               event != "GET_PRESET_VALUES") {
        value = "NOK";
    }

    // USER and PASSWORD go back as they came (the old password for CHANGE_PASSWORD).
    std::string echoed = behaviour.userOtherCase ? SwapCase(user) : user;
    std::string xml = "<ALTIREN_REPLY USER='" + EscapeXml(echoed) + "' PASSWORD='" +
                      EscapeXml(password) + "' " + name + "='" + EscapeXml(value) + "'";
    if (!behaviour.additionalInfo.empty())
        xml += " ADDITIONAL_INFO='" + EscapeXml(behaviour.additionalInfo) + "'";
    return xml + "/>";
}

void MgmtServer::HandleBrowse(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest request;
    if (!Decode(req, request) ||
        Attribute(request.attributes, "EVENT_TYPE") != "CLIENT_NAVIGATION") {
        res.status = 400;
        res.set_content("Bad request\n", "text/plain");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const UserRecord* known = m_store.FindUser(Attribute(request.attributes, "USER"));
        if (!known || known->password != Attribute(request.attributes, "PASSWORD")) {
            res.status = 403;
            res.set_content("<html><body>Access denied.</body></html>", "text/html");
            return;
        }
    }
    std::vector<std::string> names;
    std::error_code ec;
    if (!m_options.filesDir.empty())
        for (const auto& entry : std::filesystem::directory_iterator(m_options.filesDir, ec)) {
            std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && (EndsWith(name, ".wst") || EndsWith(name, ".tvl")))
                names.push_back(name);
        }
    std::sort(names.begin(), names.end());
    std::string html = "<html><head><title>Network scenarios</title></head><body><ul>";
    for (const std::string& name : names)
        html += "<li><a href=\"" + std::string(kFilesPrefix) + EscapeUrlSegment(name) + "\">" +
                EscapeXml(name) + "</a></li>";
    html += "</ul>" + m_options.browseExtra + "</body></html>";
    res.set_content(html, "text/html");
}

bool MgmtServer::Authorised(const httplib::Request& req) {
    std::string header = req.get_header_value("Authorization");
    const std::string scheme = "Basic ";
    if (header.rfind(scheme, 0) != 0)
        return false;
    std::string encoded = header.substr(scheme.size());
    Base64Coder coder;
    coder.Decode(encoded.data(), static_cast<unsigned long>(encoded.size()));
    const unsigned char* decoded = coder.DecodedMessage();
    if (!decoded)
        return false;
    std::string pair(reinterpret_cast<const char*>(decoded), coder.GetDecodeDataSize());
    size_t colon = pair.find(':');
    if (colon == std::string::npos)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    const UserRecord* known = m_store.FindUser(pair.substr(0, colon));
    return known && known->password == pair.substr(colon + 1);
}

void MgmtServer::HandleFile(const httplib::Request& req, httplib::Response& res,
                            const std::string& escapedName) {
    if (!Hold(GetBehaviour())) {
        res.status = 503;
        return;
    }
    if (!Authorised(req)) {
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"scenarios\"");
        res.set_content("Authorisation required\n", "text/plain");
        return;
    }
    std::string name = httplib::detail::decode_url(escapedName, false);
    // Only a plain name of the folder: a NUL byte would cut the name short of its
    // extension, and a separator or ".." would reach beyond the folder.
    bool allowed =
        !name.empty() && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos &&
        name.find("..") == std::string::npos && (EndsWith(name, ".wst") || EndsWith(name, ".tvl"));
    std::ifstream in;
    if (allowed && !m_options.filesDir.empty())
        in.open(std::filesystem::path(m_options.filesDir) / name, std::ios::binary);
    if (!in.is_open()) {
        res.status = 404;
        res.set_content("Not found\n", "text/plain");
        return;
    }
    std::ostringstream body;
    body << in.rdbuf();
    res.set_content(body.str(), EndsWith(name, ".tvl") ? "text/xml" : "application/octet-stream");
}

void MgmtServer::HandleDownloadPage(httplib::Response& res, const std::string& account) {
    std::string html = "<html><head><title>Client download</title></head><body>"
                       "<p>Account " +
                       EscapeXml(account) +
                       "</p><p><a href=\"Pramitone-2.5.tar.gz\">Download the client</a></p>"
                       "</body></html>";
    res.set_content(html, "text/html");
}

} // namespace mgmt
