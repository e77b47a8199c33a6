// The caller's side of the control device: one connection to the daemon's control socket.
// Requests are answered in any order; several threads may call at once (one may wait for a
// pending request while another makes synchronous calls). Opening and closing are not
// concurrent with other calls.
#pragma once

#include "ControlSocket/DevicePath.h"
#include "ControlSocket/Frame.h"
#include "ControlSocket/Status.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>

namespace quellin::ctlsock {

// A reply as the caller sees it. For buffered codes (transfer type 0, the low two bits of
// the code) the system buffer is also copied to the output, up to the byte count and the
// capacity, as the caller's output buffer would receive it. Transport failures come as statuses of
// their own: kStatusInvalidHandle (not open), kStatusPipeBroken (connection lost),
// kStatusIoTimeout.
struct Reply {
    uint32_t status = kStatusSuccess;
    uint32_t information = 0; // byte count
    Bytes system_buffer;
    Bytes output;

    bool ok() const { return status_succeeded(status); }
    uint32_t error() const { return win32_error_from_status(status); }
};

class ControlClient {
public:
    ControlClient() = default;
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    // Connects to the control socket; false with errno set when it cannot.
    bool open(const std::string& path = device_path());
    void close();
    bool is_open() const { return m_fd >= 0; }

    // Sends a request and waits for its reply; timeout_ms < 0 waits for ever.
    Reply call(uint32_t code, std::span<const uint8_t> input, uint32_t output_capacity,
               int timeout_ms = -1);

    // Sends a request and returns at once with its id (never 0); 0 when it was not sent.
    uint32_t submit(uint32_t code, std::span<const uint8_t> input, uint32_t output_capacity);
    // The reply of a submitted request once it has arrived; reads what the socket holds
    // without waiting. A reply is handed out once.
    std::optional<Reply> poll(uint32_t id);
    // Waits up to timeout_ms (< 0: for ever) until one of ids has its reply; gives that id
    // (the reply stays until polled) or 0.
    uint32_t wait_any(std::span<const uint32_t> ids, int timeout_ms);

private:
    bool send_frame(const Bytes& bytes);
    void pump(std::unique_lock<std::mutex>& lock, int timeout_ms);
    void fail_outstanding(uint32_t status);
    bool ready_any(std::span<const uint32_t> ids, uint32_t& which) const;

    int m_fd = -1;
    std::mutex m_send_mutex;
    std::mutex m_mutex; // guards everything below
    std::condition_variable m_cv;
    bool m_reading = false; // one thread reads the socket at a time
    bool m_broken = false;
    uint32_t m_next_id = 1;
    Bytes m_in; // touched only by the thread that reads
    struct Outstanding {
        uint32_t code = 0;
        uint32_t output_capacity = 0;
    };
    std::map<uint32_t, Outstanding> m_outstanding;
    std::map<uint32_t, Reply> m_ready;
};

} // namespace quellin::ctlsock
