// Frames of the control socket as a stream from an untrusted peer: request frames as the
// daemon reads them, reply frames as the control library reads them. Every frame that
// decodes and lies within the bounds encodes back to the very bytes it was read from.
#include "common/FuzzInput.h"

#include "ControlSocket/Frame.h"

#include <algorithm>

using namespace quellin::ctlsock;

namespace {

bool Same(std::span<const uint8_t> read, const Bytes& written) {
    return read.size() == written.size() && std::equal(read.begin(), read.end(), written.begin());
}

void Requests(std::span<const uint8_t> stream) {
    while (!stream.empty()) {
        RequestFrame frame;
        size_t consumed = 0;
        const Decode d = decode_request(stream, frame, consumed);
        if (d != Decode::Ok)
            return;
        if (consumed < kLengthBytes + kRequestHeaderBytes || consumed > stream.size())
            fuzz::Fail("a request frame was read past its bytes");
        if (frame.output_capacity <= kMaxOutputBytes &&
            !Same(stream.first(consumed), encode_request(frame)))
            fuzz::Fail("a request frame does not encode back to its bytes");
        stream = stream.subspan(consumed);
    }
}

void Replies(std::span<const uint8_t> stream) {
    while (!stream.empty()) {
        ReplyFrame frame;
        size_t consumed = 0;
        const Decode d = decode_reply(stream, frame, consumed);
        if (d != Decode::Ok)
            return;
        if (consumed < kLengthBytes + kReplyHeaderBytes || consumed > stream.size())
            fuzz::Fail("a reply frame was read past its bytes");
        if (!Same(stream.first(consumed), encode_reply(frame)))
            fuzz::Fail("a reply frame does not encode back to its bytes");
        stream = stream.subspan(consumed);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const bool replies = in.flag();
    if (replies)
        Replies(in.rest());
    else
        Requests(in.rest());
    return 0;
}
