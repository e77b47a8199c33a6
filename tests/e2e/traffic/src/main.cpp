// altiren-traffic: probe traffic for the network tests and the benchmark.
//
//   udp-recv --bind ADDR [--port P] [--list] [--timeout-ms T] [--idle-ms I] [--linger-ms L]
//   udp-send --to ADDR [--from ADDR] [--port P] [--count N] [--size BYTES] [--rate PPS]
//            [--flow ID] [--duration-ms D] [--no-checksum] [--df on|off]
//   tcp-recv --bind ADDR [--port P] [--timeout-ms T]
//   tcp-send --to ADDR [--port P] [--bytes N] [--duration-ms D]
//
// Every result is one line "<mode> key=value ..."; a receiver first prints
// "ready ..." once its socket is bound, and with --list one
// "pkt seq=S delay_us=D size=N corrupt=0|1" line per probe in arrival order.
// Every loop ends by count or by time.
#include "Traffic/Modes.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

void usage() {
    std::fputs("usage: altiren-traffic udp-recv|udp-send|tcp-recv|tcp-send [--option value]...\n",
               stderr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    std::string mode = argv[1];
    try {
        traffic::Options opts = traffic::parse_options(argc - 2, argv + 2);
        if (mode == "udp-recv")
            return traffic::udp_receive(opts);
        if (mode == "udp-send")
            return traffic::udp_send(opts);
        if (mode == "tcp-recv")
            return traffic::tcp_receive(opts);
        if (mode == "tcp-send")
            return traffic::tcp_send(opts);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "altiren-traffic %s: %s\n", mode.c_str(), e.what());
        return 1;
    }
    usage();
    return 2;
}
