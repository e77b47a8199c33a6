// altiren-client-setup: writes the client's settings for a run in the lab.
#include "ClientSetup.h"

#include "platform/Registry.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    client_setup::LabClient client;
    client.traceFolder = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--server")
            client.server = value;
        else if (name == "--account")
            client.account = value;
        else if (name == "--user")
            client.user = value;
        else if (name == "--password")
            client.password = value;
        else if (name == "--trace-folder")
            client.traceFolder = value;
        else if (name == "--browse-page")
            client.browsePage = value;
        else
            client.server.clear();
    }
    if (argc % 2 == 0 || client.server.empty() || client.user.empty()) {
        std::fprintf(stderr, "usage: altiren-client-setup --server HOST:PORT --user NAME "
                             "[--password P] [--account ID] [--trace-folder DIR]\n"
                             "       [--browse-page PAGE]\n"
                             "  (the registry store of ALTIREN_REGISTRY_ROOT)\n");
        return 2;
    }
    std::string error;
    if (!client_setup::write_lab_client(platform::registry::Registry().root(), client, error)) {
        std::fprintf(stderr, "altiren-client-setup: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
