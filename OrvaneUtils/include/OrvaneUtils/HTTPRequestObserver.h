// Callbacks that CHttpServices makes during a transfer, on the thread that runs it.
#pragma once

#include <string>

class CHTTPRequestObserver {
public:
    CHTTPRequestObserver() = default;
    virtual ~CHTTPRequestObserver() = default;

    // The transfer of this URL starts.
    virtual void OnRequestStarted(const std::string& url) { (void)url; }
    // The server answered with this status; false abandons the transfer.
    virtual bool OnResponseStatus(long status) {
        (void)status;
        return true;
    }
    // Asked repeatedly while the transfer runs; false abandons it.
    virtual bool ContinueRequest() { return true; }
    // Body bytes received so far (called when the count grows).
    virtual void OnBytesReceived(unsigned long total) { (void)total; }
    // True when a transfer starts, false when it has finished, whatever its outcome.
    virtual void SetBusy(bool busy) { (void)busy; }
};
