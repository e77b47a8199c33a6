#include "AltirenClient/ClientSettings.h"

#include "AltirenClient/MessageCoder.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace {

using Hive = platform::registry::Hive;
constexpr Hive kMachine = Hive::LocalMachine;

bool IsUsableAddress(const std::string& address) {
    return !address.empty() && address != "0.0.0.0";
}

// folder + separator + name; no separator is added when the folder ends in one.
std::string JoinPath(const std::string& folder, const char* name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        return folder + name;
    return folder + "/" + name;
}

bool ResolveToDotted(std::string& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(address.c_str(), nullptr, &hints, &result) != 0 || !result)
        return false;
    char text[INET_ADDRSTRLEN] = {0};
    const auto* in = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    bool ok = inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr;
    freeaddrinfo(result);
    if (ok)
        address = text;
    return ok;
}

} // namespace

bool CClientSettings::ReadString(const char* keyPath, const char* name, std::string& text) {
    HKEY key = nullptr;
    if (!OpenRegistry(kMachine, keyPath, key))
        return false;
    CRegKeyGuard guard(*this, key);
    char buffer[kStringBufferSize];
    if (!getRegString(key, name, buffer, sizeof buffer))
        return false;
    text = buffer;
    return true;
}

// A stored string must come back through the read buffer with its terminating zero.
bool CClientSettings::FitsReadBuffer(const std::string& text) {
    return text.size() < kStringBufferSize;
}

bool CClientSettings::WriteString(const char* keyPath, const char* name, const std::string& text) {
    if (!FitsReadBuffer(text))
        return false;
    HKEY key = nullptr;
    if (!OpenRegistry(kMachine, keyPath, key))
        return false;
    CRegKeyGuard guard(*this, key);
    return setRegString(key, name, text.c_str());
}

bool CClientSettings::ReadDword(const char* keyPath, const char* name, DWORD& value) {
    HKEY key = nullptr;
    if (!OpenRegistry(kMachine, keyPath, key))
        return false;
    CRegKeyGuard guard(*this, key);
    return getRegDWORD(key, name, value);
}

bool CClientSettings::WriteDword(const char* keyPath, const char* name, DWORD value) {
    HKEY key = nullptr;
    if (!OpenRegistry(kMachine, keyPath, key))
        return false;
    CRegKeyGuard guard(*this, key);
    return setRegDWORD(key, name, value);
}

CClientSettings::DWORD CClientSettings::ReadDwordOr(const char* name, DWORD fallback) {
    DWORD value = 0;
    return ReadDword(kSettingsKey, name, value) ? value : fallback;
}

bool CClientSettings::ReadFlagOr(const char* name, bool fallback) {
    DWORD value = 0;
    return ReadDword(kSettingsKey, name, value) ? value > 0 : fallback;
}

bool CClientSettings::bGetServerIP(std::string& address, bool resolve) {
    std::string text;
    if (!ReadString(kSettingsKey, "AltirenServerIP", text))
        return false;
    if (resolve) {
        text = HostOfServerAddress(text);
        if (!ResolveToDotted(text))
            return false;
    }
    address = text;
    return true;
}

std::string CClientSettings::HostOfServerAddress(const std::string& address) {
    // "[v6]:port" or "[v6]".
    if (!address.empty() && address.front() == '[') {
        const size_t close = address.find(']');
        if (close != std::string::npos &&
            (close + 1 == address.size() || address[close + 1] == ':'))
            return address.substr(1, close - 1);
        return address;
    }
    // "host:port" with one colon and a number after it; more colons make IPv6 text.
    const size_t colon = address.find(':');
    if (colon == std::string::npos || address.find(':', colon + 1) != std::string::npos ||
        colon + 1 == address.size() ||
        address.find_first_not_of("0123456789", colon + 1) != std::string::npos)
        return address;
    return address.substr(0, colon);
}

bool CClientSettings::bSetServerIP(const std::string& address) {
    return WriteString(kSettingsKey, "AltirenServerIP", address);
}

bool CClientSettings::bGetAltirenBrowser(std::string& page) {
    return ReadString(kSettingsKey, "AltirenBrowser", page);
}

bool CClientSettings::bGetInstalledStatus(bool& installed) {
    DWORD value = 0;
    if (!ReadDword(kSettingsKey, "InstalledStatus", value))
        return false;
    installed = value > 0;
    return true;
}

bool CClientSettings::bSetInstalledStatus(bool installed) {
    return WriteDword(kSettingsKey, "InstalledStatus", installed ? 1 : 0);
}

CClientSettings::DWORD CClientSettings::GetPollingInterval() {
    return ReadDwordOr("PollingInterval", kDefaultPollingInterval);
}

bool CClientSettings::bGetTraceFolder(std::string& folder) {
    return ReadString(kSettingsKey, "TraceFolder", folder);
}

bool CClientSettings::bGetTraceLevel(DWORD& level) {
    return ReadDword(kSettingsKey, "TraceLevel", level);
}

CClientSettings::DWORD CClientSettings::GetStatGuiRefresh() {
    return ReadDwordOr("StatGuiRefresh", kDefaultStatGuiRefresh);
}

CClientSettings::DWORD CClientSettings::GetLastSecondMapListSize() {
    return ReadDwordOr("LastSecondMapListSize", kDefaultLastSecondMapListSize);
}

CClientSettings::DWORD CClientSettings::GetMaxPairs() {
    return ReadDwordOr("MaxPairs", kDefaultMaxPairs);
}

bool CClientSettings::bSetMaxPairs(DWORD pairs) {
    return WriteDword(kSettingsKey, "MaxPairs", pairs);
}

