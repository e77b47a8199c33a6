#include "AltirenClient/AltirenProxy.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientState.h"
#include "AltirenClient/ServerRequest.h"
#include "AltirenClient/WstScenario.h"
#include "CommunicationContext.h"
#include "ProxyXml.h"

#include <Morrane/InetAddress.h>
#include <Morrane/STrace.h>
#include <OrvaneUtils/HttpServices.h>
#include <OrvaneUtils/SCritSection.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

constexpr const char* kClass = "CAltirenProxy";
constexpr const char* kUserAgent = "Mozilla/4.0";
constexpr size_t kHostNameLength = 400;
// A caller held on by a busy transfer checks again at least this often.
constexpr unsigned long kMinimumWaitMs = 10;

// Bounds on what one transfer may bring, far above anything real, so that a hostile or
// broken server (or anyone on the plain-HTTP path) cannot fill the memory or the disk:
// a reply of the management server is one encrypted element of a few hundred bytes (the
// presets and the configurable parameters a few kilobytes); a scenario document is a few
// megabytes at most (the library's default bound); a recording is bounded by what its
// reader takes.
constexpr size_t kMaxReplyBytes = 1u << 20;
constexpr size_t kMaxDocumentBytes = CHttpServices::kDefaultMaxResponseBytes;
constexpr size_t kMaxRecordingBytes = CWSTScenario::kMaxFileSize;

// CommunicationTimeout bounds each transfer from its start to its end; 0 leaves no time.
unsigned long TransferBoundMs() {
    const unsigned long ms = CClientSettings().GetCommunicationTimeout();
    return ms ? ms : 1;
}

// What is left of the time until `deadline`, at least a millisecond.
unsigned long RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 1 ? static_cast<unsigned long>(left.count()) : 1;
}

#define PROXY_TRACE(severity, message, method)                                                     \
    CSTrace::instance()->Trace((severity), (message), kClass, (method), __FILE__, __LINE__)

// The HTTP services of the proxy: the library's class with a destructor of its own.
class CAltirenHttpServices : public CHttpServices {
public:
    explicit CAltirenHttpServices(const char* userAgent) : CHttpServices(userAgent) {}
    ~CAltirenHttpServices() override = default;
};

// Serialises every server request of the process. Never destroyed, like the
// context table, for threads that outlive the exit.
CSCritSection& RequestLock() {
    static CSCritSection* lock = new CSCritSection;
    return *lock;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string LocalTime(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64] = {0};
    std::strftime(text, sizeof text, format, &local);
    return text;
}

std::string LocalHostName() {
    char name[kHostNameLength + 1] = {0};
    if (gethostname(name, kHostNameLength) != 0)
        return std::string();
    return name;
}

// Appends " NAME='value'" with the value escaped.
void AppendAttribute(std::string& element, const char* name, const std::string& value) {
    element += " ";
    element += name;
    element += "='";
    element += proxyxml::Escape(value);
    element += "'";
}

// The communication thread: fetches the context's URL into its response. The
// starter has taken the thread's reference; the thread releases it.
int CommunicationThread(CommunicationContext* context) {
    if (!context)
        return 1;
    context->m_bFailed = 0;
    int code = 0;
    try {
        std::string headers, failure;
        eHttpReqRTC rc;
        {
            CAltirenHttpServices http(kUserAgent);
            // The caller's wait and this transfer end together.
            http.SetTimeout(RemainingMs(context->m_deadline));
            http.SetMaxResponseSize(kMaxReplyBytes);
            http.SetGetPostType(0);
            rc = http.eGetURLFile(context->m_sURL, context->m_sResponse, headers, context, 1, 1,
                                  &failure, 0);
        }
        if (rc != eHttpReqOK) {
            context->m_bFailed = 1;
            context->m_sFailReason = failure;
            PROXY_TRACE(CSTrace::eError, "Failure get Server response.", "CommunicationThread");
            code = 1;
        }
    } catch (...) {
        PROXY_TRACE(CSTrace::eError, "Internal exception.", "CommunicationThread");
        code = 0;
    }
    context->MarkFinished();
    CommunicationContext::Release(context);
    return code;
}

} // namespace

const char* const CAltirenProxy::kBuiltInPresets =
    "<ALTIREN_REPLY><PRESET_VALUES TYPE='LATENCY'><PV VALUE='20'/><PV VALUE='50'/><PV "
    "VALUE='100'/><PV VALUE='200'/><PV VALUE='400'/></PRESET_VALUES><PRESET_VALUES "
    "TYPE='PACKETLOSS'><PV VALUE='0.2'/><PV VALUE='1'/><PV VALUE='2'/><PV VALUE='5'/><PV "
    "VALUE='15'/></PRESET_VALUES><PRESET_VALUES TYPE='BANDWIDTH'><PV VALUE='15440'/><PV "
    "VALUE='2560'/><PV VALUE='640'/><PV VALUE='336'/><PV "
    "VALUE='144'/></PRESET_VALUES></ALTIREN_REPLY>";

