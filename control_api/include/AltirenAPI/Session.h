// The library's one link to the driver: the device connection, the play and stop
// sequences, and the capture thread that keeps six requests pending in the driver and
// gathers what they bring back.
#pragma once

#include "AltirenAPI.h"
#include "AltirenPlayCheck/PlayCheck.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quellin::ctlsock {
class ControlClient;
}

namespace altiren_api {

// Where the session finds the driver. Tests point these elsewhere.
struct SessionConfig {
    std::string devicePath;   // empty: QL_DEVICE, else the default socket path
    std::string registryRoot; // empty: ALTIREN_REGISTRY_ROOT, else the default root
};

class Session {
public:
    explicit Session(SessionConfig config = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    static Session& instance();

    bool driverInstalled() const;
    int play(const PlayParameters& params);
    int stop();
    int getStatus(uint32_t& emulating);
    int forceDriverReset();
    int lastSecondStatistics(uint32_t out[12]);
    int getPacketList(NuvexPacketList& result);
    static void freePackets(NuvexPacketList& result);
    int setPacketListBufferOptions(uint32_t size, int32_t mode);

    // Records at which the captured-packet buffer counts as full: size × 1,000 bytes over
    // 116 bytes per packet (a record and four list entries), in 64 bits.
    static uint64_t packetCapacity(uint32_t size) { return uint64_t{size} * 1000 / 116; }

    bool playing() const { return m_playing; }
    // Records the capture buffers hold room for; 0 when none are allocated.
    uint64_t bufferRecords() const;
    // Result the capture thread ended with (0 while it runs or when it ended normally).
    int captureResult() const { return m_captureResult; }

    // Sends one control message (command with optional data) over `client`: the reply's
    // result, or a negative error when the request failed.
    static int sendCommand(quellin::ctlsock::ControlClient& client, uint16_t command,
                           const uint8_t* data = nullptr, size_t length = 0);

private:
    struct Buffers;

    // On failure errno tells why.
    std::unique_ptr<quellin::ctlsock::ControlClient> openDevice() const;
    // The -1 answers, with their cause written to the system log.
    int unreachable(int error) const;
    int notInstalled() const;
    int lost(int commandResult) const;
    std::string devicePath() const;
    bool installed(std::string* missing) const;
    void chooseAdapter(const PlayParameters& params, PlayBlockValues& block);
    int playSequence(const std::vector<uint8_t>& block);
    int stopSequence(bool onCaptureThread);
    bool allocateBuffers();
    void freeBuffers();
    void joinCapture();
    void captureLoop();
    // Mode 2: the buffer filled up; stop the emulation from the capture thread.
    void stopFromCapture();
    static void onSecond(unsigned id, void* user);

    SessionConfig m_config;
    std::mutex m_control; // play, stop, reset, options
    std::unique_ptr<quellin::ctlsock::ControlClient> m_device;

    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_captureActive{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<int> m_captureResult{0};
    std::thread m_capture;

    mutable std::mutex m_captureLock; // buffers and counters
    std::mutex m_handoutLock;
    std::unique_ptr<Buffers> m_buffers;
    std::array<uint32_t, 19> m_counters{};
    bool m_haveCounters = false;

    unsigned m_timer = 0; // one-second timer while playing
    std::array<uint32_t, 19> m_secondCounters{};

    uint32_t m_bufferSize = 6000; // units of 1,000 bytes
    std::atomic<int32_t> m_bufferMode{1};
};

} // namespace altiren_api
