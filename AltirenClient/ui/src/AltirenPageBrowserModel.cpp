#include "AltirenUi/AltirenPageBrowserModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ServerRequest.h"
#include "AltirenClient/StringTable.h"

#include <Fendrel/SEndPointParser.h>
#include <Fendrel/STopovelDocumentParser.h>
#include <Morrane/STrace.h>
#include <NuvexTopovelValidator/STopovelValidator.h>
#include <OrvaneUtils/HttpServices.h>

#include <QUrl>

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

constexpr const char* kClass = "CAltirenPageBrowser";
constexpr const char* kUserAgent = "Mozilla/4.0";
constexpr const char* kImportErrorCaption = "Import error";
constexpr const char* kServerObject = "ID_SERVER";

#define BROWSER_TRACE(severity, message, method)                                                   \
    CSTrace::instance()->Trace((severity), (message), kClass, (method), __FILE__, __LINE__)

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Str(SHString& s) {
    const char* p = s.GetString();
    return p ? std::string(p) : std::string();
}

QUrl ParseUrl(const std::string& url) {
    return QUrl(QString::fromStdString(url), QUrl::StrictMode);
}

// The server address setting ("host" or "host:port") as an address; empty when unset.
QUrl ServerUrl() {
    CClientSettings settings;
    std::string server;
    if (!settings.bGetServerIP(server, false) || server.empty())
        return QUrl();
    return QUrl(QString::fromStdString("http://" + server));
}

int DefaultPort(const QString& scheme) {
    return scheme == QLatin1String("https") ? 443 : 80;
}

// The last Content-Type of the header lines, in lower case without its parameters.
std::string ContentType(const std::string& headers) {
    std::string type;
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find('\n', start);
        if (end == std::string::npos)
            end = headers.size();
        const std::string line = Lower(headers.substr(start, end - start));
        const std::string name = "content-type:";
        if (line.compare(0, name.size(), name) == 0) {
            type = line.substr(name.size());
            type = type.substr(0, type.find(';'));
            type.erase(0, type.find_first_not_of(" \t"));
            type.erase(type.find_last_not_of(" \t\r") + 1);
        }
        start = end + 1;
    }
    return type;
}

} // namespace

CAltirenPageBrowserModel::CAltirenPageBrowserModel(IPrompt& prompt, const ImportedScenario& current)
    : m_prompt(prompt), m_result(current) {}

bool CAltirenPageBrowserModel::GetBrowseAddress(std::string& url) {
    UINT why = 0;
    return GetBrowseAddress(url, why);
}

bool CAltirenPageBrowserModel::GetBrowseAddress(std::string& url, UINT& why) {
    why = 0;
    if (m_proxy.GetPageBrowseNavigateURL(url))
        return true;
    // What the installation did not set is said; the request traced the rest.
    CClientSettings settings;
    std::string value;
    if (!settings.bGetAccountID(value) || value.empty())
        why = IDS_ACCOUNT_MISSING;
    else if (!settings.bGetServerIP(value, false) || value.empty())
        why = IDS_SERVER_UNREACHABLE;
    else if (!settings.bGetAltirenBrowser(value) || value.empty())
        why = IDS_BROWSER_ADDRESS_MISSING;
    return false;
}

bool CAltirenPageBrowserModel::IsServerAddress(const std::string& url) {
    const QUrl address = ParseUrl(url);
    if (!address.isValid() || (address.scheme() != "http" && address.scheme() != "https"))
        return false;
    const QUrl server = ServerUrl();
    if (server.host().isEmpty() || address.host().compare(server.host(), Qt::CaseInsensitive) != 0)
        return false;
    // Another port of the server's host is another server: it is not given the user's
    // name and password. A server named without a port answers on the scheme's own.
    const int port = address.port(DefaultPort(address.scheme()));
    return server.port() < 0 ? port == DefaultPort(address.scheme()) : port == server.port();
}

