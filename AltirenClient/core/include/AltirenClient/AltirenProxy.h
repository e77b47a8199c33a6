// The client's road to the management server. A caller names an event; the proxy
// sends an encrypted ALTIREN_EVENT element as "?BUFFER=" of an HTTP GET from a
// communication thread while the caller waits up to CommunicationTimeout ms, checks
// the reply and hands back one value of it. Offline, or when the server does not
// answer, the reply comes from a fixed table. Every server request of the process is
// serialised by one lock; call one operation of an object at a time.
#pragma once

#include "AltirenClient/MessageCoder.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class CHttpServices;

// Kinds of request, in the order of their numbers.
enum ServerEventType {
    CLIENT_INSTALL = 1,
    CLIENT_UNINSTALL,
    CREATE_USER,
    CLIENT_LAUNCH,
    CLIENT_STOP,
    GET_PRESET_VALUES,
    CLIENT_SHUTDOWN,
    CLIENT_KEEP_ALIVE,
    CLIENT_UPGRADE,
    CLIENT_NAVIGATION,
    GET_CONFIGURABLE_PARAM,
    CHANGE_PASSWORD,
};

class CAltirenProxy {
public:
    // The presets given while offline.
    static const char* const kBuiltInPresets;
    static constexpr const char* kClientVersion = "2.5";

    CAltirenProxy();
    virtual ~CAltirenProxy();
    CAltirenProxy(const CAltirenProxy&) = delete;
    CAltirenProxy& operator=(const CAltirenProxy&) = delete;

    // Sends the event and gives the reply's PERMISSION (UPGRADE_PREORITY for
    // CLIENT_UPGRADE; the whole text for GET_PRESET_VALUES and GET_CONFIGURABLE_PARAM).
    // Offline, or when the server fails or is late, the offline reply with result 1
    // (and the client goes offline); 0 when the request cannot be built or the reply
    // fails its checks.
    int GetAltirenResponse(std::string& reply, ServerEventType event);
    // Whether the last GetAltirenResponse was answered by the server itself (a reply that
    // passed its checks), not from the offline table after a failure, a time-out or while
    // off-line. A change of the user's account is agreed only by such a reply.
    bool LastReplyFromServer() const { return m_bServerReplied; }
    // Appends "?BUFFER=" and the escaped, encrypted element to url (rebuilt as the
    // server's request page first when withServer is set).
    int CreateRequest(std::string& url, ServerEventType event, bool withServer);
    // "http://<AltirenServerIP>/requestevent.php"; url is left as it was when the
    // address cannot be read or is empty.
    void GetAltirenServer(std::string& url);
    int GetAltirenOfflineResponse(std::string& reply, ServerEventType event);
    // Decrypts the reply (its nonce must be the request's) and checks it.
    int ParseReplyXML(std::string& reply, ServerEventType event);
    // Downloads url into a new temporary file named "WSTTemp..."; path receives its
    // name. On failure no file is left and path is empty.
    int GetAltirenWSTFile(const std::string& url, std::string& path);
    // Fetches url's body under the request lock, bounded by CommunicationTimeout;
    // text is changed only on success.
    int GetAltirenTVLBuffer(const std::string& url, std::string& text);
    // "http://<server>/<AltirenBrowser>/?BUFFER=..." of a CLIENT_NAVIGATION request.
    int GetPageBrowseNavigateURL(std::string& url);
    // The server's address resolved to dotted form (a ":port" suffix is not part
    // of it).
    int GetServerAddress(std::string& address);
    // That address as a host-order number; 0xFFFFFFFF when it cannot be read.
    uint32_t GetServerAddressNumber();

    void SetAuthenticationDetails(const std::string& user, const std::string& password,
                                  bool enable);
    void SetAdditionalInfo(const std::string& info) { m_sAdditionalInfo = info; }
    void SetEmailAddress(const std::string& email) { m_sEmail = email; }
    void SetNewPassword(const std::string& password) { m_sNewPassword = password; }
    // A flag that, once set, abandons the downloads of GetAltirenWSTFile and
    // GetAltirenTVLBuffer under way (a cancelled window request); null for none.
    void SetCancelFlag(const std::atomic<bool>* cancelled) { m_pCancelled = cancelled; }

    const std::string& GetAdditionalInfo() const { return m_sAdditionalInfo; }
    // The URL of the last request.
    const std::string& GetRequestURL() const { return m_sRequestURL; }

    // Literal of the event in the request, "EVENT_TYPE='...'"; null for no event.
    static const char* EventLiteral(ServerEventType event);
    // Request contexts still alive (a late communication thread keeps its own).
    static size_t LiveRequestCount();

private:
    std::thread::id m_hCommThread; // the communication thread while a request runs
    std::string m_sText;           // cleared before every request
    std::string m_sRequestURL;
    std::string m_sSpare;
    CHttpServices* m_oHTTPServices;
    std::string m_sAdditionalInfo;
    std::string m_sEmail;
    std::string m_sNewPassword;
    MessageCoder m_oCoder;
    bool m_bServerReplied = false;
    const std::atomic<bool>* m_pCancelled = nullptr;
};
