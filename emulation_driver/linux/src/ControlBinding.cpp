#include "QuellinLinux/ControlBinding.h"

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
    if (!done)
        return std::nullopt;
    return to_reply(std::move(*done));
}

void ControlBinding::complete(IoRequestId id, IoCompletion completion) {
    if (m_server)
        m_server->complete(id, to_reply(std::move(completion)));
}

} // namespace quellin::os