CAltirenPageBrowserModel::LinkKind CAltirenPageBrowserModel::ClassifyLink(const std::string& url,
                                                                          std::string& fileName) {
    const std::string path = ParseUrl(url).path(QUrl::FullyEncoded).toStdString();
    fileName = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    const size_t dot = fileName.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : Lower(fileName.substr(dot + 1));
    if (extension == "wst")
        return LinkKind::Recording;
    if (extension == "tvl")
        return LinkKind::Document;
    return LinkKind::Page;
}

CAltirenPageBrowserModel::Navigation CAltirenPageBrowserModel::Decide(const std::string& url,
                                                                      FetchJob& job) {
    const char* method = "OnBeforeNavigate2ExplorerBrowse";
    std::string fileName;
    const LinkKind kind = ClassifyLink(url, fileName);
    // The dialog shows the management server and nothing else: no other host is asked
    // for a page, nor given the user's name and password with a scenario request.
    if (!IsServerAddress(url)) {
        BROWSER_TRACE(CSTrace::eWarning, "Navigation outside the server refused", method);
        return Navigation::Stay;
    }
    if (kind == LinkKind::Page)
        return PageJob(url, job) ? Navigation::Continue : Navigation::Stay;

    std::string user, password;
    if (!CClientSettings().bGetUserDetails(user, password, true)) {
        BROWSER_TRACE(CSTrace::eError, "Failed to get username and password", method);
        m_result.fileName.clear();
        return Navigation::Stay;
    }
    job = FetchJob();
    job.kind = kind;
    job.url = url;
    job.fileName = fileName;
    job.user = user;
    job.password = password;
    job.authenticate = true;
    job.timeoutMs = CClientSettings().GetCommunicationTimeout();
    return Navigation::Fetch;
}

bool CAltirenPageBrowserModel::PageJob(const std::string& url, FetchJob& job) const {
    if (!IsServerAddress(url)) {
        BROWSER_TRACE(CSTrace::eWarning, "Address outside the server not fetched", "PageJob");
        return false;
    }
    job = FetchJob();
    job.kind = LinkKind::Page;
    job.url = url;
    job.timeoutMs = CClientSettings().GetCommunicationTimeout();
    job.authenticate = CClientSettings().bGetUserDetails(job.user, job.password, true);
    return true;
}

CAltirenPageBrowserModel::Fetched
CAltirenPageBrowserModel::RunFetch(const FetchJob& job, const std::atomic<bool>* cancelled) {
    Fetched fetched;
    if (job.kind == LinkKind::Page) {
        CHttpServices http(kUserAgent);
        http.SetTimeout(job.timeoutMs);
        if (job.authenticate)
            http.SetAuthenticationDetails(job.user, job.password, true);
        ServerRequest::CancelObserver cancel(cancelled);
        std::string headers, failure;
        if (http.eGetURLFile(job.url, fetched.body, headers, &cancel, 1, 1, &failure, 0) !=
            eHttpReqOK) {
            BROWSER_TRACE(CSTrace::eError, ("Failed to fetch a page: " + failure).c_str(),
                          "FetchFromServer");
            fetched.body.clear();
            return fetched;
        }
        fetched.contentType = ContentType(headers);
        fetched.ok = true;
        return fetched;
    }
    CAltirenProxy proxy;
    proxy.SetCancelFlag(cancelled);
    if (job.authenticate)
        proxy.SetAuthenticationDetails(job.user, job.password, true);
    if (job.kind == LinkKind::Document) {
        fetched.ok = proxy.GetAltirenTVLBuffer(job.url, fetched.body) != 0;
        return fetched;
    }
    std::string path;
    if (!proxy.GetAltirenWSTFile(job.url, path))
        return fetched;
    fetched.ok = true;
    // The temporary file goes whether it was read or not.
    fetched.readable = fetched.recording.ReadDownloadedWST(path);
    return fetched;
}

CAltirenPageBrowserModel::Navigation CAltirenPageBrowserModel::Complete(const FetchJob& job,
                                                                        Fetched fetched) {
    switch (job.kind) {
    case LinkKind::Recording:
        return ImportRecording(job, fetched);
    case LinkKind::Document:
        return ImportDocument(job, fetched);
    case LinkKind::Page:
        break;
    }
    return Navigation::Stay;
}