bool CClientSettings::IsStatisticsEnabled() {
    return ReadFlagOr("EnableStatistics", true);
}

bool CClientSettings::bSetStatisticsEnabled(bool enabled) {
    return WriteDword(kSettingsKey, "EnableStatistics", enabled ? 1 : 0);
}

bool CClientSettings::bGetUserName(std::string& user) {
    return ReadString(kSettingsKey, "UserName", user);
}

bool CClientSettings::bGetUserDetails(std::string& user, std::string& password, bool decrypt) {
    // Both from one reading of the store, so that a change made meanwhile cannot pair
    // one account's name with another's password.
    using platform::registry::ValueType;
    std::vector<platform::registry::Value> values;
    if (Store().queryValues(kMachine, kSettingsKey, {"UserName", "UserPassword"}, values) !=
        platform::registry::kSuccess)
        return false;
    for (const auto& v : values)
        if (v.type != ValueType::Sz || !FitsReadBuffer(v.text))
            return false;
    std::string name = values[0].text, stored = values[1].text;
    if (decrypt) {
        MessageCoder coder;
        if (!coder.EncryptDecryptStoredValue(stored, false))
            return false;
    }
    user = name;
    password = stored;
    return true;
}

bool CClientSettings::bSetUserDetails(const std::string& user, const std::string& password,
                                      bool encrypt) {
    std::string stored = password;
    if (encrypt) {
        MessageCoder coder;
        if (!coder.EncryptDecryptStoredValue(stored, true))
            return false;
    }
    if (!FitsReadBuffer(user) || !FitsReadBuffer(stored))
        return false;
    // One change of the store: a reader never finds the new name with the old password.
    using platform::registry::Value;
    return Store().setValues(kMachine, kSettingsKey,
                             {{"UserName", Value::Sz(user)},
                              {"UserPassword", Value::Sz(stored)}}) == platform::registry::kSuccess;
}

bool CClientSettings::bGetAccountID(std::string& account) {
    std::string text;
    if (!ReadString(kSettingsKey, "AccountID", text) || text.empty())
        return false;
    account = text;
    return true;
}

bool CClientSettings::IsExcludeServerIP() {
    return ReadFlagOr("ExcludeServerIP", true);
}

bool CClientSettings::bGetQuellinNumber(DWORD& index) {
    return ReadDword(kSettingsKey, "QuellinNumber", index);
}

bool CClientSettings::bSetQuellinNumber(DWORD index) {
    return WriteDword(kSettingsKey, "QuellinNumber", index);
}

bool CClientSettings::IsBootMessage() {
    return ReadFlagOr("BootMessage", true);
}

bool CClientSettings::bSetBootMessage(bool show) {
    return WriteDword(kSettingsKey, "BootMessage", show ? 1 : 0);
}

bool CClientSettings::IsLocalHostInRangeMsg() {
    return ReadFlagOr("LocalHostInRangeMsg", true);
}

bool CClientSettings::bSetLocalHostInRangeMsg(bool show) {
    return WriteDword(kSettingsKey, "LocalHostInRangeMsg", show ? 1 : 0);
}

CClientSettings::DWORD CClientSettings::GetUpgradeInterval() {
    return ReadDwordOr("UpgradeInterval", kDefaultUpgradeInterval);
}

CClientSettings::DWORD CClientSettings::GetCommunicationTimeout() {
    return ReadDwordOr("CommunicationTimeout", kDefaultCommunicationTimeout);
}

CClientSettings::DWORD CClientSettings::GetOnlineServerTimerInterval() {
    return ReadDwordOr("OnlineServerTimerInterval", kDefaultOnlineServerTimerInterval);
}

bool CClientSettings::bGetInstallFolder(std::string& folder) {
    return ReadString(kInstallKey, "InstallFolder", folder);
}

bool CClientSettings::bGetHelpFolder(std::string& folder) {
    return ReadString(kInstallKey, "HelpFolder", folder);
}

bool CClientSettings::bGetSplashExePath(std::string& path) {
    std::string folder;
    if (!bGetInstallFolder(folder))
        return false;
    path = JoinPath(folder, "Splash.exe");
    return true;
}

bool CClientSettings::bGetSplashBmpPath(std::string& path) {
    std::string folder;
    if (!bGetInstallFolder(folder))
        return false;
    path = JoinPath(folder, "Splash.bmp");
    return true;
}

bool CClientSettings::IsStartWithWindows() {
    std::string command;
    return ReadString(kRunKey, kRunValue, command) && !command.empty();
}

bool CClientSettings::EnableStartWithWindows() {
    std::string folder;
    if (!bGetInstallFolder(folder) || folder.empty())
        return false;
    std::string command = "\"" + JoinPath(folder, "Pramitone.exe") + "\" NO_SPLASH";
    return WriteString(kRunKey, kRunValue, command);
}

bool CClientSettings::DisableStartWithWindows() {
    HKEY key = nullptr;
    if (!OpenRegistry(kMachine, kRunKey, key))
        return false;
    CRegKeyGuard guard(*this, key);
    return DeleteRegValue(key, kRunValue);
}

int CClientSettings::GetFirstUsableAdapter(const std::vector<std::string>& addresses,
                                           std::string& address) {
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (IsUsableAddress(addresses[i])) {
            address = addresses[i];
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CClientSettings::IsAdapterUsable(const std::vector<std::string>& addresses, long index) {
    return index >= 0 && static_cast<size_t>(index) < addresses.size() &&
           IsUsableAddress(addresses[static_cast<size_t>(index)]);
}
