#include "AltirenClient/DhPacket.h"
#include "AltirenClient/KeySets.h"
#include "CryptoLibrary.h"
#include "KeyBlobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace altiren::crypto;

namespace {

uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

const std::vector<uint8_t>& RequestSecret() {
    return GetKeySetSecrets(KeySetId::A).first;
}

std::vector<uint8_t> Build(const std::string& text, uint32_t check) {
    std::vector<uint8_t> out(text.size() + 200, 0);
    size_t length = 0;
    std::string error;
    EXPECT_TRUE(BuildDhPacket(reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1,
                              check, RequestSecret(), out.data(), out.size(), length, error))
        << error;
    out.resize(length);
    return out;
}

// Opens a copy held in a buffer of exactly its size, so a read past it is caught. The
// output buffer holds 4 KiB whatever `capacity` claims: a claim beyond it lets a length check
// be reached without gigabytes behind it, and a write the checks let through past the real
// buffer is caught as well.
bool Open(const std::vector<uint8_t>& packet, std::string& text, uint32_t& check,
          std::string& error, size_t capacity = 4096) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[packet.size() ? packet.size() : 1]);
    if (!packet.empty())
        std::memcpy(exact.get(), packet.data(), packet.size());
    std::vector<uint8_t> out(std::min<size_t>(capacity, 4096), 0);
    size_t n = 0;
    if (!OpenDhPacket(exact.get(), packet.size(), RequestSecret(), out.data(), capacity, n, check,
                      error))
        return false;
    text.assign(reinterpret_cast<const char*>(out.data()), n);
    return true;
}

} // namespace

TEST(DhPacket, HundredCharacterRequestGivesTheFixedLayout) {
    std::string text(100, 'r');
    std::vector<uint8_t> p = Build(text, 0xA1B2C3D4);
    ASSERT_EQ(p.size(), 250u);
    EXPECT_EQ(p[0], 0x65);
    EXPECT_EQ(p[1], 0x00);
    EXPECT_EQ(p[2], 1);
    EXPECT_EQ(p[3], 1);
    EXPECT_EQ(Load32(&p[4]), 250u);
    EXPECT_EQ(p[8], 6);
    EXPECT_EQ(p[9], 2);
    EXPECT_EQ(Load32(&p[10]), 111u);
    EXPECT_EQ(Load32(&p[141]), 101u);

    std::string back, error;
    uint32_t check = 0;
    ASSERT_TRUE(Open(p, back, check, error)) << error;
    EXPECT_EQ(back, text + std::string(1, '\0'));
    EXPECT_EQ(check, 0xA1B2C3D4u);
}

TEST(DhPacket, CtrMatchesAnIndependentEcbComputation) {
    std::string text = "<ALTIREN_EVENT EVENT_TYPE='CLIENT_LAUNCH' USER='u' PASSWORD='p'/>";
    std::vector<uint8_t> p = Build(text, 0x01020304);
    const size_t ivAt = 14 + 111, dataAt = ivAt + 16 + 4;

    // Key: SHA-1 of the secret cut to 16 bytes.
    unsigned char digest[20];
    unsigned long digestLength = sizeof digest;
    ASSERT_EQ(hash_memory(find_hash("sha1"), RequestSecret().data(), RequestSecret().size(), digest,
                          &digestLength),
              CRYPT_OK);
    symmetric_key key;
    ASSERT_EQ(rijndael_setup(digest, 16, 0, &key), CRYPT_OK);

    // Key stream: E(counter), counter incremented little-endian from its first byte.
    unsigned char counter[16];
    std::memcpy(counter, &p[ivAt], 16);
    std::vector<uint8_t> plain(text.begin(), text.end());
    plain.push_back(0);
    plain.push_back(0x04);
    plain.push_back(0x03);
    plain.push_back(0x02);
    plain.push_back(0x01);
    for (size_t off = 0; off < plain.size(); off += 16) {
        unsigned char block[16];
        ASSERT_EQ(rijndael_ecb_encrypt(counter, block, &key), CRYPT_OK);
        for (size_t i = 0; i < 16 && off + i < plain.size(); ++i)
            EXPECT_EQ(p[dataAt + off + i], plain[off + i] ^ block[i]) << off + i;
        for (int i = 0; i < 16 && ++counter[i] == 0; ++i) {
        }
    }
}

