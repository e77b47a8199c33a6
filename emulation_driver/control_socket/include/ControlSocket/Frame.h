// Frames of the control socket. Each frame is a u32 body length followed by the body;
// every field is little-endian at a fixed offset.
//
// Request body: u32 request id, u32 I/O control code, u32 output capacity, input bytes.
// Reply body:   u32 request id, u32 status, u32 byte count, u32 system-buffer length,
//               system-buffer bytes, output bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quellin::ctlsock {

using Bytes = std::vector<uint8_t>;

// Bounds: a play block with a full sample tail fits the input, the largest
// captured-packet buffer fits the output.
constexpr size_t kMaxInputBytes = 512 * 1024;
constexpr size_t kMaxOutputBytes = 1024 * 1024;
constexpr size_t kMaxSystemBufferBytes = kMaxOutputBytes;

constexpr size_t kLengthBytes = 4;
constexpr size_t kRequestHeaderBytes = 12;
constexpr size_t kReplyHeaderBytes = 16;
constexpr size_t kMaxRequestBody = kRequestHeaderBytes + kMaxInputBytes;
constexpr size_t kMaxReplyBody = kReplyHeaderBytes + kMaxSystemBufferBytes + kMaxOutputBytes;

struct RequestFrame {
    uint32_t id = 0;
    uint32_t code = 0;
    uint32_t output_capacity = 0;
    Bytes input;
};

struct ReplyFrame {
    uint32_t id = 0;
    uint32_t status = 0;
    uint32_t information = 0; // byte count
    Bytes system_buffer;
    Bytes output;
};

enum class Decode {
    NeedMore,  // no whole frame yet
    Ok,        // one frame decoded; `consumed` bytes used
    Malformed, // the stream cannot be read on: close it
};

void put_u16(uint8_t* p, uint16_t v);
void put_u32(uint8_t* p, uint32_t v);
uint16_t get_u16(const uint8_t* p);
uint32_t get_u32(const uint8_t* p);

// Encoding refuses (returns an empty vector) what exceeds the bounds above.
Bytes encode_request(const RequestFrame& frame);
Bytes encode_reply(const ReplyFrame& frame);

Decode decode_request(std::span<const uint8_t> data, RequestFrame& out, size_t& consumed);
Decode decode_reply(std::span<const uint8_t> data, ReplyFrame& out, size_t& consumed);

} // namespace quellin::ctlsock
