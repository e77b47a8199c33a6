// Layout of a scenario recording file ("wst") and of the scenario record read from it.
//
// The file is a little-endian archive: a 32-bit header word (low 16 bits the version,
// higher bits announce the blocks present), then the blocks below in file order. Each
// group of the record is decoded from / encoded into its block at the fixed offsets
// written here; the reader and the tests' writer both use these functions.
//
// File order (bit of the header word that announces the block):
//   u32  header word
//   f32  recording scale                            (always)
//   20   loss block (LossWords)                     bit 16
//   28   latency group (LatencyGroup)               bit 17; also sets the settings mode
//   64   first bandwidth group + u16 valueA, valueB bit 18 (48 bytes before version 10)
//   64   second bandwidth group                     bit 19 (48 bytes before version 10)
//   178  recorded-data group (RecordedDataGroup)    bit 20, else the name string
//        with bit 21: u32 countA, countB, latencyScale, lossScale; from version 8
//        u32 kindSetting, extra[0]; then u32 extra[1]; then sampleCount × i16 delay
//        samples and, when the recording scale is 99.0, sampleCount × u16 loss samples
//   76   trailer group (TrailerGroup)               bit 25
//   36   effects group A                            bit 23
//   32   effects group B                            bit 24
//   24   effects group C                            bit 26
//   u32  final setting                              bit 27
//   u32  settings count; 1..255: the 3,088-byte settings block follows   from version 9
// Bit 22 marks a file with statistics data, which the client does not read.
//
// The name string is the archive's string: a u8 length; 0xFF announces a u16 length;
// 0xFFFF after it a u32 length; then that many bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wst {

// Little-endian accessors at a byte position; callers guarantee the bounds.
inline uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetU64(const uint8_t* p) {
    return static_cast<uint64_t>(GetU32(p)) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}
