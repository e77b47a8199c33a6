// altiren_mgmt_server: the management-server stand-in as a program of its own.
#include "MgmtServer/MgmtServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Usage() {
    std::fprintf(stderr, "usage: altiren_mgmt_server [--address A] [--port P] [--data FILE]\n"
                         "         [--files DIR] [--browse PAGE] [--delay-ms N] [--silent]\n"
                         "         [--status-500] [--wrong-nonce] [--user-other-case]\n"
                         "         [--additional-info TEXT]\n");
}

} // namespace

int main(int argc, char** argv) {
    mgmt::ServerOptions options;
    mgmt::Behaviour behaviour;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--address")
            options.address = value("--address");
        else if (arg == "--port")
            options.port = std::atoi(value("--port"));
        else if (arg == "--data")
            options.dataFile = value("--data");
        else if (arg == "--files")
            options.filesDir = value("--files");
        else if (arg == "--browse")
            options.browsePage = value("--browse");
        else if (arg == "--delay-ms")
            behaviour.delayMs =
                static_cast<unsigned>(std::strtoul(value("--delay-ms"), nullptr, 10));
        else if (arg == "--silent")
            behaviour.silent = true;
        else if (arg == "--status-500")
            behaviour.status500 = true;
        else if (arg == "--wrong-nonce")
            behaviour.wrongNonce = true;
        else if (arg == "--user-other-case")
            behaviour.userOtherCase = true;
        else if (arg == "--additional-info")
            behaviour.additionalInfo = value("--additional-info");
        else {
            Usage();
            return 2;
        }
    }

    // The signals are taken by sigwait below, not by handlers.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    mgmt::MgmtServer server(options);
    server.SetBehaviour(behaviour);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "altiren_mgmt_server: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on %s\n", server.HostPort().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&signals, &signal);
    server.Stop();
    return 0;
}