CAltirenProxy::CAltirenProxy() : m_oHTTPServices(new CAltirenHttpServices(kUserAgent)) {}

CAltirenProxy::~CAltirenProxy() {
    delete m_oHTTPServices;
}

const char* CAltirenProxy::EventLiteral(ServerEventType event) {
    switch (event) {
    case CLIENT_INSTALL:
        return "EVENT_TYPE='CLIENT_INSTALL'";
    case CLIENT_UNINSTALL:
        return "EVENT_TYPE='CLIENT_UNINSTALL'";
    case CREATE_USER:
        return "EVENT_TYPE='CREATE_USER'";
    case CLIENT_LAUNCH:
        return "EVENT_TYPE='CLIENT_LAUNCH'";
    case CLIENT_STOP:
        return "EVENT_TYPE='CLIENT_STOP'";
    case GET_PRESET_VALUES:
        return "EVENT_TYPE='GET_PRESET_VALUES'";
    case CLIENT_SHUTDOWN:
        return "EVENT_TYPE='CLIENT_SHUTDOWN'";
    case CLIENT_KEEP_ALIVE:
        return "EVENT_TYPE='CLIENT_KEEP_ALIVE'";
    case CLIENT_UPGRADE:
        return "EVENT_TYPE='CLIENT_UPGRADE'";
    case CLIENT_NAVIGATION:
        return "EVENT_TYPE='CLIENT_NAVIGATION'";
    case GET_CONFIGURABLE_PARAM:
        return "EVENT_TYPE='GET_CONFIGURABLE_PARAM'";
    case CHANGE_PASSWORD:
        return "EVENT_TYPE='CHANGE_PASSWORD'";
    }
    return nullptr;
}

size_t CAltirenProxy::LiveRequestCount() {
    return CommunicationContext::LiveCount();
}

void CAltirenProxy::GetAltirenServer(std::string& url) {
    CClientSettings settings;
    std::string server;
    const char* page = CClientSettings::GetRequestPage();
    if (!settings.bGetServerIP(server, false) || server.empty() || !page || !*page)
        return;
    url = "http://" + server + "/" + page;
}

int CAltirenProxy::CreateRequest(std::string& url, ServerEventType event, bool withServer) {
    const char* method = "CreateRequest";
    PROXY_TRACE(CSTrace::eInformation, "Entered Method", method);
    const char* literal = EventLiteral(event);
    if (!literal) {
        PROXY_TRACE(CSTrace::eError, "Unknown event.", method);
        return 0;
    }
    if (withServer)
        GetAltirenServer(url);
    url += "?BUFFER=";

    std::string element = "<ALTIREN_EVENT ";
    element += literal;

    CClientSettings settings;
    std::string user, password;
    if (!settings.bGetUserDetails(user, password, true)) {
        PROXY_TRACE(CSTrace::eError, "User Name and Password registry failure.", method);
        return 0;
    }
    // Every value is escaped: a quote or '<' in it would otherwise end the attribute
    // or the element, and could add attributes of its own.
    AppendAttribute(element, "USER", user);
    AppendAttribute(element, "PASSWORD", password);
    if (event == CREATE_USER)
        AppendAttribute(element, "EMAIL", m_sEmail);
    if (event == CHANGE_PASSWORD) {
        AppendAttribute(element, "NEW_PASSWORD", m_sNewPassword);
        AppendAttribute(element, "CONFIRM_PASSWORD", m_sNewPassword);
    }
    AppendAttribute(element, "DATE", LocalTime("%Y-%m-%d"));
    AppendAttribute(element, "TIME", LocalTime("%H:%M"));

    std::string clientIp = ClientState::GetChosenAdapterAddress();
    if (clientIp.empty())
        clientIp = CInetHostAddress().get_host_address();
    AppendAttribute(element, "CLIENT_IP", clientIp);

    std::string account;
    if (!settings.bGetAccountID(account) || account.empty()) {
        PROXY_TRACE(CSTrace::eError, "User Accuont ID regestry failure.", method);
        return 0;
    }
    AppendAttribute(element, "CLIENT_ACCOUNT_ID", account);
    AppendAttribute(element, "CLIENT_HOST", LocalHostName());
    AppendAttribute(element, "CLIENT_VERSION", kClientVersion);
    if (!m_sAdditionalInfo.empty())
        AppendAttribute(element, "ADDITIONAL_INFO", m_sAdditionalInfo);
    element += "/>";

    if (!m_oCoder.EncryptDecryptMessage(element, true)) {
        PROXY_TRACE(CSTrace::eError, "Encryption failure.", method);
        return 0;
    }
    if (!m_oCoder.EscapeForURL(element)) {
        PROXY_TRACE(CSTrace::eError, "URL Escape failure.", method);
        return 0;
    }
    url += element;
    return 1;
}

