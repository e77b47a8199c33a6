// The exports as the client sees them: through the shared library and its header only.
#include "AltirenAPI.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

NuvexPacketRecord ipv4_record() {
    NuvexPacketRecord r{};
    uint8_t* p = r.packet;
    p[0] = 0x45;
    p[2] = 0x00, p[3] = 40;
    p[9] = 17;
    p[12] = 192, p[13] = 168, p[14] = 100, p[15] = 200;
    p[16] = 198, p[17] = 18, p[18] = 0, p[19] = 1;
    p[20] = 0x04, p[21] = 0xD2, p[22] = 0x00, p[23] = 0x35;
    return r;
}

} // namespace

TEST(Exports, DisplayAddressLengthProtocol) {
    NuvexPacketRecord r = ipv4_record();
    char text[32];
    std::memset(text, 'x', sizeof text);
    uint32_t length = 10;
    NuvexGetDisplayAddress(r.packet, text, &length, 1);
    EXPECT_EQ(length, 15u);
    EXPECT_EQ(text[0], 'x');

    length = 15; // no room for the terminator
    NuvexGetDisplayAddress(r.packet, text, &length, 1);
    EXPECT_EQ(length, 15u);
    EXPECT_EQ(text[0], 'x');

    length = 16;
    NuvexGetDisplayAddress(r.packet, text, &length, 1);
    EXPECT_EQ(length, 15u);
    EXPECT_STREQ(text, "192.168.100.200");

    length = 32;
    NuvexGetDisplayAddress(r.packet, text, &length, 0);
    EXPECT_EQ(length, 10u);
    EXPECT_STREQ(text, "198.18.0.1");
    EXPECT_EQ(text[31], 0); // cleared over the whole size

    NuvexPacketRecord other{};
    other.packet[0] = 0x20;
    length = 32;
    NuvexGetDisplayAddress(other.packet, text, &length, 0);
    EXPECT_EQ(length, 32u);
    EXPECT_STREQ(text, "198.18.0.1");
}

TEST(Exports, PacketDecoders) {
    NuvexPacketRecord r = ipv4_record();
    EXPECT_EQ(NuvexGetPacketIpVersion(r.packet), 0);
    EXPECT_EQ(NuvexGetPacketSize(r.packet), 40u);
    EXPECT_EQ(NuvexGetPort(r.packet, 1), 1234);
    EXPECT_EQ(NuvexGetPort(r.packet, 0), 53);
    char text[40];
    std::memset(text, 'x', sizeof text);
    NuvexGetProtocol(r.packet, text);
    EXPECT_STREQ(text, "UDP");
    EXPECT_EQ(text[39], 0);
    EXPECT_EQ(NuvexIsPacketLossDueToBER(r.packet), 1); // checksum left zero

    NuvexPacketRecord v6{};
    v6.packet[0] = 0x60;
    EXPECT_EQ(NuvexGetPacketIpVersion(v6.packet), 1);
    EXPECT_EQ(NuvexIsPacketLossDueToBER(v6.packet), 0);
    v6.packet[0] = 0x00;
    EXPECT_EQ(NuvexGetPacketIpVersion(v6.packet), 2);
    std::memset(text, 'x', sizeof text);
    NuvexGetProtocol(v6.packet, text);
    EXPECT_EQ(text[0], 'x'); // another version leaves the buffer alone
}

TEST(Exports, NullPointersAreGuarded) {
    NuvexSetDefaultPlayParams(nullptr);
    EXPECT_EQ(NuvexGetPacketIpVersion(nullptr), 2);
    EXPECT_EQ(NuvexGetPacketSize(nullptr), 0u);
    EXPECT_EQ(NuvexGetPort(nullptr, 1), 0);
    EXPECT_EQ(NuvexIsPacketLossDueToBER(nullptr), 0);
    NuvexGetProtocol(nullptr, nullptr);
    uint32_t length = 5;
    NuvexGetDisplayAddress(nullptr, nullptr, &length, 0);
    NuvexPacketRecord r = ipv4_record();
    NuvexGetDisplayAddress(r.packet, nullptr, &length, 0);
    EXPECT_EQ(length, 5u);
    char text[40];
    NuvexGetDisplayAddress(r.packet, text, nullptr, 0);
}

TEST(Exports, DefaultsThroughTheLibrary) {
    PlayParameters p;
    std::memset(&p, 0xFF, sizeof p);
    NuvexSetDefaultPlayParams(&p);
    EXPECT_EQ(p.adapterAddress, 0u);
    EXPECT_EQ(p.eastInBandwidth, NUVEX_UNLIMITED_BANDWIDTH);
    EXPECT_EQ(p.congestionChance, NUVEX_GROUP_OFF);
    EXPECT_EQ(p.filterCount, 0u);
}

TEST(Exports, SessionExportsGuardNullPointers) {
    EXPECT_EQ(NuvexPlayEmulation(nullptr), -1);
    EXPECT_EQ(NuvexGetStatus(nullptr), -1);
    EXPECT_EQ(GetLastSecondStatistics(nullptr), -1);
    EXPECT_EQ(NuvexGetPacketListStatistics(nullptr), -1);
    NuvexFreePackets(nullptr);
    NuvexPacketList empty{};
    NuvexFreePackets(&empty);
    EXPECT_EQ(empty.records, nullptr);
}
