#include "OrvaneUtils/HttpServices.h"

#include "OrvaneUtils/HTTPRequestObserver.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

namespace {

// The on-line probe waits no longer than this, whatever the transfer time-out is.
constexpr unsigned long kProbeTimeoutMs = 10000;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    CHTTPRequestObserver* observer = nullptr;
    bool followRedirects = false;
    std::string* body = nullptr; // memory target
    FILE* file = nullptr;        // file target
    std::string* headers = nullptr;
    CURL* curl = nullptr;
    size_t limit = CHttpServices::kDefaultMaxResponseBytes;
    unsigned long received = 0;
    unsigned long reported = 0;
    size_t headerBytes = 0;
    // The last header block ended with its blank line (a new block starts with each
    // interim reply and redirect).
    bool headersEnded = false;
    bool aborted = false;
    bool writeFailed = false;
    bool tooLarge = false;
    // An exception of a callback, kept until the transfer library has returned: it
    // must not unwind through that library's frames.
    std::exception_ptr error;
};

// Runs one callback body; an exception is kept in the transfer and answered with
// the value that makes the library abandon the transfer.
template <typename Result, typename Body>
Result Guarded(Transfer* t, Result abandon, Body body) {
    try {
        return body();
    } catch (...) {
        t->error = std::current_exception();
        t->aborted = true;
        return abandon;
    }
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    return Guarded(t, size_t(0), [&] {
        size_t bytes = size * count;
        if (bytes > t->limit - std::min<size_t>(t->received, t->limit)) {
            t->tooLarge = true;
            return size_t(0);
        }
        if (t->file) {
            if (std::fwrite(data, 1, bytes, t->file) != bytes) {
                t->writeFailed = true;
                return size_t(0);
            }
        } else if (t->body) {
            t->body->append(data, bytes);
        }
        t->received += static_cast<unsigned long>(bytes);
        return bytes;
    });
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    return Guarded(t, size_t(0), [&] {
        size_t bytes = size * count;
        t->headerBytes += bytes;
        if (t->headerBytes > CHttpServices::kMaxHeaderBytes) {
            t->tooLarge = true;
            return size_t(0);
        }
        if (t->headers)
            t->headers->append(data, bytes);
        bool blank =
            (bytes == 2 && data[0] == '\r' && data[1] == '\n') || (bytes == 1 && data[0] == '\n');
        if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0)
            t->headersEnded = false;
        if (blank)
            t->headersEnded = true;
        if (blank && t->observer) {
            long status = 0;
            curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
            bool redirect = t->followRedirects && status >= 300 && status < 400;
            // An interim 1xx block and a redirect that will be followed are not the answer.
            if (status >= 200 && !redirect && !t->observer->OnResponseStatus(status)) {
                t->aborted = true;
                return size_t(0);
            }
        }
        return bytes;
    });
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    return Guarded(t, 1, [&] {
        if (!t->observer)
            return 0;
        if (t->received != t->reported) {
            t->reported = t->received;
            t->observer->OnBytesReceived(t->received);
        }
        if (!t->observer->ContinueRequest()) {
            t->aborted = true;
            return 1;
        }
        return 0;
    });
}

// Tells the observer busy for the life of one transfer.
class BusyScope {
public:
    explicit BusyScope(CHTTPRequestObserver* observer) : m_observer(observer) {
        if (m_observer)
            m_observer->SetBusy(true);
    }
    ~BusyScope() {
        if (m_observer)
            m_observer->SetBusy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    CHTTPRequestObserver* m_observer;
};

struct CurlHandle {
    CURL* curl = curl_easy_init();
    ~CurlHandle() {
        if (curl)
            curl_easy_cleanup(curl);
    }
};

void SetText(std::string* target, const std::string& text) {
    if (target)
        *target = text;
}

} // namespace

CHttpServices::CHttpServices(const char* userAgent) : m_userAgent(userAgent ? userAgent : "") {
    GlobalInit();
}

CHttpServices::~CHttpServices() {
    std::fill(m_password.begin(), m_password.end(), '\0');
}