int CAltirenProxy::GetAltirenResponse(std::string& reply, ServerEventType event) {
    const char* method = "GetAltirenResponse";
    PROXY_TRACE(CSTrace::eInformation, "Entered Method", method);
    reply.clear();
    m_bServerReplied = false;
    const unsigned long timeoutMs = TransferBoundMs();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);

    if (!ClientState::IsServerOnline()) {
        PROXY_TRACE(CSTrace::eInformation, "Working in offline mode", method);
        return GetAltirenOfflineResponse(reply, event);
    }

    CommunicationContext* context = nullptr;
    bool finished = false;
    std::string reason = "no answer in time";
    {
        CSCritSectionLock lock(RequestLock());
        m_sText.clear();
        // A new URL each time: a URL left from the last request would get a second
        // "?BUFFER=" appended when the server address cannot be read.
        m_sRequestURL.clear();
        if (!CreateRequest(m_sRequestURL, event, true))
            return 0;

        context = CommunicationContext::Create();
        context->m_sURL = m_sRequestURL;
        context->m_deadline = deadline;
        // The thread's reference is taken before it starts, so a caller that gives up
        // early cannot free the context under a thread that has not yet run.
        CommunicationContext::AddRef(context);
        bool started = false;
        try {
            std::thread thread(CommunicationThread, context);
            m_hCommThread = thread.get_id();
            thread.detach();
            started = true;
        } catch (const std::system_error&) {
            CommunicationContext::Release(context); // the thread's reference
            reason = "the communication thread could not start";
            PROXY_TRACE(CSTrace::eError, "Cannot start the communication thread.", method);
        }
        if (started) {
            finished = context->WaitFinished(RemainingMs(deadline));
            // A transfer still under way holds the caller on; it is bounded by the same
            // deadline, so this ends just after it.
            while (!finished && context->IsBusy())
                finished = context->WaitFinished(kMinimumWaitMs);
        }
        m_hCommThread = std::thread::id();
    }

    // The context's fields are read only once the thread has finished with them.
    if (finished && !context->m_bFailed) {
        reply = context->m_sResponse;
        CommunicationContext::Release(context);
        const int checked = ParseReplyXML(reply, event);
        m_bServerReplied = checked != 0;
        return checked;
    }
    if (finished)
        reason = context->m_sFailReason;
    CommunicationContext::Release(context);
    char message[512];
    std::snprintf(message, sizeof message, "Failed to get response from server, the reason is:%s",
                  reason.c_str());
    PROXY_TRACE(CSTrace::eError, message, method);
    ClientState::SetServerOnline(false);
    return GetAltirenOfflineResponse(reply, event);
}

int CAltirenProxy::GetAltirenOfflineResponse(std::string& reply, ServerEventType event) {
    switch (event) {
    case CLIENT_INSTALL:
    case CLIENT_UNINSTALL:
    case CREATE_USER:
    case CHANGE_PASSWORD:
        reply = "NOK";
        break;
    case CLIENT_UPGRADE:
        reply = "NOT";
        break;
    case GET_PRESET_VALUES:
        reply = kBuiltInPresets;
        break;
    default:
        reply = "OK";
        break;
    }
    return 1;
}

int CAltirenProxy::ParseReplyXML(std::string& reply, ServerEventType event) {
    const char* method = "ParseReplyXML";
    PROXY_TRACE(CSTrace::eInformation, "Entered Method", method);
    try {
        if (!m_oCoder.EncryptDecryptMessage(reply, false)) {
            PROXY_TRACE(CSTrace::eError, "Encryption failure.", method);
            return 0;
        }
        if (event == GET_PRESET_VALUES || event == GET_CONFIGURABLE_PARAM)
            return 1;

        std::map<std::string, std::string> attributes;
        if (!proxyxml::ReadRootAttributes(reply, attributes)) {
            PROXY_TRACE(CSTrace::eError, "Parse reply XML failure.", method);
            return 0;
        }
        auto value = [&](const char* name) {
            auto it = attributes.find(name);
            return it == attributes.end() ? std::string() : it->second;
        };
        CClientSettings settings;
        std::string user, password;
        if (!settings.bGetUserDetails(user, password, true)) {
            PROXY_TRACE(CSTrace::eError, "User Name and Password regestry failure.", method);
            return 0;
        }
        if (value("USER") != user || Upper(value("PASSWORD")) != Upper(password)) {
            PROXY_TRACE(CSTrace::eError, "User Details missmatch.", method);
            return 0;
        }
        m_sAdditionalInfo = value("ADDITIONAL_INFO");
        reply = value(event == CLIENT_UPGRADE ? "UPGRADE_PREORITY" : "PERMISSION");
        return 1;
    } catch (...) {
        PROXY_TRACE(CSTrace::eError, "Exception", method);
        return 0;
    }
}

