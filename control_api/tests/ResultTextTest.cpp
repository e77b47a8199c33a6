#include "AltirenAPI.h"

#include <gtest/gtest.h>
#include <string>

TEST(ResultText, RangesAndUnknownCodes) {
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {-1, "Failed to communicate with driver"},
        {87, "Failed to communicate with driver"},
        {3, "Invalid Latency settings"},
        {9, "Invalid Latency settings"},
        {10, "Invalid Packet Loss settings"},
        {20, "Invalid Packet Loss settings"},
        {22, "Invalid Bandwidth settings"},
        {24, "Invalid Bucket Limitation settings"},
        {26, "Invalid Packet Overhead settings"},
        {30, "Invalid Random Early Detection (RED) settings"},
        {34, "Invalid Out Of Order settings"},
        {41, "Invalid Duplication settings"},
        {42, "Invalid Fragmentation settings"},
        {48, "Invalid Bit Error settings"},
        {49, "Invalid Disconnect settings"},
        {60, "Invalid Congestion settings"},
        {64, "Invalid Include/Exclude settings"},
        {66, "Invalid Imported Parameters settings"},
        {70, "Invalid Imported Parameters settings"},
        {72, "Invalid Active Adapter settings"},
        {74, "Could not provide statistics as Pramitone is not playing"},
        {75, "Cannot change parameters in play mode"},
        {77, "Invalid Packet List settings"},
        {85, "Driver version and application version do not match"},
        {86, "Pramitone is already in Play mode"},
        {0, "Unknown"},
        {1, "Unknown"},
        {2, "Unknown"},
        {31, "Unknown"},
        {33, "Unknown"},
        {65, "Unknown"},
        {79, "Unknown"},
        {88, "Unknown"},
        {-2, "Unknown"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(NuvexResultText(c.code)), c.text) << c.code;
}
