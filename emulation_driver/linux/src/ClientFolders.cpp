#include "QuellinLinux/ClientFolders.h"

#include <filesystem>

#ifndef QUELLIN_CLIENT_INSTALL_FOLDER
#error "QUELLIN_CLIENT_INSTALL_FOLDER: the client's data folder relative to the daemon's"
#endif
#ifndef QUELLIN_CLIENT_HELP_FOLDER
#error "QUELLIN_CLIENT_HELP_FOLDER: the client's help folder relative to the daemon's"
#endif

namespace quellin::os {

namespace reg = platform::registry;
namespace fs = std::filesystem;

InstallLayout configured_install_layout() {
    return {QUELLIN_CLIENT_INSTALL_FOLDER, QUELLIN_CLIENT_HELP_FOLDER};
}

namespace {

std::optional<std::string> existing_folder(const fs::path& base, const std::string& relative) {
    if (relative.empty())
        return std::nullopt;
    const fs::path folder = (base / relative).lexically_normal();
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return std::nullopt;
    std::string text = folder.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

ClientFolders installed_client_folders(const std::string& daemonPath, const InstallLayout& layout) {
    std::error_code ec;
    const fs::path daemon = fs::absolute(daemonPath, ec);
    if (ec)
        return {};
    const fs::path base = daemon.parent_path();
    return {existing_folder(base, layout.installFolder), existing_folder(base, layout.helpFolder)};
}

long write_client_folders(const reg::Registry& registry, const ClientFolders& folders) {
    if (!folders.installFolder && !folders.helpFolder)
        return reg::kSuccess;
    long rc = registry.createKey(reg::Hive::LocalMachine, kClientInstallKey);
    if (rc == reg::kSuccess && folders.installFolder)
        rc = registry.setValue(reg::Hive::LocalMachine, kClientInstallKey, "InstallFolder",
                               reg::Value::Sz(*folders.installFolder));
    if (rc == reg::kSuccess && folders.helpFolder)
        rc = registry.setValue(reg::Hive::LocalMachine, kClientInstallKey, "HelpFolder",
                               reg::Value::Sz(*folders.helpFolder));
    if (rc == reg::kSuccess && folders.installFolder) {
        std::string page;
        rc = registry.createKey(reg::Hive::LocalMachine, kClientSettingsKey);
        if (rc == reg::kSuccess &&
            (registry.queryString(reg::Hive::LocalMachine, kClientSettingsKey, "AltirenBrowser",
                                  page) != reg::kSuccess ||
             page.empty()))
            rc = registry.setValue(reg::Hive::LocalMachine, kClientSettingsKey, "AltirenBrowser",
                                   reg::Value::Sz(kDefaultBrowsePage));
    }
    return rc;
}

long remove_client_folders(const reg::Registry& registry) {
    if (registry.openKey(reg::Hive::LocalMachine, kClientInstallKey) != reg::kSuccess)
        return reg::kSuccess;
    for (const char* name : {"InstallFolder", "HelpFolder"}) {
        const long rc = registry.deleteValue(reg::Hive::LocalMachine, kClientInstallKey, name);
        if (rc != reg::kSuccess && rc != reg::kFileNotFound)
            return rc;
    }
    return reg::kSuccess;
}

} // namespace quellin::os
