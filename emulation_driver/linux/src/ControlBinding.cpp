#include "QuellinLinux/ControlBinding.h"

#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/IoControl.h"

namespace quellin::os {

namespace {
ctlsock::Completion to_reply(IoCompletion&& c) {
    ctlsock::Completion reply;
    reply.status = c.status;
    reply.information = c.information;
    reply.output = std::move(c.output);
    reply.system_buffer = std::move(c.systemBuffer);
    return reply;
}
} // namespace

std::optional<ctlsock::Completion> ControlBinding::on_request(const ctlsock::Request& request) {
    std::optional<IoCompletion> done =
        m_device.dispatch({request.token, request.code, request.input, request.output_capacity});
    if (m_log && done && request.code == wire::kIoctlControl && done->output.size() >= 14) {
        if (auto m = wire::ControlMessage::decode(request.input.data(), request.input.size())) {
            // The block travels behind the message; only what the message counts is its.
            const size_t behind = request.input.size() - wire::kControlMessageSize;
            const size_t data = m->dataLength <= behind ? m->dataLength : 0;
            const uint16_t result = wire::get_u16(done->output.data(), 10);
            if (auto line = m_commands.on_command(
                    request.client_pid, request.connection, m->command,
                    data ? request.input.data() + wire::kControlMessageSize : nullptr, data,
                    result))
                m_log(edges::kLogInfo, *line);
        }
    }
    if (!done)
        return std::nullopt;
    return to_reply(std::move(*done));
}

void ControlBinding::complete(IoRequestId id, IoCompletion completion) {
    if (m_server)
        m_server->complete(id, to_reply(std::move(completion)));
}

} // namespace quellin::os
