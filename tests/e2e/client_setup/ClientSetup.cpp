#include "ClientSetup.h"

#include "AltirenClient/ClientSettings.h"
#include "platform/Registry.h"

namespace client_setup {

bool write_lab_client(const std::string& root, const LabClient& client, std::string& error) {
    using namespace platform::registry;
    Registry registry(root);
    const std::string key = CClientSettings::kSettingsKey;
    bool ok = registry.createKey(Hive::LocalMachine, key) == kSuccess &&
              registry.createKey(Hive::LocalMachine, CClientSettings::kInstallKey) == kSuccess;
    ok = ok && registry.setValues(Hive::LocalMachine, key,
                                  {{"AltirenServerIP", Value::Sz(client.server)},
                                   {"AccountID", Value::Sz(client.account)},
                                   {"AltirenBrowser", Value::Sz(client.browsePage)},
                                   {"TraceFolder", Value::Sz(client.traceFolder)},
                                   {"TraceLevel", Value::Dword(1)},
                                   {"InstalledStatus", Value::Dword(0)},
                                   {"BootMessage", Value::Dword(0)},
                                   {"QuellinNumber", Value::Dword(0)}}) == kSuccess;
    if (!ok) {
        error = "cannot write the client's settings in the registry store " + root;
        return false;
    }
    CClientSettings settings(registry);
    if (!settings.bSetUserDetails(client.user, client.password, true)) {
        error = "cannot seal and write the user's password";
        return false;
    }
    return true;
}

} // namespace client_setup