void CHttpServices::SetTimeout(unsigned long timeoutMs) {
    m_timeoutMs = timeoutMs ? timeoutMs : kDefaultTimeoutMs;
}

void CHttpServices::SetMaxResponseSize(size_t bytes) {
    m_maxResponseBytes = bytes ? bytes : kDefaultMaxResponseBytes;
}

void CHttpServices::SetAuthenticationDetails(const std::string& user, const std::string& password,
                                             bool enable) {
    m_authenticate = enable;
    m_user = enable ? user : std::string();
    m_password = enable ? password : std::string();
}

namespace {

struct Options {
    const std::string& userAgent;
    bool authenticate;
    const std::string& user;
    const std::string& password;
    unsigned long timeoutMs;
    bool noCache;
    size_t maxResponseBytes;
};

// Runs one GET (or HEAD when body is false) and maps the outcome.
eHttpReqRTC Perform(const std::string& url, Transfer& t, const Options& o, bool body,
                    bool failOnHttpError, long* statusOut, std::string* errorText) {
    if (url.empty()) {
        SetText(errorText, "No URL given");
        return eHttpReqInvalidArgument;
    }
    CurlHandle h;
    if (!h.curl) {
        SetText(errorText, "Cannot create a transfer");
        return eHttpReqFailed;
    }
    CURL* c = h.curl;
    t.curl = c;
    t.limit = o.maxResponseBytes;
    char errbuf[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_USERAGENT, o.userAgent.c_str());
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(o.timeoutMs));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::min(o.timeoutMs, CHttpServices::kConnectTimeoutMs)));
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, t.followRedirects ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_NOBODY, body ? 0L : 1L);
    // A length announced beyond the bound is refused before the body comes; the write
    // callback holds the bound for replies that announce none.
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(o.maxResponseBytes));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    if (o.authenticate) {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(c, CURLOPT_USERNAME, o.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, o.password.c_str());
    }
    struct curl_slist* extra = nullptr;
    if (o.noCache) {
        extra = curl_slist_append(extra, "Cache-Control: no-cache");
        extra = curl_slist_append(extra, "Pragma: no-cache");
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, extra);
    }

    CURLcode rc = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(extra);
    if (statusOut)
        *statusOut = status;
    if (t.error)
        std::rethrow_exception(t.error);

    if (t.aborted) {
        SetText(errorText, "The request was abandoned");
        return eHttpReqAborted;
    }
    if (t.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
        SetText(errorText, "The reply is larger than " + std::to_string(o.maxResponseBytes) +
                               " bytes of body or " +
                               std::to_string(CHttpServices::kMaxHeaderBytes) +
                               " bytes of headers");
        return eHttpReqTooLarge;
    }
    if (t.writeFailed) {
        SetText(errorText, "Cannot write the response");
        return eHttpReqWriteFailed;
    }
    if (rc != CURLE_OK) {
        std::string reason = errbuf[0] ? errbuf : curl_easy_strerror(rc);
        SetText(errorText, reason);
        switch (rc) {
        case CURLE_OPERATION_TIMEDOUT:
            return eHttpReqTimedOut;
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return eHttpReqConnectFailed;
        case CURLE_WRITE_ERROR:
            return eHttpReqWriteFailed;
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return eHttpReqInvalidArgument;
        default:
            return eHttpReqFailed;
        }
    }
    // The server closed before the blank line that ends the headers: no reply at all.
    if (!t.headersEnded) {
        SetText(errorText, "The reply ended inside its headers");
        return eHttpReqFailed;
    }
    if (failOnHttpError && status >= 400) {
        SetText(errorText, "The server answered with HTTP status " + std::to_string(status));
        return eHttpReqHttpError;
    }
    return eHttpReqOK;
}

} // namespace

