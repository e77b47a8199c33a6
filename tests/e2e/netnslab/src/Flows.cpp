#include "NetnsLab/Flows.h"

#include <cstdlib>
#include <stdexcept>

#ifndef ALTIREN_TRAFFIC_PROGRAM
#define ALTIREN_TRAFFIC_PROGRAM "altiren-traffic"
#endif

namespace netnslab {

namespace {

std::string ms(Millis m) {
    return std::to_string(m.count());
}

Report need_report(const RunResult& r, const std::string& kind, const std::string& otherErr) {
    auto rep = find_report(r.out, kind);
    if (!rep || !r.ok())
        throw std::runtime_error(kind + " failed (status " + std::to_string(r.status) +
                                 (r.timed_out ? ", timed out" : "") + "): " + r.err +
                                 (otherErr.empty() ? "" : " / peer: " + otherErr));
    return *rep;
}

} // namespace

std::string traffic_program() {
    if (const char* env = std::getenv("ALTIREN_TRAFFIC"); env && *env)
        return env;
    return ALTIREN_TRAFFIC_PROGRAM;
}

UdpResult run_udp(const UdpFlow& f) {
    const std::string prog = traffic_program();
    std::vector<std::string> recvArgs{prog,           "udp-recv",    "--bind",
                                      f.dest,         "--port",      std::to_string(f.port),
                                      "--timeout-ms", ms(f.timeout), "--idle-ms",
                                      ms(f.idle),     "--linger-ms", ms(f.linger)};
    if (f.list)
        recvArgs.push_back("--list");
    Process receiver = Process::start(f.to, recvArgs);
    if (!receiver.wait_for_line("ready ", Millis(5000))) {
        RunResult r = receiver.stop();
        throw std::runtime_error("udp receiver did not start: " + r.err);
    }
    std::vector<std::string> sendArgs{prog,
                                      "udp-send",
                                      "--to",
                                      f.dest,
                                      "--port",
                                      std::to_string(f.port),
                                      "--count",
                                      std::to_string(f.count),
                                      "--size",
                                      std::to_string(f.size),
                                      "--rate",
                                      std::to_string(f.rate),
                                      "--duration-ms",
                                      ms(f.timeout)};
    if (f.no_checksum)
        sendArgs.push_back("--no-checksum");
    if (!f.df.empty()) {
        sendArgs.push_back("--df");
        sendArgs.push_back(f.df);
    }
    if (!f.source.empty()) {
        sendArgs.push_back("--from");
        sendArgs.push_back(f.source);
    }
    RunResult sent = run(f.from, sendArgs, f.timeout + Millis(5000));
    RunResult got = receiver.wait(f.timeout + Millis(5000));
    UdpResult res;
    res.send = need_report(sent, "udp-send", got.err);
    res.recv = need_report(got, "udp-recv", sent.err);
    if (f.list)
        res.packets = packet_lines(got.out);
    return res;
}

TcpResult run_tcp(const TcpFlow& f) {
    const std::string prog = traffic_program();
    Process receiver =
        Process::start(f.to, {prog, "tcp-recv", "--bind", f.dest, "--port", std::to_string(f.port),
                              "--timeout-ms", ms(f.timeout)});
    if (!receiver.wait_for_line("ready ", Millis(5000))) {
        RunResult r = receiver.stop();
        throw std::runtime_error("tcp receiver did not start: " + r.err);
    }
    RunResult sent = run(f.from,
                         {prog, "tcp-send", "--to", f.dest, "--port", std::to_string(f.port),
                          "--bytes", std::to_string(f.bytes), "--duration-ms", ms(f.timeout)},
                         f.timeout + Millis(5000));
    RunResult got = receiver.wait(f.timeout + Millis(5000));
    TcpResult res;
    res.send = need_report(sent, "tcp-send", got.err);
    res.recv = need_report(got, "tcp-recv", sent.err);
    return res;
}

} // namespace netnslab
