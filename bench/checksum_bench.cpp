// The Internet checksum's speed on frames of the sizes the edges sum (a small frame, a
// full-size one, a super-frame), against the same sum taken one big-endian word at a time
// in the same run.

#include "AltirenChecksum/InternetChecksum.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

uint32_t word_by_word(const uint8_t* d, size_t n, uint32_t sum) {
    size_t i = 0;
    for (; i + 1 < n; i += 2)
        sum += static_cast<uint32_t>(d[i] << 8 | d[i + 1]);
    if (i < n)
        sum += static_cast<uint32_t>(d[i]) << 8;
    return sum;
}

std::vector<uint8_t> frame(size_t n) {
    std::vector<uint8_t> f(n);
    for (size_t i = 0; i < n; ++i)
        f[i] = static_cast<uint8_t>(i * 7 + 3);
    return f;
}

void BM_WordByWord(benchmark::State& state) {
    const auto f = frame(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(altiren::internet_fold(word_by_word(f.data(), f.size(), 0)));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_InternetSum(benchmark::State& state) {
    const auto f = frame(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(altiren::internet_fold(altiren::internet_sum(f.data(), f.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(BM_WordByWord)->Arg(64)->Arg(1500)->Arg(65535);
BENCHMARK(BM_InternetSum)->Arg(64)->Arg(1500)->Arg(65535);
BENCHMARK_MAIN();
