/* Control library of the emulator: start, stop and watch emulations, read the captured
 * packets and decode them for display.
 *
 * Results: 0 success, -1 when the driver is missing or cannot be reached, positive result
 * codes otherwise (NUVEX_RC_*; NuvexResultText gives their texts). */
#ifndef ALTIREN_API_H
#define ALTIREN_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NUVEX_API __attribute__((visibility("default")))

#define NUVEX_MAX_FILTERS 11
#define NUVEX_UNLIMITED_BANDWIDTH 4294967295.0
#define NUVEX_GROUP_OFF 65535u

/* What the caller fills for NuvexPlayEmulation. Bandwidths in kbit/s, percentages in
 * percent, times in ms unless told otherwise; addresses IPv4 in network byte order.
 * Fields are at the offsets of the original record (the sample pointers widen it on
 * 64-bit systems); reserved fields and gaps are zero after the defaults. */
typedef struct PlayParameters {
    uint32_t adapterAddress;
    uint32_t reserved0;

    double eastOutBandwidth;
    double eastInBandwidth;
    uint16_t eastOutPercentage;
    uint16_t eastInPercentage;
    uint16_t eastBucketMode;      /* 0 bytes, 1 packets */
    uint16_t eastBucketSize;      /* KB, 65535 unlimited */
    uint16_t eastOverhead;        /* bytes */
    uint32_t eastRedMinThreshold; /* KB */
    uint32_t eastRedMaxThreshold; /* KB */

    double westOutBandwidth;
    double westInBandwidth;
    uint16_t westOutPercentage;
    uint16_t westInPercentage;
    uint16_t westBucketMode;
    uint16_t westBucketSize;
    uint16_t westOverhead;
    uint32_t westRedMinThreshold;
    uint32_t westRedMaxThreshold;
    uint32_t reserved2;

    uint16_t latencyType; /* 0 fixed, 1 normal, 2 bounded walk, 3 recorded, 4 linear sweep */
    uint16_t minDelay;
    uint16_t maxDelay;
    uint16_t jitter;
    uint16_t maxDelayDiff;
    uint16_t timeSpan; /* s */
    uint32_t reserved3;

    int16_t lossType;    /* 0 none, 1 periodic, 2 random, 3 burst, 4 recorded, 5 Gilbert-Elliott */
    uint16_t lossPeriod; /* one packet in this many */
    double randomLoss;
    double burstChance;
    uint16_t burstMin;
    uint16_t burstMax;
    double gilbertGoodLoss;
    double gilbertBadLoss;
    double gilbertToGood;
    double gilbertToBad;

    uint16_t outOfOrderChance; /* 65535 off */
    uint16_t outOfOrderMinRange;
    uint16_t outOfOrderMaxRange;
    uint16_t duplicationChance; /* 65535 off */
    uint16_t duplicationMinBurst;
    uint16_t duplicationMaxBurst;
    uint16_t fragmentationChance; /* 65535 off */
    uint16_t fragmentSize;
    uint16_t fragmentOrder;

    uint64_t bitErrorChance; /* one in this many bits, 65535 off */
    uint16_t bitErrorMinBurst;
    uint16_t bitErrorMaxBurst;
    uint32_t reserved5;

    uint16_t disconnectChance; /* once in this many seconds, 65535 off */
    uint16_t disconnectMinTime;
    uint16_t disconnectMaxTime;
    uint16_t reserved4;

    uint16_t congestionChance; /* once in this many seconds, 65535 off */
    double congestionPeakError;
    uint16_t congestionConstantDelay;
    uint16_t congestionMinDuration;
    uint16_t congestionMaxDuration;
    uint16_t reserved6;

    uint16_t recordedKind; /* 1 time-indexed, 2 picked at random */
    uint16_t sampleCount;
    uint16_t sampleInterval;
    const uint32_t* delaySamples; /* ms each */
    const uint32_t* lossSamples;  /* whole percent each, may be null */

    uint32_t filterCount;
    uint32_t filterMode; /* 0 exclude, 1 include */
    uint32_t filterAddresses[NUVEX_MAX_FILTERS];
    uint32_t reserved1;
} PlayParameters;

/* One captured packet: 68 bytes from its IP header on. */
typedef struct NuvexPacketRecord {
    uint32_t sequence;
    uint16_t side; /* 0 outbound, 1 inbound */
    uint8_t packet[68];
    uint8_t padding[2];
} NuvexPacketRecord;

/* One entry of a packet list (decoded from the driver's 10-byte entry; naturally
 * aligned here so that its fields can be used like any other). */
typedef struct NuvexPacketListEntry {
    uint32_t sequence;
    uint16_t flags;
    uint32_t timeOfDay; /* ms since local midnight */
} NuvexPacketListEntry;

/* Result record of NuvexGetPacketListStatistics; the arrays belong to the library until
 * NuvexFreePackets frees them. */
typedef struct NuvexPacketList {
    NuvexPacketRecord* records;
    uint32_t recordCount;
    uint32_t listsWanted; /* input: non-zero asks for the four packet lists too */
    NuvexPacketListEntry* lists[4];
    uint32_t listCounts[4];
} NuvexPacketList;

