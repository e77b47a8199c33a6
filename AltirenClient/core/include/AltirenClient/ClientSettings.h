// The client's configuration in the registry of the local machine: the names of its
// keys and values and their defaults. Made on the stack per use; nothing is cached.
//
// String getters return false and leave the text unchanged when the key or value is
// missing; DWORD getters with a default return the default then; flag getters read a
// DWORD as true when above 0; setters return false when the key cannot be opened, and
// string setters when the text would not fit the read buffer of 2000 characters.
#pragma once

#include <OrvaneUtils/ConfigParamsBase.h>

#include <string>
#include <vector>

class CClientSettings : public CConfigParamsBase {
public:
    static constexpr const char* kSettingsKey = "Software\\Orvane\\AltirenClient\\Settings";
    static constexpr const char* kInstallKey = "Software\\Orvane\\AltirenClient";
    static constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kRunValue = "AltirenClient";
    static constexpr unsigned long kStringBufferSize = 2000;

    static constexpr DWORD kDefaultPollingInterval = 1000;
    static constexpr DWORD kDefaultStatGuiRefresh = 1000;
    static constexpr DWORD kDefaultLastSecondMapListSize = 900;
    static constexpr DWORD kDefaultMaxPairs = 50;
    static constexpr DWORD kDefaultUpgradeInterval = 3600000;
    static constexpr DWORD kDefaultCommunicationTimeout = 15000;
    static constexpr DWORD kDefaultOnlineServerTimerInterval = 15000;

    CClientSettings() = default;
    explicit CClientSettings(const platform::registry::Registry& registry)
        : CConfigParamsBase(registry) {}
    ~CClientSettings() override = default;

    // AltirenServerIP; with resolve the name (a port given after it left out) is replaced
    // by its first IPv4 address in dotted form, and a failed resolution fails.
    bool bGetServerIP(std::string& address, bool resolve);
    // The host of a server address that may carry a port: "host:port" and "[v6]:port"
    // give the host; any other text is returned as it stands.
    static std::string HostOfServerAddress(const std::string& address);
    bool bSetServerIP(const std::string& address);
    // AltirenBrowser: the browser page.
    bool bGetAltirenBrowser(std::string& page);

    bool bGetInstalledStatus(bool& installed);
    bool bSetInstalledStatus(bool installed);

    DWORD GetPollingInterval();
    bool bGetTraceFolder(std::string& folder);
    bool bGetTraceLevel(DWORD& level);
    DWORD GetStatGuiRefresh();
    DWORD GetLastSecondMapListSize();
    DWORD GetMaxPairs();
    bool bSetMaxPairs(DWORD pairs);
    bool IsStatisticsEnabled();
    bool bSetStatisticsEnabled(bool enabled);

    bool bGetUserName(std::string& user);
    // UserName and UserPassword, both present, read together; with decrypt the password is
    // decrypted (a failed decryption fails).
    bool bGetUserDetails(std::string& user, std::string& password, bool decrypt);
    // Writes both as one change, encrypting the password first when encrypt is set. A name
    // or stored password that the read buffer could not hold is refused and nothing is
    // written.
    bool bSetUserDetails(const std::string& user, const std::string& password, bool encrypt);
    // AccountID; an empty one counts as missing.
    bool bGetAccountID(std::string& account);

    bool IsExcludeServerIP();
    bool bGetQuellinNumber(DWORD& index);
    bool bSetQuellinNumber(DWORD index);
    bool IsBootMessage();
    bool bSetBootMessage(bool show);
    bool IsLocalHostInRangeMsg();
    bool bSetLocalHostInRangeMsg(bool show);
    DWORD GetUpgradeInterval();
    DWORD GetCommunicationTimeout();
    DWORD GetOnlineServerTimerInterval();

    // Values of the installation key, written by the installer.
    bool bGetInstallFolder(std::string& folder);
    bool bGetHelpFolder(std::string& folder);

    // The server's request page.
    static const char* GetRequestPage() { return "requestevent.php"; }
    // InstallFolder joined with "Splash.exe" / "Splash.bmp".
    bool bGetSplashExePath(std::string& path);
    bool bGetSplashBmpPath(std::string& path);

    // Start with the desktop session: the value AltirenClient of the run key.
    bool IsStartWithWindows();
    // Writes "\"<InstallFolder>/Pramitone.exe\" NO_SPLASH"; nothing happens when the
    // folder cannot be read or is empty.
    bool EnableStartWithWindows();
    bool DisableStartWithWindows();

    // Over the adapter addresses of the adapter table (index order): the first whose
    // address is neither empty nor "0.0.0.0" (-1 when none; its address goes to
    // address), and whether the adapter at index is usable.
    static int GetFirstUsableAdapter(const std::vector<std::string>& addresses,
                                     std::string& address);
    static bool IsAdapterUsable(const std::vector<std::string>& addresses, long index);

private:
    static bool FitsReadBuffer(const std::string& text);
    bool ReadString(const char* keyPath, const char* name, std::string& text);
    bool WriteString(const char* keyPath, const char* name, const std::string& text);
    bool ReadDword(const char* keyPath, const char* name, DWORD& value);
    bool WriteDword(const char* keyPath, const char* name, DWORD value);
    DWORD ReadDwordOr(const char* name, DWORD fallback);
    bool ReadFlagOr(const char* name, bool fallback);
};