int CAltirenProxy::GetAltirenWSTFile(const std::string& url, std::string& path) {
    const char* method = "GetAltirenWSTFile";
    PROXY_TRACE(CSTrace::eInformation, "Entered Method", method);
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec)
        folder = std::filesystem::current_path(ec);
    std::string pattern = (folder / "WSTTempXXXXXX").string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        PROXY_TRACE(CSTrace::eError, "Cannot create a temporary file.", method);
        return 0;
    }
    close(fd);
    path = pattern;

    m_oHTTPServices->SetGetPostType(1);
    // Bounded like a server request, and by what the recording's reader takes.
    m_oHTTPServices->SetTimeout(TransferBoundMs());
    m_oHTTPServices->SetMaxResponseSize(kMaxRecordingBytes);
    std::string failure;
    ServerRequest::CancelObserver cancel(m_pCancelled);
    if (m_oHTTPServices->bGetURLFileAndWriteToFile(url, path, 1, &failure, &cancel) == 1)
        return 1;
    PROXY_TRACE(CSTrace::eError, "m_oHTTPServices.bGetURLFileAndWriteToFile", method);
    // The temporary file was made before the download; it goes with the failure.
    std::remove(path.c_str());
    path.clear();
    return 0;
}

int CAltirenProxy::GetAltirenTVLBuffer(const std::string& url, std::string& text) {
    const char* method = "GetAltirenTVLBuffer";
    PROXY_TRACE(CSTrace::eInformation, "Entered Method", method);
    // Bounded like a server request: a silent server must not hold the request lock
    // and the caller for the library's much longer default.
    const unsigned long timeoutMs = TransferBoundMs();
    CSCritSectionLock lock(RequestLock());
    m_oHTTPServices->SetMaxResponseSize(kMaxDocumentBytes);
    std::string body, headers, failure;
    ServerRequest::CancelObserver cancel(m_pCancelled);
    if (m_oHTTPServices->eGetURLFile(url, body, headers, &cancel, 1, 1, &failure, timeoutMs) ==
        eHttpReqOK) {
        text = body;
        return 1;
    }
    PROXY_TRACE(CSTrace::eError, "GetAltirenTVLBuffer Failure ", method);
    return 0;
}

int CAltirenProxy::GetPageBrowseNavigateURL(std::string& url) {
    const char* method = "GetPageBrowseNavigateURL";
    PROXY_TRACE(CSTrace::eInformation, "Entered Method", method);
    std::string request;
    if (!CreateRequest(request, CLIENT_NAVIGATION, false)) {
        PROXY_TRACE(CSTrace::eError, "CreateRequest failed", method);
        return 0;
    }
    CClientSettings settings;
    std::string server, page;
    if (!settings.bGetServerIP(server, false)) {
        PROXY_TRACE(CSTrace::eError, "bGetServerIP failed", method);
        return 0;
    }
    if (!settings.bGetAltirenBrowser(page)) {
        PROXY_TRACE(CSTrace::eError, "bGetAltirenServer failed", method);
        return 0;
    }
    url = "http://" + server + "/" + page + "/" + request;
    return 1;
}

int CAltirenProxy::GetServerAddress(std::string& address) {
    CClientSettings settings;
    std::string server;
    if (!settings.bGetServerIP(server, false) || server.empty())
        return 0;
    // A port given with the address is not part of the host.
    server = CClientSettings::HostOfServerAddress(server);
    CInetHostAddress host(server.c_str());
    if (!host.is_inet_address())
        return 0;
    address = host.get_host_address();
    return 1;
}

uint32_t CAltirenProxy::GetServerAddressNumber() {
    std::string address;
    if (!GetServerAddress(address))
        return 0xFFFFFFFFu;
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        return 0xFFFFFFFFu;
    return ntohl(parsed.s_addr);
}

void CAltirenProxy::SetAuthenticationDetails(const std::string& user, const std::string& password,
                                             bool enable) {
    m_oHTTPServices->SetAuthenticationDetails(user, password, enable);
}