#ifdef __cplusplus
#define NUVEX_STATIC_ASSERT static_assert
#else
#define NUVEX_STATIC_ASSERT _Static_assert
#endif
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, eastOutBandwidth) == 8, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, eastOutPercentage) == 24, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, eastOverhead) == 32, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, eastRedMinThreshold) == 36, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, westOutBandwidth) == 48, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, westRedMaxThreshold) == 80, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, latencyType) == 88, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, timeSpan) == 98, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, lossType) == 104, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, randomLoss) == 112, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, burstMax) == 130, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, gilbertGoodLoss) == 136, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, gilbertToBad) == 160, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, outOfOrderChance) == 168, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, fragmentOrder) == 184, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, bitErrorChance) == 192, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, bitErrorMaxBurst) == 202, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, disconnectChance) == 208, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, congestionChance) == 216, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, congestionPeakError) == 224, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, congestionMaxDuration) == 236, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, sampleInterval) == 244, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, recordedKind) == 240, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, delaySamples) == 248, "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, lossSamples) == 248 + sizeof(void*), "layout");
NUVEX_STATIC_ASSERT(offsetof(PlayParameters, filterCount) == 248 + 2 * sizeof(void*), "layout");
NUVEX_STATIC_ASSERT(sizeof(PlayParameters) == 248 + 2 * sizeof(void*) + 56, "layout");
#if defined(__x86_64__)
NUVEX_STATIC_ASSERT(sizeof(PlayParameters) == 320, "layout");
#endif
NUVEX_STATIC_ASSERT(sizeof(NuvexPacketRecord) == 76, "layout");
/* The client indexes the handed-out lists by this size: it is not the driver's 10 bytes. */
NUVEX_STATIC_ASSERT(offsetof(NuvexPacketListEntry, timeOfDay) == 8, "layout");
NUVEX_STATIC_ASSERT(sizeof(NuvexPacketListEntry) == 12, "layout");

/* Result codes. */
enum {
    NUVEX_RC_OK = 0,
    NUVEX_RC_NO_DRIVER = -1,
    NUVEX_RC_NO_MEMORY = 1,
    NUVEX_RC_LATENCY_TYPE = 3,
    NUVEX_RC_MAX_DELAY = 5,
    NUVEX_RC_MAX_BELOW_MIN_DELAY = 6,
    NUVEX_RC_JITTER = 7,
    NUVEX_RC_MAX_DELAY_DIFF = 8,
    NUVEX_RC_TIME_SPAN = 9,
    NUVEX_RC_LOSS_TYPE = 10,
    NUVEX_RC_LOSS_PERIOD = 11,
    NUVEX_RC_RANDOM_LOSS = 12,
    NUVEX_RC_LOSS_SAMPLE = 13,
    NUVEX_RC_BURST_CHANCE = 14,
    NUVEX_RC_BURST_MIN = 15,
    NUVEX_RC_BURST_MAX = 16,
    NUVEX_RC_BURST_MAX_BELOW_MIN = 17,
    NUVEX_RC_GILBERT_BELOW = 18,
    NUVEX_RC_GILBERT_ABOVE = 19,
    NUVEX_RC_GILBERT_BAD_NOT_ABOVE_GOOD = 20,
    NUVEX_RC_BANDWIDTH_BELOW = 21,
    NUVEX_RC_BANDWIDTH_ABOVE = 22,
    NUVEX_RC_BUCKET_SIZE = 23,
    NUVEX_RC_BUCKET_MODE = 25,
    NUVEX_RC_OVERHEAD = 27,
    NUVEX_RC_RED_MIN = 28,
    NUVEX_RC_RED_MAX_ABOVE_BUCKET = 29,
    NUVEX_RC_RED_MAX_BELOW_MIN = 30,
    NUVEX_RC_PERCENTAGE = 32,
    NUVEX_RC_PERCENTAGE_UNLIMITED = 33,
    NUVEX_RC_OOO_CHANCE = 34,
    NUVEX_RC_OOO_MAX_RANGE = 36,
    NUVEX_RC_OOO_MAX_BELOW_MIN = 37,
    NUVEX_RC_DUP_CHANCE = 38,
    NUVEX_RC_DUP_MIN = 39,
    NUVEX_RC_DUP_MAX = 40,
    NUVEX_RC_DUP_MAX_BELOW_MIN = 41,
    NUVEX_RC_FRAG_CHANCE = 42,
    NUVEX_RC_FRAG_SIZE = 43,
    NUVEX_RC_FRAG_ORDER = 44,
    NUVEX_RC_BIT_ERROR_CHANCE = 45,
    NUVEX_RC_BIT_ERROR_MAX = 47,
    NUVEX_RC_BIT_ERROR_MAX_BELOW_MIN = 48,
    NUVEX_RC_DISCONNECT_CHANCE = 49,
    NUVEX_RC_DISCONNECT_MIN = 50,
    NUVEX_RC_DISCONNECT_MAX = 51,
    NUVEX_RC_DISCONNECT_MAX_BELOW_MIN = 52,
    NUVEX_RC_CONGESTION_CHANCE = 53,
    NUVEX_RC_CONGESTION_MIN = 54,
    NUVEX_RC_CONGESTION_MAX_BELOW_MIN = 56,
    NUVEX_RC_CONGESTION_DELAY = 58,
    NUVEX_RC_CONGESTION_ERROR_BELOW = 59,
    NUVEX_RC_CONGESTION_ERROR_ABOVE = 60,
    NUVEX_RC_FILTER_COUNT_BELOW = 61,
    NUVEX_RC_FILTER_COUNT_ABOVE = 62,
    NUVEX_RC_FILTER_ADDRESS = 63,
    NUVEX_RC_FILTER_MODE = 64,
    NUVEX_RC_FILTER_INCLUDE_EMPTY = 65,
    NUVEX_RC_SAMPLE_INTERVAL_BELOW = 66,
    NUVEX_RC_SAMPLE_INTERVAL_ABOVE = 67,
    NUVEX_RC_SAMPLE_COUNT = 69,
    NUVEX_RC_SAMPLES_MISSING = 70,
    NUVEX_RC_OS_CLASS = 71,
    NUVEX_RC_ADAPTER_NOT_FOUND = 72,
    NUVEX_RC_NOT_PLAYING = 74,
    NUVEX_RC_PLAYING = 75,
    NUVEX_RC_BUFFER_SIZE = 77,
    NUVEX_RC_BUFFER_MODE = 78,
    NUVEX_RC_VERSION_LOW = 84,
    NUVEX_RC_VERSION_HIGH = 85,
    NUVEX_RC_ALREADY_PLAYING = 86,
    NUVEX_RC_COMMUNICATION = 87
};

