#include "ControlSocket/Frame.h"

#include <algorithm>

namespace quellin::ctlsock {

void put_u16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t get_u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t get_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

Bytes encode_request(const RequestFrame& frame) {
    if (frame.input.size() > kMaxInputBytes || frame.output_capacity > kMaxOutputBytes)
        return {};
    const size_t body = kRequestHeaderBytes + frame.input.size();
    Bytes out(kLengthBytes + body);
    uint8_t* p = out.data();
    put_u32(p, static_cast<uint32_t>(body));
    put_u32(p + 4, frame.id);
    put_u32(p + 8, frame.code);
    put_u32(p + 12, frame.output_capacity);
    std::copy(frame.input.begin(), frame.input.end(), p + 16);
    return out;
}

Bytes encode_reply(const ReplyFrame& frame) {
    if (frame.system_buffer.size() > kMaxSystemBufferBytes || frame.output.size() > kMaxOutputBytes)
        return {};
    const size_t body = kReplyHeaderBytes + frame.system_buffer.size() + frame.output.size();
    Bytes out(kLengthBytes + body);
    uint8_t* p = out.data();
    put_u32(p, static_cast<uint32_t>(body));
    put_u32(p + 4, frame.id);
    put_u32(p + 8, frame.status);
    put_u32(p + 12, frame.information);
    put_u32(p + 16, static_cast<uint32_t>(frame.system_buffer.size()));
    p = std::copy(frame.system_buffer.begin(), frame.system_buffer.end(), p + 20);
    std::copy(frame.output.begin(), frame.output.end(), p);
    return out;
}

namespace {

// Checks the length word; gives the body length of a whole frame or a verdict.
Decode frame_body(std::span<const uint8_t> data, size_t min_body, size_t max_body, size_t& body) {
    if (data.size() < kLengthBytes)
        return Decode::NeedMore;
    body = get_u32(data.data());
    if (body < min_body || body > max_body)
        return Decode::Malformed;
    if (data.size() - kLengthBytes < body)
        return Decode::NeedMore;
    return Decode::Ok;
}

} // namespace

Decode decode_request(std::span<const uint8_t> data, RequestFrame& out, size_t& consumed) {
    size_t body = 0;
    Decode d = frame_body(data, kRequestHeaderBytes, kMaxRequestBody, body);
    if (d != Decode::Ok)
        return d;
    const uint8_t* p = data.data() + kLengthBytes;
    out.id = get_u32(p);
    out.code = get_u32(p + 4);
    out.output_capacity = get_u32(p + 8);
    out.input.assign(p + kRequestHeaderBytes, p + body);
    consumed = kLengthBytes + body;
    return Decode::Ok;
}

Decode decode_reply(std::span<const uint8_t> data, ReplyFrame& out, size_t& consumed) {
    size_t body = 0;
    Decode d = frame_body(data, kReplyHeaderBytes, kMaxReplyBody, body);
    if (d != Decode::Ok)
        return d;
    const uint8_t* p = data.data() + kLengthBytes;
    const size_t system_length = get_u32(p + 12);
    const size_t rest = body - kReplyHeaderBytes;
    if (system_length > rest || system_length > kMaxSystemBufferBytes ||
        rest - system_length > kMaxOutputBytes)
        return Decode::Malformed;
    out.id = get_u32(p);
    out.status = get_u32(p + 4);
    out.information = get_u32(p + 8);
    const uint8_t* s = p + kReplyHeaderBytes;
    out.system_buffer.assign(s, s + system_length);
    out.output.assign(s + system_length, p + body);
    consumed = kLengthBytes + body;
    return Decode::Ok;
}

} // namespace quellin::ctlsock