TEST(DhPacket, KeySetsPairAsDesigned) {
    const KeySetSecrets& a = GetKeySetSecrets(KeySetId::A);
    const KeySetSecrets& b = GetKeySetSecrets(KeySetId::B);
    ASSERT_TRUE(a.ready);
    ASSERT_TRUE(b.ready);
    EXPECT_EQ(a.first, b.first);   // request secret
    EXPECT_EQ(a.second, b.second); // reply secret
    EXPECT_NE(a.first, a.second);
    EXPECT_FALSE(a.first.empty());
    EXPECT_LE(a.first.size(), 1536u);

    // Set A's private keys and set B's public keys belong to the client, and the other
    // way round: swapping a role gives no secret or a different one.
    using namespace blobs;
    std::vector<uint8_t> s;
    EXPECT_FALSE(
        ComputeSharedSecret(kSetAPublic1, kSetAPublic1Size, kSetBPublic1, kSetBPublic1Size, s));
    ASSERT_TRUE(
        ComputeSharedSecret(kSetAPrivate1, kSetAPrivate1Size, kSetAPublic2, kSetAPublic2Size, s));
    EXPECT_NE(s, a.first);
}

TEST(DhPacket, EveryTruncationIsRefused) {
    std::vector<uint8_t> p = Build("truncate me, please", 7);
    std::string text, error;
    uint32_t check = 0;
    for (size_t len = 0; len < p.size(); ++len) {
        std::vector<uint8_t> cut(p.begin(), p.begin() + len);
        EXPECT_FALSE(Open(cut, text, check, error)) << len;
        // The same with the total-length field made to agree, so that the field
        // checks themselves must hold the line.
        if (len >= 8) {
            Store32(&cut[4], static_cast<uint32_t>(len));
            EXPECT_FALSE(Open(cut, text, check, error)) << len;
        }
    }
    EXPECT_TRUE(Open(p, text, check, error)) << error;
}

TEST(DhPacket, LyingLengthFieldsAreRefused) {
    std::vector<uint8_t> p = Build("lengths", 7);
    std::string text, error;
    uint32_t check = 0;

    std::vector<uint8_t> q = p;
    Store32(&q[4], static_cast<uint32_t>(p.size() + 1)); // total beyond the bytes
    EXPECT_FALSE(Open(q, text, check, error));

    q = p;
    Store32(&q[10], 0xFFFFFFFF); // filler wraps a 32-bit sum
    EXPECT_FALSE(Open(q, text, check, error));
    EXPECT_EQ(error, "Invalid packet for dh_decrypt().");

    q = p;
    Store32(&q[141], 0xFFFFFFF0); // data length wraps a 32-bit sum
    EXPECT_FALSE(Open(q, text, check, error, 0xFFFFFFFF));
    EXPECT_EQ(error, "Invalid packet for dh_decrypt().");

    q = p;
    EXPECT_FALSE(Open(q, text, check, error, 4)); // data longer than the output
    EXPECT_EQ(error, "Buffer overrun in dh_decrypt().");
}

TEST(DhPacket, HeaderVersionCipherAndHashAreChecked) {
    std::vector<uint8_t> p = Build("header", 9);
    std::string text, error;
    uint32_t check = 0;
    std::vector<uint8_t> q = p;
    q[0] = 0x66;
    EXPECT_FALSE(Open(q, text, check, error));
    EXPECT_EQ(error, "Invalid packet for dh_decrypt().");
    q = p;
    q[1] = 0x01; // version 0x165
    EXPECT_FALSE(Open(q, text, check, error));
    q = p;
    q[0] = 0x64; // an older version still opens
    EXPECT_TRUE(Open(q, text, check, error)) << error;
    q = p;
    q[2] = 2;
    EXPECT_FALSE(Open(q, text, check, error));
    q = p;
    q[3] = 0;
    EXPECT_FALSE(Open(q, text, check, error));

    q = p;
    q[8] = 5; // no cipher has this id here
    EXPECT_FALSE(Open(q, text, check, error));
    EXPECT_EQ(error, "Cipher not found in descriptor table in dh_decrypt().");
    q[8] = 200;
    EXPECT_FALSE(Open(q, text, check, error));
    q = p;
    q[9] = 7;
    EXPECT_FALSE(Open(q, text, check, error));
    EXPECT_EQ(error, "hash not found in descriptor table in dh_decrypt().");

    q = p;
    q[8] = 7; // another registered cipher opens to different bytes
    ASSERT_TRUE(Open(q, text, check, error)) << error;
    EXPECT_NE(check, 9u);
}

TEST(DhPacket, TwoPacketsOfOneSecondUseDifferentCounterBlocks) {
    // Time-seeded alone, both would share filler, counter block and key stream.
    std::vector<uint8_t> a = Build("same text", 1);
    std::vector<uint8_t> b = Build("same text", 1);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_NE(std::vector<uint8_t>(a.begin() + 125, a.begin() + 141),
              std::vector<uint8_t>(b.begin() + 125, b.begin() + 141));
    EXPECT_NE(a, b);
}

TEST(DhPacket, BuilderRefusesASmallBuffer) {
    std::vector<uint8_t> out(149 + 9, 0);
    size_t length = 0;
    std::string error;
    const uint8_t data[10] = {};
    EXPECT_FALSE(
        BuildDhPacket(data, 10, 0, RequestSecret(), out.data(), out.size(), length, error));
    EXPECT_EQ(error, "Buffer overflow in dh_encrypt().");
}
