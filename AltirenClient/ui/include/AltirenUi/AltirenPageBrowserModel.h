// What the scenario download dialog decides. Before the view goes to an address it asks
// Decide: a page of the management server is fetched and shown, a link to a scenario
// recording (".wst") or document (".tvl") is fetched with the user's Basic
// authentication, read, checked against the server's own address and, when accepted,
// ends the dialog. What is to be fetched is a FetchJob, a value that RunFetch carries
// out on any thread (the dialog runs it off the GUI thread); Complete then checks what
// came, on the GUI thread. BeforeNavigate does the three in one go. The dialog works on a
// copy of the page's scenario: the page takes the result only when the dialog ends with
// OK.
#pragma once

#include "AltirenClient/AltirenProxy.h"
#include "AltirenClient/Prompt.h"
#include "AltirenClient/WstScenario.h"

#include <atomic>
#include <string>

// A scenario as the import page holds it.
struct ImportedScenario {
    // 0 a recording ("wst"), 1 a document ("tvl"); IImportPage's source kinds.
    int sourceKind = 0;
    CWSTScenario recording;
    std::string document;
    // The last path segment of the link it came from, still URL-escaped.
    std::string fileName;
};

class CAltirenPageBrowserModel {
public:
    enum class Navigation {
        Continue, // fetch the page and show it
        Stay,     // nothing happens; the dialog stays open
        Fetch,    // fetch the scenario file, then Complete
        Accept,   // the scenario was fetched and accepted: end with OK
        Refuse,   // the import failed or was refused: end with Cancel
    };
    enum class LinkKind { Page, Recording, Document };

    // What is to be fetched, with everything the fetch needs.
    struct FetchJob {
        LinkKind kind = LinkKind::Page;
        std::string url;
        // The last path segment of the link, still URL-escaped.
        std::string fileName;
        std::string user;
        std::string password;
        bool authenticate = false;
        unsigned long timeoutMs = 0;
    };
    // What a fetch brought.
    struct Fetched {
        bool ok = false;
        std::string body;        // a page, a resource or a document
        std::string contentType; // a page's or a resource's, lower case, no parameters
        bool readable = false;   // the recording was read
        CWSTScenario recording;
    };

    // Results of ValidateImportedTopovel.
    static constexpr int kTopovelAccepted = 0;
    static constexpr int kTopovelCancelled = 1;
    static constexpr int kTopovelInvalid = 2;

    // current: the page's scenario, which Result() starts from.
    CAltirenPageBrowserModel(IPrompt& prompt, const ImportedScenario& current);
    CAltirenPageBrowserModel(const CAltirenPageBrowserModel&) = delete;
    CAltirenPageBrowserModel& operator=(const CAltirenPageBrowserModel&) = delete;

    // The browse page's address: a CLIENT_NAVIGATION request to the server's browser
    // page. False when it cannot be built; why then names the text that tells the user
    // (0 when there is none to tell).
    bool GetBrowseAddress(std::string& url);
    bool GetBrowseAddress(std::string& url, UINT& why);

    // The decision before the view goes to the absolute address url: for Continue (a
    // page) and Fetch (a scenario file) job says what to fetch.
    Navigation Decide(const std::string& url, FetchJob& job);
    // Carries a job out on the calling thread, whichever it is; a set cancelled abandons
    // its transfer.
    static Fetched RunFetch(const FetchJob& job, const std::atomic<bool>* cancelled);
    // A fetched scenario file checked and, when accepted, taken: Accept or Refuse (GUI
    // thread: it may ask the user).
    Navigation Complete(const FetchJob& job, Fetched fetched);
    // The job of a page or a resource of the management server's host; false for any
    // other address.
    bool PageJob(const std::string& url, FetchJob& job) const;

    // Decide, RunFetch and Complete in one go on the calling thread.
    Navigation BeforeNavigate(const std::string& url);

    // Fetches a page or a resource of the management server's host (http or https);
    // any other address fails without a request. contentType is the reply's, in lower
    // case without parameters.
    bool FetchFromServer(const std::string& url, std::string& body, std::string& contentType);
    // An http or https address on the management server's host and port (the port as
    // given, or the scheme's).
    static bool IsServerAddress(const std::string& url);

    // By the extension of the address's last path segment (its query left out), without
    // regard to case; fileName receives that segment as it stands.
    static LinkKind ClassifyLink(const std::string& url, std::string& fileName);

    // Validates and normalises a downloaded document and keeps the management server's
    // address out of its emulated traffic: kTopovelAccepted with out the (possibly
    // rewritten) text, kTopovelCancelled when the user refused to drop the server's
    // address, kTopovelInvalid for a document that fails its checks.
    int ValidateImportedTopovel(const std::string& text, std::string& out);
    // The same for a recording's include list; false when the user refused.
    bool CheckRecordingAgainstServer(CWSTScenario& recording);

    // The scenario to hand to the page once the dialog ends with OK.
    const ImportedScenario& Result() const { return m_result; }

private:
    Navigation ImportRecording(const FetchJob& job, Fetched& fetched);
    Navigation ImportDocument(const FetchJob& job, const Fetched& fetched);
    // Asks whether to go on without the server's address; true for OK.
    bool AskToDropServer();

    IPrompt& m_prompt;
    CAltirenProxy m_proxy;
    ImportedScenario m_result;
};
