// The client's installation folders that --install writes: found beside an installed
// daemon, read back by the client's settings, removed by --uninstall.
#include "QuellinEdges/ServiceConfig.h"
#include "QuellinLinux/ClientFolders.h"

#include "AltirenClient/ClientSettings.h"
#include "TestSupport/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quellin::os;
namespace fs = std::filesystem;
using platform::registry::Hive;
using platform::registry::Registry;
using platform::registry::Value;

namespace {

// An installed tree under `prefix` in the configured layout: the daemon's folder, and the
// client's data folder with its help folder when asked for.
fs::path make_tree(const fs::path& prefix, bool data, bool help) {
    const fs::path sbin = prefix / "usr" / "sbin";
    fs::create_directories(sbin);
    const InstallLayout layout = configured_install_layout();
    if (data)
        fs::create_directories(sbin / layout.installFolder);
    if (help)
        fs::create_directories(sbin / layout.helpFolder);
    return sbin / "quellin";
}

int run(const fs::path& program, const char* option) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(program.c_str(), "quellin", option, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ClientFolders, FoundBesideAnInstalledDaemonOnly) {
    testsupport::TempDir dir("client-folders");
    const InstallLayout layout = configured_install_layout();
    ASSERT_FALSE(layout.installFolder.empty());
    EXPECT_EQ(layout.helpFolder, layout.installFolder + "/help");

    const fs::path daemon = make_tree(dir.path(), true, true);
    const ClientFolders both = installed_client_folders(daemon.string());
    ASSERT_TRUE(both.installFolder && both.helpFolder);
    // Absolute and plain: no "..", no trailing slash.
    EXPECT_EQ(*both.installFolder,
              (daemon.parent_path() / layout.installFolder).lexically_normal());
    EXPECT_EQ(both.installFolder->find(".."), std::string::npos);
    EXPECT_EQ(*both.helpFolder, *both.installFolder + "/help");
    EXPECT_TRUE(fs::path(*both.installFolder).is_absolute());

    testsupport::TempDir bare("client-folders-bare");
    const ClientFolders none = installed_client_folders(make_tree(bare.path(), false, false));
    EXPECT_FALSE(none.installFolder || none.helpFolder);
    testsupport::TempDir noHelp("client-folders-nohelp");
    const ClientFolders dataOnly = installed_client_folders(make_tree(noHelp.path(), true, false));
    EXPECT_TRUE(dataOnly.installFolder);
    EXPECT_FALSE(dataOnly.helpFolder);
}

TEST(ClientFolders, WrittenForTheClientAndRemovedAlone) {
    testsupport::TempDir dir("client-folders-reg");
    Registry registry(dir.str());
    // A value of the key that is not the installer's stays.
    ASSERT_EQ(registry.createKey(Hive::LocalMachine, kClientInstallKey), 0);
    ASSERT_EQ(registry.setValue(Hive::LocalMachine, kClientInstallKey, "Other", Value::Sz("kept")),
              0);

    ClientFolders folders{"/opt/x/share/pramitone", "/opt/x/share/pramitone/help"};
    ASSERT_EQ(write_client_folders(registry, folders), 0);
    CClientSettings settings(registry);
    std::string install, help;
    ASSERT_TRUE(settings.bGetInstallFolder(install));
    ASSERT_TRUE(settings.bGetHelpFolder(help));
    EXPECT_EQ(install, "/opt/x/share/pramitone");
    EXPECT_EQ(help, "/opt/x/share/pramitone/help");
    // The scenario list page is there for the Professional page; one the administrator
    // set is kept, and stays after the removal.
    std::string page;
    ASSERT_TRUE(settings.bGetAltirenBrowser(page));
    EXPECT_EQ(page, kDefaultBrowsePage);
    ASSERT_EQ(registry.setValue(Hive::LocalMachine, kClientSettingsKey, "AltirenBrowser",
                                Value::Sz("scenarios/list.php")),
              0);
    ASSERT_EQ(write_client_folders(registry, folders), 0);
    ASSERT_TRUE(settings.bGetAltirenBrowser(page));
    EXPECT_EQ(page, "scenarios/list.php");

    ASSERT_EQ(remove_client_folders(registry), 0);
    EXPECT_TRUE(settings.bGetAltirenBrowser(page));
    EXPECT_FALSE(settings.bGetInstallFolder(install));
    EXPECT_FALSE(settings.bGetHelpFolder(help));
    std::string other;
    EXPECT_EQ(registry.queryString(Hive::LocalMachine, kClientInstallKey, "Other", other), 0);
    // Nothing to remove is no failure; nothing found writes nothing.
    EXPECT_EQ(remove_client_folders(Registry((dir / "empty").string())), 0);
    EXPECT_EQ(write_client_folders(Registry((dir / "empty").string()), ClientFolders{}), 0);
    EXPECT_FALSE(fs::exists(dir / "empty"));
}

TEST(ClientFolders, InstallAndUninstallOfTheProgram) {
    testsupport::TempDir dir("client-folders-program");
    const fs::path daemon = make_tree(dir / "root", true, true);
    fs::copy_file(QUELLIN_BINARY, daemon);
    ::setenv("ALTIREN_REGISTRY_ROOT", (dir / "registry").c_str(), 1);
    Registry registry((dir / "registry").string());

    ASSERT_EQ(run(daemon, "--install"), 0);
    CClientSettings settings(registry);
    std::string install, help, image, page;
    ASSERT_TRUE(settings.bGetInstallFolder(install));
    ASSERT_TRUE(settings.bGetAltirenBrowser(page));
    EXPECT_EQ(page, kDefaultBrowsePage);
    ASSERT_TRUE(settings.bGetHelpFolder(help));
    EXPECT_EQ(
        fs::path(install),
        (daemon.parent_path() / configured_install_layout().installFolder).lexically_normal());
    EXPECT_EQ(help, install + "/help");
    ASSERT_EQ(
        registry.queryString(Hive::LocalMachine, quellin::edges::kServiceKey, "ImagePath", image),
        0);
    EXPECT_EQ(fs::canonical(image), fs::canonical(daemon));

    ASSERT_EQ(run(daemon, "--uninstall"), 0);
    EXPECT_FALSE(settings.bGetInstallFolder(install));
    EXPECT_FALSE(settings.bGetHelpFolder(help));

    // From the build tree the program writes the service keys only.
    ASSERT_EQ(run(QUELLIN_BINARY, "--install"), 0);
    EXPECT_FALSE(settings.bGetInstallFolder(install));
    EXPECT_EQ(registry.openKey(Hive::LocalMachine, quellin::edges::kServiceKey), 0);
}