/* Text of a result code; any code without a text, 0 included, gives "Unknown". */
static inline const char* NuvexResultText(int code) {
    static const struct {
        int first, last;
        const char* text;
    } texts[] = {
        {-1, -1, "Failed to communicate with driver"},
        {87, 87, "Failed to communicate with driver"},
        {3, 9, "Invalid Latency settings"},
        {10, 20, "Invalid Packet Loss settings"},
        {21, 22, "Invalid Bandwidth settings"},
        {23, 25, "Invalid Bucket Limitation settings"},
        {26, 27, "Invalid Packet Overhead settings"},
        {28, 30, "Invalid Random Early Detection (RED) settings"},
        {34, 37, "Invalid Out Of Order settings"},
        {38, 41, "Invalid Duplication settings"},
        {42, 44, "Invalid Fragmentation settings"},
        {45, 48, "Invalid Bit Error settings"},
        {49, 52, "Invalid Disconnect settings"},
        {53, 60, "Invalid Congestion settings"},
        {61, 64, "Invalid Include/Exclude settings"},
        {66, 70, "Invalid Imported Parameters settings"},
        {71, 73, "Invalid Active Adapter settings"},
        {74, 74, "Could not provide statistics as Pramitone is not playing"},
        {75, 75, "Cannot change parameters in play mode"},
        {76, 78, "Invalid Packet List settings"},
        {84, 85, "Driver version and application version do not match"},
        {86, 86, "Pramitone is already in Play mode"},
    };
    size_t i;
    for (i = 0; i < sizeof(texts) / sizeof(texts[0]); ++i)
        if (code >= texts[i].first && code <= texts[i].last)
            return texts[i].text;
    return "Unknown";
}

/* The sixteen exports. */
NUVEX_API int NuvexIsDriverInstalled(void);
NUVEX_API void NuvexSetDefaultPlayParams(PlayParameters* params);
NUVEX_API int NuvexPlayEmulation(PlayParameters* params);
NUVEX_API int NuvexStopEmulation(void);
NUVEX_API int NuvexGetStatus(uint32_t* playing);
NUVEX_API int NuvexForceDriverReset(void);
NUVEX_API int GetLastSecondStatistics(uint32_t statistics[12]);
NUVEX_API int NuvexGetPacketListStatistics(NuvexPacketList* result);
NUVEX_API void NuvexFreePackets(NuvexPacketList* result);
NUVEX_API int NuvexSetPacketListBufferOptions(uint32_t size, int32_t mode);

/* Packet decoding; `packet` is the 68 captured bytes of a NuvexPacketRecord. */
NUVEX_API int NuvexGetPacketIpVersion(const uint8_t* packet); /* 0 IPv4, 1 IPv6, 2 other */
NUVEX_API uint32_t NuvexGetPacketSize(const uint8_t* packet);
NUVEX_API void NuvexGetDisplayAddress(const uint8_t* packet, char* text, uint32_t* length,
                                      uint8_t source);
NUVEX_API uint16_t NuvexGetPort(const uint8_t* packet, uint8_t source);
NUVEX_API void NuvexGetProtocol(const uint8_t* packet, char text[40]);
NUVEX_API int NuvexIsPacketLossDueToBER(const uint8_t* packet);

#ifdef __cplusplus
}
#endif

#endif /* ALTIREN_API_H */