inline double GetF64(const uint8_t* p) {
    uint64_t bits = GetU64(p);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
inline float GetF32(const uint8_t* p) {
    uint32_t bits = GetU32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
    PutU32(p, static_cast<uint32_t>(v));
    PutU32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void PutF64(uint8_t* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutU64(p, bits);
}
inline void PutF32(uint8_t* p, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutU32(p, bits);
}

// Each group lists its fields once, with their offsets, in Fields(group, io); its Decode
// runs that list with a reader and its Encode with a writer, so the two cannot drift.
struct FieldReader {
    const uint8_t* p;
    void operator()(size_t at, uint16_t& v) const { v = GetU16(p + at); }
    void operator()(size_t at, uint32_t& v) const { v = GetU32(p + at); }
    void operator()(size_t at, uint64_t& v) const { v = GetU64(p + at); }
    template <class T, size_t N>
    void operator()(size_t at, std::array<T, N>& bytes) const {
        static_assert(sizeof(T) == 1);
        std::memcpy(bytes.data(), p + at, N);
    }
    template <class Group>
    void operator()(size_t at, Group& group) const {
        Group::Fields(group, FieldReader{p + at});
    }
};
struct FieldWriter {
    uint8_t* p;
    void operator()(size_t at, const uint16_t& v) const { PutU16(p + at, v); }
    void operator()(size_t at, const uint32_t& v) const { PutU32(p + at, v); }
    void operator()(size_t at, const uint64_t& v) const { PutU64(p + at, v); }
    template <class T, size_t N>
    void operator()(size_t at, const std::array<T, N>& bytes) const {
        static_assert(sizeof(T) == 1);
        std::memcpy(p + at, bytes.data(), N);
    }
    template <class Group>
    void operator()(size_t at, const Group& group) const {
        Group::Fields(group, FieldWriter{p + at});
    }
};

// Header word.
constexpr uint32_t kVersionMask = 0xFFFF;
constexpr uint32_t kVersion = 10;
constexpr uint32_t kVersionExtended = 110;
constexpr uint32_t kHasLossBlock = 1u << 16;
constexpr uint32_t kHasLatency = 1u << 17;
constexpr uint32_t kHasBandwidth1 = 1u << 18;
constexpr uint32_t kHasBandwidth2 = 1u << 19;
constexpr uint32_t kHasRecordedData = 1u << 20;
constexpr uint32_t kHasSamples = 1u << 21;
constexpr uint32_t kHasStatistics = 1u << 22;
constexpr uint32_t kHasEffectsA = 1u << 23;
constexpr uint32_t kHasEffectsB = 1u << 24;
constexpr uint32_t kHasTrailer = 1u << 25;
constexpr uint32_t kHasEffectsC = 1u << 26;
constexpr uint32_t kHasFinalSetting = 1u << 27;

// Recording scale that marks a file with a loss series beside the delay series.
constexpr float kScaleWithLossSamples = 99.0f;
// The "Unrestricted" line speed (tenths of a Kbps) / 10: the bandwidth default.
constexpr double kUnrestrictedBandwidth = 429496729.5;
// Unrestricted as stored by files older than version 10.
constexpr double kOldUnrestrictedBandwidth = 6553.5;
// The settings block's filter count may not pass the play record's address array.
constexpr uint32_t kMaxFilters = 11;
constexpr uint32_t kSettingsEntries = 256;
// The play record's sample count is 16 bits wide.
constexpr uint32_t kMaxSamples = 65535;

// Latency group, 28 bytes. Kind codes of +12.
constexpr uint16_t kLatencyNormal = 1062;
constexpr uint16_t kLatencyFixed = 1064;
constexpr uint16_t kLatencyUniform = 1067;
constexpr uint16_t kLatencyLinear = 1072;
struct LatencyGroup {
    static constexpr size_t kSize = 28;
    uint16_t normalAverage = 0;        // +0  normal: average delay, ms
    uint16_t normalJitter = 0;         // +2  normal: standard deviation, ms
    uint16_t fixedLatency = 0;         // +4  fixed: delay, ms
    uint16_t uniformMin = 0;           // +6  uniform: minimum delay, ms
    uint16_t uniformMax = 0;           // +8  uniform: maximum delay, ms
    uint16_t uniformChangeLimit = 1;   // +10 uniform: largest change between packets, ms
    uint16_t kindCode = kLatencyFixed; // +12 one of kLatency*
    uint16_t reserved14 = 0;           // +14
    uint32_t changeLimitSwitch = 0;    // +16 non-zero: the change limit applies
    uint16_t linearMin = 0;            // +20 linear: start delay, ms
    uint16_t linearMax = 0;            // +22 linear: end delay, ms
    uint16_t linearDuration = 0;       // +24 linear: sweep time, s
    uint16_t reserved26 = 1;           // +26

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.normalAverage);
        io(2, s.normalJitter);
        io(4, s.fixedLatency);
        io(6, s.uniformMin);
        io(8, s.uniformMax);
        io(10, s.uniformChangeLimit);
        io(12, s.kindCode);
        io(14, s.reserved14);
        io(16, s.changeLimitSwitch);
        io(20, s.linearMin);
        io(22, s.linearMax);
        io(24, s.linearDuration);
        io(26, s.reserved26);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// Loss words, 20 bytes: the loss block, and again inside the trailer group for the
// values of a recorded file. Kind codes of +18.
constexpr uint16_t kLossNone = 1001;
constexpr uint16_t kLossPeriodic = 1052;
constexpr uint16_t kLossRandom = 1053;
constexpr uint16_t kLossBurst = 1054;
constexpr uint16_t kLossGilbert = 200;
constexpr uint16_t kLossRecorded = 205;
struct LossWords {
    static constexpr size_t kSize = 20;
    uint16_t period = 0;      // +0  periodic: one packet in this many
    uint16_t random = 0;      // +2  random: chance (settings: hundredths of a percent)
    uint16_t burstChance = 0; // +4  burst: chance (settings: hundredths of a percent)
    uint16_t burstMin = 0;    // +6  burst: fewest packets lost in a row
    uint16_t burstMax = 0;    // +8  burst: most packets lost in a row
    uint16_t goodLoss = 0;    // +10 Gilbert-Elliott: loss in the good state
    uint16_t badLoss = 0;     // +12 Gilbert-Elliott: loss in the bad state
    uint16_t toGood = 0;      // +14 Gilbert-Elliott: chance to move to good
    uint16_t toBad = 0;       // +16 Gilbert-Elliott: chance to move to bad
    uint16_t kindCode = 0;    // +18 one of kLoss*

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.period);
        io(2, s.random);
        io(4, s.burstChance);
        io(6, s.burstMin);
        io(8, s.burstMax);
        io(10, s.goodLoss);
        io(12, s.badLoss);
        io(14, s.toGood);
        io(16, s.toBad);
        io(18, s.kindCode);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// Bandwidth group of one side, 64 bytes (48 before version 10: the three doubles and
// the six words from +24 to +44).
struct BandwidthGroup {
    static constexpr size_t kSize = 64;
    static constexpr size_t kOldSize = 48;
    double symmetric = kUnrestrictedBandwidth; // +0  both directions, kbit/s
    double incoming = kUnrestrictedBandwidth;  // +8  in, kbit/s
    double outgoing = kUnrestrictedBandwidth;  // +16 out, kbit/s
    uint32_t bucketSize = 1;                   // +24 bucket size, KB
    uint32_t symmetricSwitch = 1024;           // +28 non-zero: both directions take `symmetric`
    uint32_t packetModeSwitch = 2;             // +32 non-zero: bucket counts packets
    uint32_t redMin = 3;                       // +36 RED minimum threshold, KB
    uint32_t redMax = 0;                       // +40 RED maximum threshold, KB
    uint32_t redSwitch = 0;                    // +44 non-zero (with +48): RED applies
    uint32_t bucketSwitch = 0;                 // +48 non-zero: the bucket size applies
    uint32_t overheadSwitch = 18;              // +52 non-zero: the overhead applies
    uint32_t overhead = 0;                     // +56 bytes added to each packet
    uint32_t reserved60 = 0;                   // +60

    void Decode(const uint8_t* p, bool old = false) {
        symmetric = GetF64(p + 0);
        incoming = GetF64(p + 8);
        outgoing = GetF64(p + 16);
        uint32_t* w[] = {&bucketSize, &symmetricSwitch, &packetModeSwitch, &redMin,   &redMax,
                         &redSwitch,  &bucketSwitch,    &overheadSwitch,   &overhead, &reserved60};
        const size_t words = old ? 6 : 10;
        for (size_t i = 0; i < 10; ++i)
            *w[i] = i < words ? GetU32(p + 24 + 4 * i) : 0;
        if (old)
            for (double* d : {&symmetric, &incoming, &outgoing})
                if (*d == kOldUnrestrictedBandwidth)
                    *d = kUnrestrictedBandwidth;
    }
    void Encode(uint8_t* p) const {
        PutF64(p + 0, symmetric);
        PutF64(p + 8, incoming);
        PutF64(p + 16, outgoing);
        const uint32_t w[] = {bucketSize, symmetricSwitch, packetModeSwitch, redMin,   redMax,
                              redSwitch,  bucketSwitch,    overheadSwitch,   overhead, reserved60};
        for (size_t i = 0; i < 10; ++i)
            PutU32(p + 24 + 4 * i, w[i]);
    }
};

// Recorded-data group, 178 bytes; its sample arrays follow it in the file.
struct RecordedDataGroup {
    static constexpr size_t kSize = 178;
    uint32_t intervalMs = 1000;           // +0  time between samples, ms
    uint32_t packetLength = 210;          // +4  probe packet length, bytes
    uint32_t sampleCount = 0;             // +8  samples in each array that follows
    uint16_t lostCount = 0;               // +12 probes that never came back
    std::array<char, 16> destination{};   // +14 probed address, dotted, NUL-padded
    std::array<uint8_t, 36> reserved30{}; // +30
    std::array<char, 112> description{};  // +66 free text, NUL-padded

    RecordedDataGroup() { std::memcpy(destination.data(), "255.255.255.255", 15); }
    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.intervalMs);
        io(4, s.packetLength);
        io(8, s.sampleCount);
        io(12, s.lostCount);
        io(14, s.destination);
        io(30, s.reserved30);
        io(66, s.description);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// One switchable effect with three 16-bit values; 12 bytes.
struct SwitchedEffect {
    uint32_t on = 0;         // +0 non-zero: the effect applies
    uint16_t a = 1;          // +4
    uint16_t b = 1;          // +6
    uint16_t c = 1;          // +8
    uint16_t reserved10 = 0; // +10

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.on);
        io(4, s.a);
        io(6, s.b);
        io(8, s.c);
        io(10, s.reserved10);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// Effects group A, 36 bytes.
struct EffectsGroupA {
    static constexpr size_t kSize = 36;
    SwitchedEffect outOfOrder;    // +0  a chance %, b minimum range, c maximum range
    SwitchedEffect duplication;   // +12 a chance %, b minimum burst, c maximum burst
    SwitchedEffect fragmentation; // +24 a chance %, b fragment size, c fragment order

    EffectsGroupA() {
        fragmentation.b = 512;
        fragmentation.c = 2;
    }
    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.outOfOrder);
        io(12, s.duplication);
        io(24, s.fragmentation);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// Effects group B, 32 bytes.
struct EffectsGroupB {
    static constexpr size_t kSize = 32;
    uint32_t bitErrorOn = 0;           // +0  non-zero: bit errors apply
    uint32_t reserved4 = 0;            // +4
    uint16_t bitErrorMinBurst = 1;     // +8  bits
    uint16_t bitErrorMaxBurst = 1;     // +10 bits
    uint32_t disconnectOn = 0;         // +12 non-zero: disconnects apply
    uint16_t disconnectChance = 20;    // +16 once in this many seconds
    uint16_t disconnectMinTime = 1000; // +18 ms
    uint16_t disconnectMaxTime = 1000; // +20 ms
    uint16_t reserved22 = 0;           // +22
    uint64_t bitErrorChance = 100000;  // +24 one in this many bits

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.bitErrorOn);
        io(4, s.reserved4);
        io(8, s.bitErrorMinBurst);
        io(10, s.bitErrorMaxBurst);
        io(12, s.disconnectOn);
        io(16, s.disconnectChance);
        io(18, s.disconnectMinTime);
        io(20, s.disconnectMaxTime);
        io(22, s.reserved22);
        io(24, s.bitErrorChance);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// Effects group C (congestion), 24 bytes.
struct EffectsGroupC {
    static constexpr size_t kSize = 24;
    uint32_t chance = 20;                // +0  once in this many seconds
    uint32_t on = 0;                     // +4  non-zero: congestion applies
    uint32_t constantDelay = 1000;       // +8  ms
    uint32_t minDuration = 100;          // +12 ms
    uint32_t peakErrorHundredths = 3000; // +16 loss during congestion, hundredths of a percent
    uint32_t maxDuration = 1000;         // +20 ms

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.chance);
        io(4, s.on);
        io(8, s.constantDelay);
        io(12, s.minDuration);
        io(16, s.peakErrorHundredths);
        io(20, s.maxDuration);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// Settings block, 3,088 bytes: the shape of the driver play block's filter area.
struct FilterEntry {
    uint32_t firstAddress = 0; // +0 host order
    uint32_t lastAddress = 0;  // +4 host order
    uint16_t firstPort = 0;    // +8
    uint16_t lastPort = 0;     // +10

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.firstAddress);
        io(4, s.lastAddress);
        io(8, s.firstPort);
        io(10, s.lastPort);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};
struct SettingsBlock {
    static constexpr size_t kSize = 3088;
    static constexpr size_t kEntryOffset = 8;
    static constexpr size_t kEntrySize = 12;
    uint32_t filterMode = 0;                             // +0 non-zero include, 0 exclude
    uint32_t filterCount = 0;                            // +4 entries in use
    std::array<FilterEntry, kSettingsEntries> entries{}; // +8, 12 bytes each
    std::array<uint8_t, 8> reserved{};                   // +3080

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.filterMode);
        io(4, s.filterCount);
        for (size_t i = 0; i < s.entries.size(); ++i)
            io(kEntryOffset + kEntrySize * i, s.entries[i]);
        io(3080, s.reserved);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// Trailer group, 76 bytes.
struct TrailerGroup {
    static constexpr size_t kSize = 76;
    LossWords recordedLoss;             // +0  loss values of a recorded file (no hundredths)
    std::array<uint8_t, 56> reserved{}; // +20

    template <class S, class Io>
    static void Fields(S& s, const Io& io) {
        io(0, s.recordedLoss);
        io(20, s.reserved);
    }
    void Decode(const uint8_t* p) { Fields(*this, FieldReader{p}); }
    void Encode(uint8_t* p) const { Fields(*this, FieldWriter{p}); }
};

// The head: values that the file carries one by one.
struct Head {
    float recordingScale = -1.0f; // 99.0: a loss series follows the delay series;
                                  // -1.0: loss estimated from the lost probes
    uint16_t mode = 1;            // 1 settings, 0 recorded
    uint16_t valueA = 17;         // after the first bandwidth group
    uint16_t valueB = 5;
    uint32_t countA = 0; // sample parameters (bit 21)
    uint32_t countB = 0;
    uint32_t latencyScale = 100;     // percent applied to the delay samples
    uint32_t lossScale = 100;        // percent applied to the loss samples
    uint32_t kindSetting = 1;        // non-zero: samples played in time order, else at random
    std::array<uint32_t, 2> extra{}; // further sample parameters, carried only
    uint32_t finalSetting = 0;       // bit 27
};

} // namespace wst
