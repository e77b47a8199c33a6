// HTTP client services over libcurl: GET into memory or a file, an on-line probe,
// Basic authentication and URL escaping. Every transfer runs under an overall time-out
// and a bound on the bytes it takes, so no call can hang on a silent server or fill the
// memory or the disk for a hostile one.
#pragma once

#include <cstddef>
#include <string>

class CHTTPRequestObserver;

enum eHttpReqRTC {
    eHttpReqOK = 0,
    eHttpReqInvalidArgument = 1,
    eHttpReqConnectFailed = 2,
    eHttpReqTimedOut = 3,
    eHttpReqHttpError = 4,   // the server answered with a status of 400 or above
    eHttpReqAborted = 5,     // an observer callback abandoned the transfer
    eHttpReqWriteFailed = 6, // the response could not be stored
    eHttpReqFailed = 7,      // any other transfer failure
    eHttpReqTooLarge = 8,    // the reply passed the size bound and was abandoned
};

class CHttpServices {
public:
    // Overall time-out of a transfer unless one is given with the call.
    static constexpr unsigned long kDefaultTimeoutMs = 60000;
    static constexpr unsigned long kConnectTimeoutMs = 10000;
    // Body bytes of one reply, page or download unless a bound is set. What the client
    // fetches (server replies, pages, scenario documents and recordings) is at most a few
    // megabytes; only a hostile or broken server sends more.
    static constexpr size_t kDefaultMaxResponseBytes = 16u << 20;
    // Header bytes of one transfer, redirects included: a real header block is well under
    // a kilobyte.
    static constexpr size_t kMaxHeaderBytes = 64u << 10;

    explicit CHttpServices(const char* userAgent);
    virtual ~CHttpServices();
    CHttpServices(const CHttpServices&) = delete;
    CHttpServices& operator=(const CHttpServices&) = delete;

    // 0 for a server request, 1 for a file download. A download is asked not to be
    // served from a cache; otherwise the two are the same GET.
    void SetGetPostType(int type) { m_getPostType = type; }
    int GetGetPostType() const { return m_getPostType; }

    // Overall time-out of later transfers made without one of their own; 0 restores
    // the default.
    void SetTimeout(unsigned long timeoutMs);
    unsigned long GetTimeout() const { return m_timeoutMs; }

    // Bound on the body bytes of later transfers; 0 restores the default. A transfer that
    // passes it is abandoned (eHttpReqTooLarge), its partial reply or file dropped.
    void SetMaxResponseSize(size_t bytes);
    size_t GetMaxResponseSize() const { return m_maxResponseBytes; }

    // GETs url into response (the body) and headers (the response header lines).
    // followRedirects and failOnHttpError are flags (non-zero on); a status of 400 or
    // above fails when failOnHttpError is set. timeoutMs 0 takes the object's time-out,
    // which bounds the whole transfer. A reply whose header block never ended fails. On
    // failure errorText (when given) receives the reason and response is empty.
    eHttpReqRTC eGetURLFile(const std::string& url, std::string& response, std::string& headers,
                            CHTTPRequestObserver* observer, int followRedirects,
                            int failOnHttpError, std::string* errorText, unsigned long timeoutMs);

    // Downloads url into the file at path (created or truncated). 1 on success; on
    // failure the partial file is removed and 0 returned with the reason. An observer
    // hears the transfer as with eGetURLFile.
    int bGetURLFileAndWriteToFile(const std::string& url, const std::string& path,
                                  int followRedirects, std::string* errorText,
                                  CHTTPRequestObserver* observer = nullptr);

    // Nonzero when a server answers at url with any HTTP status.
    int IsOnline(const std::string& url);

    // Credentials sent with Basic authentication on later requests; enable false
    // forgets them.
    void SetAuthenticationDetails(const std::string& user, const std::string& password,
                                  bool enable);

    // Escapes the text up to length characters or its first zero byte, whichever
    // comes first (a length that counts the terminating zero escapes the same text).
    // The result is a new zero-terminated buffer that the caller releases with
    // FreeBuffer, or null on failure.
    char* URL_Escape(const char* text, unsigned long length);
    // Undoes %XX escapes in length characters; outLength receives the decoded length.
    char* URL_UnEscape(const char* text, unsigned long length, unsigned long* outLength);
    static void FreeBuffer(char* buffer);

    const std::string& GetUserAgent() const { return m_userAgent; }

private:
    std::string m_userAgent;
    std::string m_user;
    std::string m_password;
    bool m_authenticate = false;
    int m_getPostType = 0;
    unsigned long m_timeoutMs = kDefaultTimeoutMs;
    size_t m_maxResponseBytes = kDefaultMaxResponseBytes;
};
