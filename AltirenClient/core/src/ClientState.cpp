#include "AltirenClient/ClientState.h"

#include <atomic>
#include <mutex>

namespace ClientState {

namespace {
std::atomic<bool> g_online{true};
std::mutex g_mutex;
std::string* g_adapterAddress = new std::string; // never freed: threads may outlive exit
} // namespace

bool IsServerOnline() {
    return g_online.load();
}

void SetServerOnline(bool online) {
    g_online.store(online);
}

std::string GetChosenAdapterAddress() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return *g_adapterAddress;
}

void SetChosenAdapterAddress(const std::string& address) {
    std::lock_guard<std::mutex> lock(g_mutex);
    *g_adapterAddress = address;
}

} // namespace ClientState