eHttpReqRTC CHttpServices::eGetURLFile(const std::string& url, std::string& response,
                                       std::string& headers, CHTTPRequestObserver* observer,
                                       int followRedirects, int failOnHttpError,
                                       std::string* errorText, unsigned long timeoutMs) {
    BusyScope busy(observer);
    response.clear();
    headers.clear();
    if (observer)
        observer->OnRequestStarted(url);
    Transfer t;
    t.observer = observer;
    t.followRedirects = followRedirects != 0;
    t.body = &response;
    t.headers = &headers;
    Options o{m_userAgent,
              m_authenticate,
              m_user,
              m_password,
              timeoutMs ? timeoutMs : m_timeoutMs,
              m_getPostType == 1,
              m_maxResponseBytes};
    eHttpReqRTC rc = Perform(url, t, o, true, failOnHttpError != 0, nullptr, errorText);
    if (rc != eHttpReqOK)
        response.clear();
    return rc;
}

int CHttpServices::bGetURLFileAndWriteToFile(const std::string& url, const std::string& path,
                                             int followRedirects, std::string* errorText,
                                             CHTTPRequestObserver* observer) {
    BusyScope busy(observer);
    if (path.empty()) {
        SetText(errorText, "No file name given");
        return 0;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        SetText(errorText, "Cannot create " + path + ": " + std::strerror(errno));
        return 0;
    }
    if (observer)
        observer->OnRequestStarted(url);
    Transfer t;
    t.observer = observer;
    t.followRedirects = followRedirects != 0;
    t.file = file;
    Options o{m_userAgent,        m_authenticate,    m_user, m_password, m_timeoutMs,
              m_getPostType == 1, m_maxResponseBytes};
    eHttpReqRTC rc;
    try {
        rc = Perform(url, t, o, true, true, nullptr, errorText);
    } catch (...) {
        std::fclose(file);
        std::remove(path.c_str());
        throw;
    }
    bool closed = std::fclose(file) == 0;
    if (rc == eHttpReqOK && !closed) {
        SetText(errorText, "Cannot write " + path);
        rc = eHttpReqWriteFailed;
    }
    if (rc != eHttpReqOK) {
        std::remove(path.c_str());
        return 0;
    }
    return 1;
}

int CHttpServices::IsOnline(const std::string& url) {
    Transfer t;
    Options o{
        m_userAgent, m_authenticate,    m_user, m_password, std::min(m_timeoutMs, kProbeTimeoutMs),
        false,       m_maxResponseBytes};
    long status = 0;
    eHttpReqRTC rc = Perform(url, t, o, false, false, &status, nullptr);
    return rc == eHttpReqOK && status > 0 ? 1 : 0;
}

char* CHttpServices::URL_Escape(const char* text, unsigned long length) {
    if (!text)
        return nullptr;
    // Stop at a terminating zero inside the given length: escaping it would append
    // "%00" to the text.
    size_t n = strnlen(text, length);
    if (n > static_cast<size_t>(INT_MAX))
        return nullptr;
    CurlHandle h;
    if (!h.curl)
        return nullptr;
    char* escaped = curl_easy_escape(h.curl, text, static_cast<int>(n));
    if (!escaped)
        return nullptr;
    size_t len = std::strlen(escaped);
    char* out = new char[len + 1];
    std::memcpy(out, escaped, len + 1);
    curl_free(escaped);
    return out;
}

char* CHttpServices::URL_UnEscape(const char* text, unsigned long length,
                                  unsigned long* outLength) {
    if (!text || length > static_cast<unsigned long>(INT_MAX))
        return nullptr;
    CurlHandle h;
    if (!h.curl)
        return nullptr;
    int decodedLength = 0;
    char* decoded = curl_easy_unescape(h.curl, text, static_cast<int>(length), &decodedLength);
    if (!decoded)
        return nullptr;
    char* out = new char[static_cast<size_t>(decodedLength) + 1];
    std::memcpy(out, decoded, static_cast<size_t>(decodedLength));
    out[decodedLength] = '\0';
    curl_free(decoded);
    if (outLength)
        *outLength = static_cast<unsigned long>(decodedLength);
    return out;
}

void CHttpServices::FreeBuffer(char* buffer) {
    delete[] buffer;
}
