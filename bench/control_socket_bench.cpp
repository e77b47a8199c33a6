// Cost of serving one caller of the control socket while many others stay connected: each
// caller connects, makes one call and stays. The time per caller at 4,000 open connections
// against 250 shows whether an event's work grows with the connections open.

#include "ControlSocket/ControlClient.h"
#include "ControlSocket/ControlServer.h"
#include "QuellinLinux/EventLoop.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace quellin;

namespace {

class Echo final : public ctlsock::RequestHandler {
public:
    std::optional<ctlsock::Completion> on_request(const ctlsock::Request& request) override {
        ctlsock::Completion c;
        c.output = request.input;
        c.information = static_cast<uint32_t>(request.input.size());
        return c;
    }
    void on_discarded(ctlsock::RequestToken) override {}
};

void raise_descriptor_limit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

void BM_ServeCallersThatStay(benchmark::State& state) {
    raise_descriptor_limit();
    const auto callers = static_cast<size_t>(state.range(0));
    const std::string path =
        (std::filesystem::temp_directory_path() / ("ql-bench-" + std::to_string(::getpid())))
            .string();
    for (auto _ : state) {
        state.PauseTiming();
        os::EventLoop loop;
        Echo echo;
        ctlsock::ServerLimits limits;
        limits.max_connections = callers + 1;
        ctlsock::ControlServer server(loop, echo, limits);
        std::string error;
        if (!server.listen(path, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::thread thread([&] { loop.run(); });
        std::vector<std::unique_ptr<ctlsock::ControlClient>> open;
        const std::vector<uint8_t> input{1, 2, 3, 4};
        state.ResumeTiming();
        for (size_t i = 0; i < callers; ++i) {
            auto client = std::make_unique<ctlsock::ControlClient>();
            if (!client->open(path) || !client->call(0x220100, input, 4, 5000).ok()) {
                state.SkipWithError("a call failed");
                break;
            }
            open.push_back(std::move(client));
        }
        state.PauseTiming();
        open.clear();
        loop.post([&] { server.close(); });
        loop.stop();
        thread.join();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * callers));
}
BENCHMARK(BM_ServeCallersThatStay)
    ->Arg(250)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
