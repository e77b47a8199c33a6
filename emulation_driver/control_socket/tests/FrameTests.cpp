#include "ControlSocket/DevicePath.h"
#include "ControlSocket/Frame.h"
#include "ControlSocket/Status.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace quellin::ctlsock;

TEST(ControlFrames, RequestLayoutIsLittleEndianAtFixedOffsets) {
    RequestFrame f;
    f.id = 0x01020304;
    f.code = 0x0022000E;
    f.output_capacity = 14;
    f.input = {0xAA, 0xBB};
    Bytes b = encode_request(f);
    ASSERT_EQ(b.size(), 4u + 12u + 2u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), (Bytes{14, 0, 0, 0, 4, 3, 2, 1}));
    EXPECT_EQ(Bytes(b.begin() + 8, b.end()),
              (Bytes{0x0E, 0x00, 0x22, 0x00, 14, 0, 0, 0, 0xAA, 0xBB}));

    RequestFrame back;
    size_t used = 0;
    ASSERT_EQ(decode_request(b, back, used), Decode::Ok);
    EXPECT_EQ(used, b.size());
    EXPECT_EQ(back.id, f.id);
    EXPECT_EQ(back.code, f.code);
    EXPECT_EQ(back.output_capacity, 14u);
    EXPECT_EQ(back.input, f.input);
}

TEST(ControlFrames, ReplyRoundTripKeepsSystemBufferAndOutputApart) {
    ReplyFrame f;
    f.id = 9;
    f.status = kStatusBufferTooSmall;
    f.information = 76;
    f.system_buffer = {1, 2};
    f.output = {3, 4, 5};
    Bytes b = encode_reply(f);
    ASSERT_EQ(b.size(), 4u + 16u + 5u);
    EXPECT_EQ(get_u32(b.data() + 8), kStatusBufferTooSmall);
    EXPECT_EQ(get_u32(b.data() + 16), 2u);

    ReplyFrame back;
    size_t used = 0;
    ASSERT_EQ(decode_reply(b, back, used), Decode::Ok);
    EXPECT_EQ(back.id, 9u);
    EXPECT_EQ(back.status, kStatusBufferTooSmall);
    EXPECT_EQ(back.information, 76u);
    EXPECT_EQ(back.system_buffer, (Bytes{1, 2}));
    EXPECT_EQ(back.output, (Bytes{3, 4, 5}));
}

TEST(ControlFrames, PartialFramesNeedMoreAndTwoFramesDecodeInTurn) {
    RequestFrame a, b;
    a.id = 1;
    a.input.assign(40, 7);
    b.id = 2;
    Bytes stream = encode_request(a);
    const size_t first = stream.size();
    Bytes second = encode_request(b);
    stream.insert(stream.end(), second.begin(), second.end());

    RequestFrame out;
    size_t used = 0;
    for (size_t n = 0; n < first; ++n)
        ASSERT_EQ(decode_request(std::span<const uint8_t>(stream.data(), n), out, used),
                  Decode::NeedMore)
            << n;
    ASSERT_EQ(decode_request(stream, out, used), Decode::Ok);
    EXPECT_EQ(out.id, 1u);
    ASSERT_EQ(decode_request(std::span<const uint8_t>(stream).subspan(used), out, used),
              Decode::Ok);
    EXPECT_EQ(out.id, 2u);
}

TEST(ControlFrames, LengthsOutOfBoundsAreMalformed) {
    RequestFrame out;
    size_t used = 0;
    Bytes shortBody{11, 0, 0, 0};
    EXPECT_EQ(decode_request(shortBody, out, used), Decode::Malformed);
    Bytes huge{0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(decode_request(huge, out, used), Decode::Malformed);
    Bytes justOver(4);
    put_u32(justOver.data(), static_cast<uint32_t>(kMaxRequestBody + 1));
    EXPECT_EQ(decode_request(justOver, out, used), Decode::Malformed);

    ReplyFrame reply;
    reply.system_buffer = {1, 2, 3};
    Bytes b = encode_reply(reply);
    put_u32(b.data() + 16, 4); // system buffer longer than the body
    ReplyFrame back;
    EXPECT_EQ(decode_reply(b, back, used), Decode::Malformed);
    Bytes shortReply{15, 0, 0, 0};
    EXPECT_EQ(decode_reply(shortReply, back, used), Decode::Malformed);
}

TEST(ControlFrames, EncodingRefusesWhatExceedsTheBounds) {
    RequestFrame big;
    big.input.resize(kMaxInputBytes + 1);
    EXPECT_TRUE(encode_request(big).empty());
    RequestFrame wide;
    wide.output_capacity = static_cast<uint32_t>(kMaxOutputBytes + 1);
    EXPECT_TRUE(encode_request(wide).empty());
    RequestFrame largest;
    largest.input.resize(kMaxInputBytes);
    EXPECT_EQ(encode_request(largest).size(), 4 + kMaxRequestBody);
}

TEST(ControlStatus, MapsStatusesToCallerErrors) {
    EXPECT_EQ(win32_error_from_status(kStatusSuccess), 0u);
    EXPECT_EQ(win32_error_from_status(0xC000000D), 87u);
    EXPECT_EQ(win32_error_from_status(0xC0000023), 122u);
    EXPECT_EQ(win32_error_from_status(0xC0000001), 31u);
    EXPECT_EQ(win32_error_from_status(0xC0001234), 31u);
    EXPECT_TRUE(status_succeeded(0x103));
    EXPECT_FALSE(status_succeeded(0xC0000001));
}

TEST(ControlDevicePath, EnvironmentOverridesTheDefault) {
    ::unsetenv("QL_DEVICE");
    EXPECT_EQ(device_path(), "/run/quellin/QL");
    ::setenv("QL_DEVICE", "", 1);
    EXPECT_EQ(device_path(), "/run/quellin/QL");
    ::setenv("QL_DEVICE", "/tmp/x/QL", 1);
    EXPECT_EQ(device_path(), "/tmp/x/QL");
}
