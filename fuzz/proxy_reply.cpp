// The server proxy's reply parser on what a management server (or anyone on the plain
// HTTP path) sends back: any text, sealed the way a reply is sealed, so that it opens and
// reaches the XML reading, the account checks and the value taken out, for every kind
// of request.
#include "common/FuzzInput.h"

#include "AltirenClient/AltirenProxy.h"
#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/DhPacket.h"
#include "AltirenClient/KeySets.h"

#include <platform/Registry.h>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace altiren::crypto;

namespace {

std::string g_folder;

void RemoveFolder() {
    std::error_code ec;
    std::filesystem::remove_all(g_folder, ec);
}

} // namespace

// A private registry store holding the account the replies are checked against.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "altiren-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        fuzz::Fail("no temporary folder");
    g_folder = pattern;
    std::atexit(RemoveFolder);
    ::setenv("ALTIREN_REGISTRY_ROOT", g_folder.c_str(), 1);
    xercesc::XMLPlatformUtils::Initialize();
    platform::registry::Registry registry;
    CClientSettings settings;
    if (registry.createKey(platform::registry::Hive::LocalMachine, CClientSettings::kSettingsKey) !=
            0 ||
        !settings.bSetUserDetails("ann", "Secret1", true))
        fuzz::Fail("the account could not be stored");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CAltirenProxy proxy; // its coder expects the nonce 0 before any request
    fuzz::Input in(data, size);
    const auto event = static_cast<ServerEventType>(1 + in.u8() % CHANGE_PASSWORD);
    const std::string plain = in.text(in.remaining());

    std::string reply, error;
    if (!SealText(plain, 0, GetKeySetSecrets(KeySetId::A).second, reply, error))
        return 0;
    const int accepted = proxy.ParseReplyXML(reply, event);
    if (accepted && (event == GET_PRESET_VALUES || event == GET_CONFIGURABLE_PARAM) &&
        reply != plain.substr(0, plain.find('\0')))
        fuzz::Fail("a text reply is not handed back as it was sent");
    return 0;
}