CAltirenPageBrowserModel::Navigation
CAltirenPageBrowserModel::BeforeNavigate(const std::string& url) {
    FetchJob job;
    const Navigation decision = Decide(url, job);
    if (decision != Navigation::Fetch)
        return decision;
    return Complete(job, RunFetch(job, nullptr));
}

CAltirenPageBrowserModel::Navigation CAltirenPageBrowserModel::ImportRecording(const FetchJob& job,
                                                                               Fetched& fetched) {
    if (!fetched.ok) {
        m_prompt.MessageBox(LoadClientString(IDS_IMPORT_FAILED), kImportErrorCaption,
                            MB_OK | MB_ICONERROR);
        BROWSER_TRACE(CSTrace::eError, "Failed to import recording", "ImportRecording");
        return Navigation::Refuse;
    }
    if (!fetched.readable) {
        ShowClientMessage(m_prompt, IDS_INVALID_FILE, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
        return Navigation::Refuse;
    }
    if (!CheckRecordingAgainstServer(fetched.recording))
        return Navigation::Refuse;
    m_result.recording = std::move(fetched.recording);
    m_result.sourceKind = 0;
    m_result.fileName = job.fileName;
    return Navigation::Accept;
}

CAltirenPageBrowserModel::Navigation
CAltirenPageBrowserModel::ImportDocument(const FetchJob& job, const Fetched& fetched) {
    if (!fetched.ok) {
        m_prompt.MessageBox(LoadClientString(IDS_IMPORT_FAILED), kImportErrorCaption,
                            MB_OK | MB_ICONERROR);
        BROWSER_TRACE(CSTrace::eError, "Failed to import topovel", "ImportDocument");
        return Navigation::Refuse;
    }
    std::string document;
    const int result = ValidateImportedTopovel(fetched.body, document);
    if (result == kTopovelInvalid)
        ShowClientMessage(m_prompt, IDS_INVALID_FILE, IDS_CAPTION_ERROR, MB_OK | MB_ICONERROR);
    if (result != kTopovelAccepted)
        return Navigation::Refuse;
    m_result.document = std::move(document);
    m_result.sourceKind = 1;
    m_result.fileName = job.fileName;
    return Navigation::Accept;
}

bool CAltirenPageBrowserModel::AskToDropServer() {
    return ShowClientMessage(m_prompt, IDS_SERVER_IP_IN_IMPORT, IDS_CAPTION_WARNING,
                             MB_OKCANCEL | MB_ICONWARNING) == IDOK;
}

bool CAltirenPageBrowserModel::CheckRecordingAgainstServer(CWSTScenario& recording) {
    const uint32_t server = m_proxy.GetServerAddressNumber();
    wst::SettingsBlock& filter = recording.m_settings;
    // A mode other than 0 plays as include, as the conversion reads it.
    if (server == 0xFFFFFFFFu || filter.filterMode == 0)
        return true;
    const uint32_t count =
        std::min<uint32_t>(filter.filterCount, static_cast<uint32_t>(filter.entries.size()));
    auto first = filter.entries.begin();
    auto last = first + count;
    auto isServer = [server](const wst::FilterEntry& e) { return e.firstAddress == server; };
    if (std::find_if(first, last, isServer) == last)
        return true;
    if (!AskToDropServer())
        return false;
    // Every entry of the server goes: OK promised an emulation without it.
    auto kept = std::remove_if(first, last, isServer);
    std::fill(kept, last, wst::FilterEntry{});
    filter.filterCount = static_cast<uint32_t>(kept - first);
    if (filter.filterCount == 0) {
        // An empty include list plays nothing: the server is excluded instead.
        filter.filterMode = 0;
        filter.entries[0] = wst::FilterEntry{server, server, 0, 0};
        filter.filterCount = 1;
    }
    return true;
}

int CAltirenPageBrowserModel::ValidateImportedTopovel(const std::string& text, std::string& out) {
    CClientSettings settings;
    std::string dtd;
    if (!settings.bGetInstallFolder(dtd))
        dtd.clear();
    std::string xml = text;
    CSTopovelValidator validator;
    if (validator.ValidateTopovel(xml, dtd.empty() ? nullptr : dtd.c_str()) != TOPOVEL_VALID)
        return kTopovelInvalid;

    // Without the server's address there is nothing to keep out.
    std::string server;
    if (!m_proxy.GetServerAddress(server) || server.empty()) {
        out = xml;
        return kTopovelAccepted;
    }

    CSTopovelDocParser doc;
    if (!dtd.empty())
        doc.SetTopovelDtdPath(dtd.c_str());
    SHString endPointXml;
    CSEndPointParser endPoint;
    unsigned includes = 0, excludes = 0;
    if (doc.Parse(xml.c_str(), true) != NX_SUCCESS ||
        doc.GetNetObjectXML(kServerObject, endPointXml) != NX_SUCCESS ||
        endPoint.Parse(Str(endPointXml).c_str(), false) != NX_SUCCESS ||
        endPoint.GetIncludeIPRangeCount(includes) != NX_SUCCESS ||
        endPoint.GetExcludeIPRangeCount(excludes) != NX_SUCCESS)
        return kTopovelInvalid;

    // The first addresses of a list's ranges that name the server, last first.
    auto serverRanges = [&](bool include, unsigned count, std::vector<unsigned>& found) {
        for (unsigned i = 0; i < count; ++i) {
            SHString from, to;
            unsigned short protocol = 0, port = 0;
            const NX_RC rc = include ? endPoint.GetIncludeIPRange(i, from, to, protocol, port)
                                     : endPoint.GetExcludeIPRange(i, from, to, protocol, port);
            if (rc != NX_SUCCESS)
                return false;
            if (Str(from) == server)
                found.insert(found.begin(), i);
        }
        return true;
    };
    auto excludeServer = [&] {
        std::vector<unsigned> listed;
        unsigned count = 0;
        if (endPoint.GetExcludeIPRangeCount(count) != NX_SUCCESS ||
            !serverRanges(false, count, listed))
            return false;
        return !listed.empty() ||
               endPoint.AddExcludeIPRange(server.c_str(), server.c_str(), 0, 0) == NX_SUCCESS;
    };

    bool changed = false;
    if (includes == 0) {
        std::vector<unsigned> listed;
        if (!serverRanges(false, excludes, listed))
            return kTopovelInvalid;
        if (listed.empty() && settings.IsExcludeServerIP()) {
            if (endPoint.AddExcludeIPRange(server.c_str(), server.c_str(), 0, 0) != NX_SUCCESS)
                return kTopovelInvalid;
            changed = true;
        }
    } else {
        std::vector<unsigned> listed;
        if (!serverRanges(true, includes, listed))
            return kTopovelInvalid;
        if (!listed.empty()) {
            if (!AskToDropServer())
                return kTopovelCancelled;
            // Every range of the server goes: OK promised an emulation without it.
            for (unsigned index : listed)
                if (endPoint.RemoveIncludeIPRange(index) != NX_SUCCESS)
                    return kTopovelInvalid;
            changed = true;
            unsigned left = 0;
            if (endPoint.GetIncludeIPRangeCount(left) != NX_SUCCESS)
                return kTopovelInvalid;
            if (left == 0 && !excludeServer())
                return kTopovelInvalid;
        }
    }

    if (changed) {
        SHString endPointText, documentText;
        if (endPoint.GetXML(endPointText) != NX_SUCCESS ||
            doc.ReplaceNetObject(kServerObject, Str(endPointText).c_str()) != NX_SUCCESS ||
            doc.GetXML(documentText) != NX_SUCCESS)
            return kTopovelInvalid;
        xml = Str(documentText);
    }
    out = xml;
    return kTopovelAccepted;
}

bool CAltirenPageBrowserModel::FetchFromServer(const std::string& url, std::string& body,
                                               std::string& contentType) {
    FetchJob job;
    if (!PageJob(url, job))
        return false;
    Fetched fetched = RunFetch(job, nullptr);
    if (!fetched.ok)
        return false;
    body = std::move(fetched.body);
    contentType = std::move(fetched.contentType);
    return true;
}
