// Joins the control device to the control socket: socket requests become I/O requests,
// completions become reply frames, a dropped connection's requests are forgotten. The
// control commands are logged with the client's process id.
#pragma once

#include "ControlSocket/ControlServer.h"
#include "QuellinEdges/Log.h"
#include "QuellinLinux/ControlLog.h"
#include "quellin_control/ControlDevice.h"

namespace quellin::os {

class ControlBinding final : public ctlsock::RequestHandler, public IoCompleter {
public:
    explicit ControlBinding(edges::LogSink log = {}) : m_device(*this), m_log(std::move(log)) {}

    ControlDevice& device() { return m_device; }
    // Completions go to this server from now on.
    void attach(ctlsock::ControlServer* server) { m_server = server; }

    std::optional<ctlsock::Completion> on_request(const ctlsock::Request& request) override;
    void on_discarded(ctlsock::RequestToken token) override { m_device.discard(token); }
    void complete(IoRequestId id, IoCompletion completion) override;

private:
    ControlDevice m_device;
    ctlsock::ControlServer* m_server = nullptr;
    edges::LogSink m_log;
    ControlLog m_commands;
};

} // namespace quellin::os
