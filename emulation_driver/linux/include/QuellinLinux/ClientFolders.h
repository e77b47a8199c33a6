// The client's installation values that --install writes beside the service keys:
// "InstallFolder" (the client's data, with the scenario DTD) and "HelpFolder" (its help
// pages), under the client's installation key of the local machine; and, for an installed
// client, the page of the management server that lists the scenario files
// ("AltirenBrowser" of the client's settings key) unless one is set already.
#pragma once

#include "platform/Registry.h"

#include <optional>
#include <string>

namespace quellin::os {

inline constexpr const char* kClientInstallKey = "Software\\Orvane\\AltirenClient";
inline constexpr const char* kClientSettingsKey = "Software\\Orvane\\AltirenClient\\Settings";
// The management server's scenario list page, as the server's own installation serves it.
inline constexpr const char* kDefaultBrowsePage = "browse.php";

// Where the client's folders lie relative to the daemon's own folder in an installed tree.
struct InstallLayout {
    std::string installFolder;
    std::string helpFolder;
};

// The layout the build was configured with.
InstallLayout configured_install_layout();

struct ClientFolders {
    std::optional<std::string> installFolder;
    std::optional<std::string> helpFolder;
};

// The folders that belong with the daemon at `daemonPath`: each one that exists, as an
// absolute path. A daemon run from its build tree has none.
ClientFolders installed_client_folders(const std::string& daemonPath,
                                       const InstallLayout& layout = configured_install_layout());

// Writes the folders found (the key is made when missing) and, with an install folder, the
// default scenario list page where none is set; removes both folder values (the page is a
// setting the administrator may have changed: it stays).
long write_client_folders(const platform::registry::Registry& registry,
                          const ClientFolders& folders);
long remove_client_folders(const platform::registry::Registry& registry);

} // namespace quellin::os
