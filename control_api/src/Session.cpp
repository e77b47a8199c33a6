#include "AltirenAPI/Session.h"

#include "AltirenAPI/DriverLog.h"
#include "AltirenPlayCheck/BlockBuilder.h"
#include "ControlSocket/ControlClient.h"
#include "platform/Adapters.h"
#include "platform/MMTimer.h"
#include "platform/Registry.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/Checksum.h"
#include "quellin_wire/ControlMessage.h"
#include "quellin_wire/IoControl.h"
#include "quellin_wire/Records.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <new>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace altiren_api {

namespace wire = quellin::wire;
using quellin::ctlsock::ControlClient;
using quellin::ctlsock::Reply;

namespace {

constexpr int kCallTimeoutMs = 10000;
constexpr int kCaptureWaitMs = 50;
constexpr int kIdleRetryMs = 200;
constexpr uint64_t kExtraRecords = 5000;
constexpr uint64_t kExtraEntries = 7000;
constexpr uint64_t kMaxRecordsPerRequest = 5000;
constexpr uint64_t kMaxEntriesPerRequest = 7000;
constexpr int kNoSystemError = -0x20000001;

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\QL";
const char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root\\SH_QUELLIN";

// Driver answers to open, load and play as the caller's result codes.
int map_command_result(int r) {
    switch (r) {
    case 3:
        return NUVEX_RC_VERSION_LOW;
    case 4:
        return NUVEX_RC_VERSION_HIGH;
    case 5:
        return NUVEX_RC_COMMUNICATION;
    case 7:
        return NUVEX_RC_ALREADY_PLAYING;
    default:
        return NUVEX_RC_NO_DRIVER;
    }
}

// The reply's data: no more than the byte count says and the frame carries.
std::span<const uint8_t> reply_data(const Reply& r) {
    size_t n = std::min<size_t>(r.information, r.output.size());
    return std::span<const uint8_t>(r.output.data(), n);
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

struct Session::Buffers {
    uint64_t capacity = 0; // records at which the buffer counts as full
    std::vector<NuvexPacketRecord> records;
    size_t recordCount = 0;
    std::array<std::vector<NuvexPacketListEntry>, 4> lists;
    std::array<size_t, 4> listCounts{};

    void clear() {
        recordCount = 0;
        listCounts = {};
    }
};

Session::Session(SessionConfig config) : m_config(std::move(config)) {}

Session::~Session() {
    if (m_timer)
        platform::mmtimer::killEvent(m_timer);
    m_stopRequested = true;
    m_captureActive = false;
    joinCapture();
}

Session& Session::instance() {
    static Session session;
    return session;
}

bool Session::driverInstalled() const {
    return installed(nullptr);
}

bool Session::installed(std::string* missing) const {
    using platform::registry::Hive;
    platform::registry::Registry reg = m_config.registryRoot.empty()
                                           ? platform::registry::Registry()
                                           : platform::registry::Registry(m_config.registryRoot);
    auto lacks = [&](const std::string& what) {
        if (missing)
            *missing = what;
        return false;
    };
    if (reg.openKey(Hive::LocalMachine, kServiceKey) != platform::registry::kSuccess)
        return lacks(std::string("no key HKEY_LOCAL_MACHINE\\") + kServiceKey);
    if (reg.openKey(Hive::LocalMachine, kEnumKey) != platform::registry::kSuccess)
        return lacks(std::string("no key HKEY_LOCAL_MACHINE\\") + kEnumKey);
    std::string image;
    if (reg.queryString(Hive::LocalMachine, kServiceKey, "ImagePath", image) !=
        platform::registry::kSuccess)
        return lacks("no ImagePath under the service key");
    // The path may be followed by arguments.
    if (file_exists(image) || file_exists(image.substr(0, image.find(' '))))
        return true;
    return lacks("its ImagePath " + image + " is not there");
}

std::string Session::devicePath() const {
    return m_config.devicePath.empty() ? quellin::ctlsock::device_path() : m_config.devicePath;
}

int Session::unreachable(int error) const {
    report_cause(unreachable_cause(devicePath(), error));
    return NUVEX_RC_NO_DRIVER;
}

int Session::notInstalled() const {
    std::string missing;
    installed(&missing);
    platform::registry::Registry reg = m_config.registryRoot.empty()
                                           ? platform::registry::Registry()
                                           : platform::registry::Registry(m_config.registryRoot);
    report_cause(not_installed_cause(reg.root(), missing));
    return NUVEX_RC_NO_DRIVER;
}

int Session::lost(int commandResult) const {
    const uint32_t error = commandResult == kNoSystemError ? 0
                           : commandResult < 0             ? static_cast<uint32_t>(-commandResult)
                                                           : static_cast<uint32_t>(commandResult);
    report_cause(lost_cause(devicePath(), error));
    return NUVEX_RC_NO_DRIVER;
}

std::unique_ptr<ControlClient> Session::openDevice() const {
    auto client = std::make_unique<ControlClient>();
    bool opened = m_config.devicePath.empty() ? client->open() : client->open(m_config.devicePath);
    if (!opened) {
        const int error = errno;
        client.reset();
        errno = error;
        return nullptr;
    }
    return client;
}

int Session::sendCommand(ControlClient& client, uint16_t command, const uint8_t* data,
                         size_t length) {
    wire::ControlMessage message;
    message.command = command;
    message.mode = 1;
    message.dataLength = static_cast<uint32_t>(length);
    message.checksum = length ? wire::internet_checksum(data, length) : 0xFFFF;
    const auto head = message.encode();
    std::vector<uint8_t> input(head.begin(), head.end());
    if (length)
        input.insert(input.end(), data, data + length);

    Reply reply = client.call(wire::kIoctlControl, input, wire::kControlReplySize, kCallTimeoutMs);
    if (!reply.ok()) {
        uint32_t error = reply.error();
        return error ? -static_cast<int>(error) : kNoSystemError;
    }
    auto bytes = reply_data(reply);
    if (bytes.size() < wire::kControlReplySize)
        return kNoSystemError;
    uint16_t result = wire::get_u16(bytes.data(), 10);
    return result != 0 ? result : wire::get_u16(bytes.data(), 12);
}

void Session::chooseAdapter(const PlayParameters& params, PlayBlockValues& block) {
    auto device = openDevice();
    if (!device)
        return; // the play goes on and finds out itself
    block.adapterNumber = 0;
    block.adapterAddress = ntohl(params.adapterAddress);

    Reply count = device->call(wire::kIoctlAdapterCount, {}, 2, kCallTimeoutMs);
    if (!count.ok() || count.system_buffer.size() < 2)
        return;
    const size_t adapters = wire::get_u16(count.system_buffer.data(), 0);
    if (adapters == 0)
        return;
    Reply list =
        device->call(wire::kIoctlAdapterList, {},
                     static_cast<uint32_t>(wire::adapter_list_size(adapters)), kCallTimeoutMs);
    if (!list.ok())
        return;
    auto bytes = reply_data(list);
    auto entries = wire::decode_adapter_list(bytes.data(), bytes.size());
    if (!entries)
        return;
    for (const wire::AdapterListEntry& entry : *entries) {
        // A device name may carry its identifier from the first "{" on; an interface name
        // is its own identifier.
        size_t brace = entry.name.find('{');
        std::string id = brace == std::string::npos ? entry.name : entry.name.substr(brace);
        // An interface without an IPv4 address is at 0.0.0.0, as an adapter without one
        // is known in the registry (the station side of a bump in the wire).
        auto addresses = platform::adapters::query_adapter(id);
        if (!addresses || (addresses->hasIpv4 ? addresses->ipv4 : 0) != params.adapterAddress)
            continue;
        block.adapterNumber = entry.number;
        if (params.adapterAddress != 0)
            block.adapterIpv6 = addresses->ipv6;
        block.adapterName = {};
        std::memcpy(block.adapterName.data(), id.data(),
                    std::min(id.size(), block.adapterName.size()));
        return;
    }
}

int Session::play(const PlayParameters& params) {
    if (!driverInstalled())
        return notInstalled();
    std::lock_guard<std::mutex> lock(m_control);
    PlayBlockValues values;
    chooseAdapter(params, values);
    if (int rc = check_and_convert(params, values))
        return rc;
    const wire::DriverPlayBlock block = build_play_block(values);
    return playSequence(std::vector<uint8_t>(block.data(), block.data() + block.size()));
}

int Session::playSequence(const std::vector<uint8_t>& block) {
    if (!m_device) {
        auto device = openDevice();
        if (!device)
            return NUVEX_RC_COMMUNICATION;
        int r = sendCommand(*device, static_cast<uint16_t>(wire::Command::Open));
        if (r == 7) {
            m_device = std::move(device);
            return map_command_result(r);
        }
        if (r != 0) {
            // A version mismatch leaves the driver's session open: close it first.
            if (r == 3 || r == 4)
                sendCommand(*device, static_cast<uint16_t>(wire::Command::Close));
            device->close();
            const int rc = map_command_result(r);
            return rc == NUVEX_RC_NO_DRIVER ? lost(r) : rc;
        }
        m_device = std::move(device);
    }
    if (m_playing)
        return stopSequence(false);

    joinCapture(); // a capture thread that stopped the emulation itself
    if (!allocateBuffers())
        return NUVEX_RC_NO_MEMORY;
    int r = sendCommand(*m_device, static_cast<uint16_t>(wire::Command::Load), block.data(),
                        block.size());
    if (r == 0)
        r = sendCommand(*m_device, static_cast<uint16_t>(wire::Command::Play));
    if (r != 0) {
        freeBuffers();
        // A lost connection (the daemon went away) never answers again: the next play
        // opens the device afresh instead of failing on it for ever.
        if (r == -static_cast<int>(quellin::ctlsock::kErrorBrokenPipe)) {
            m_device->close();
            m_device.reset();
        }
        const int rc = map_command_result(r);
        return rc == NUVEX_RC_NO_DRIVER ? lost(r) : rc;
    }
    clear_cause();
    // The six requests go out only now that the driver plays.
    m_captureResult = 0;
    m_stopRequested = false;
    m_captureActive = true;
    m_playing = true;
    try {
        m_capture = std::thread(&Session::captureLoop, this);
    } catch (const std::system_error&) {
        // No capture thread: take the emulation back rather than play without one.
        m_captureActive = false;
        stopSequence(false);
        freeBuffers();
        return NUVEX_RC_NO_MEMORY;
    }
    m_timer = platform::mmtimer::setEvent(1000, 0, &Session::onSecond, this, true);
    return 0;
}

int Session::stop() {
    std::lock_guard<std::mutex> lock(m_control);
    return stopSequence(false);
}

void Session::onSecond(unsigned, void* user) {
    auto* self = static_cast<Session*>(user);
    std::lock_guard<std::mutex> lock(self->m_captureLock);
    self->m_secondCounters = self->m_counters;
}

int Session::stopSequence(bool onCaptureThread) {
    int rc = 0;
    if (m_timer) {
        platform::mmtimer::killEvent(m_timer);
        m_timer = 0;
    }
    m_stopRequested = true;
    if (!m_device) {
        report_cause("a stop without a control session: nothing was playing");
        rc = NUVEX_RC_NO_DRIVER;
    } else if (const int r = sendCommand(*m_device, static_cast<uint16_t>(wire::Command::Stop));
               r < 0) {
        rc = lost(r);
    }
    m_captureActive = false;
    if (!onCaptureThread)
        joinCapture();
    // The capture thread is gone (or is this thread and touches nothing more): the
    // buffers, up to most of the memory, are not kept while stopped.
    freeBuffers();
    if (m_device) {
        if (const int r = sendCommand(*m_device, static_cast<uint16_t>(wire::Command::Close));
            r < 0)
            rc = lost(r);
        m_device->close();
        m_device.reset();
    }
    m_playing = false;
    m_stopRequested = false;
    return rc;
}

void Session::stopFromCapture() {
    while (!m_stopRequested) {
        if (m_control.try_lock()) {
            if (!m_stopRequested)
                stopSequence(true);
            m_control.unlock();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Another thread is stopping and waits for this one to end.
}

void Session::joinCapture() {
    if (m_capture.joinable() && m_capture.get_id() != std::this_thread::get_id())
        m_capture.join();
}

int Session::getStatus(uint32_t& emulating) {
    auto device = openDevice();
    if (!device)
        return unreachable(errno);
    Reply r = device->call(wire::kIoctlIsEmulating, {}, 4, kCallTimeoutMs);
    if (!r.ok())
        return 1;
    auto bytes = reply_data(r);
    if (bytes.size() < 4) {
        if (r.system_buffer.size() < 4)
            return 1;
        bytes = std::span<const uint8_t>(r.system_buffer.data(), 4);
    }
    emulating = wire::get_u32(bytes.data(), 0) != 0 ? 1 : 0;
    return 0;
}

int Session::forceDriverReset() {
    if (!driverInstalled())
        return notInstalled();
    uint32_t emulating = 0;
    if (int rc = getStatus(emulating))
        return rc;
    if (!emulating)
        return 0;
    std::lock_guard<std::mutex> lock(m_control);
    if (m_playing || m_device)
        stopSequence(false); // our own session goes first
    auto device = openDevice();
    if (!device)
        return unreachable(errno);
    int stopped = sendCommand(*device, static_cast<uint16_t>(wire::Command::Stop));
    int closed = sendCommand(*device, static_cast<uint16_t>(wire::Command::Close));
    device->close();
    if (stopped < 0 || closed < 0)
        return lost(stopped < 0 ? stopped : closed);
    return 0;
}

bool Session::allocateBuffers() {
    try {
        auto b = std::make_unique<Buffers>();
        b->capacity = packetCapacity(m_bufferSize);
        b->records.resize(b->capacity + kExtraRecords);
        for (auto& list : b->lists)
            list.resize(b->capacity + kExtraEntries);
        std::lock_guard<std::mutex> lock(m_captureLock);
        m_buffers = std::move(b);
        m_counters = {};
        m_haveCounters = false;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

void Session::freeBuffers() {
    std::unique_ptr<Buffers> released;
    std::lock_guard<std::mutex> lock(m_captureLock);
    released = std::move(m_buffers);
}

uint64_t Session::bufferRecords() const {
    std::lock_guard<std::mutex> lock(m_captureLock);
    return m_buffers ? m_buffers->records.size() : 0;
}

void Session::captureLoop() {
    ::setpriority(PRIO_PROCESS, 0, 19); // this thread only: the lowest priority
    ControlClient* device = m_device.get();

    // A completion without any bytes comes from a driver that no longer plays (another
    // client stopped it): such a request is asked again only after a pause, not in a spin.
    using Clock = std::chrono::steady_clock;
    struct Slot {
        uint32_t code;
        uint32_t id = 0;
        Clock::time_point notBefore{};
    };
    std::array<Slot, 6> slots = {Slot{wire::kIoctlCapturedPackets}, Slot{wire::kIoctlPacketList0},
                                 Slot{wire::kIoctlPacketList1},     Slot{wire::kIoctlPacketList2},
                                 Slot{wire::kIoctlPacketList3},     Slot{wire::kIoctlCounters}};

    while (m_captureActive) {
        bool full;
        {
            std::lock_guard<std::mutex> lock(m_captureLock);
            full = m_buffers->recordCount >= m_buffers->capacity;
        }
        if (full && m_bufferMode == 1 && !m_stopRequested) {
            sendCommand(*device, static_cast<uint16_t>(wire::Command::Flush));
            std::lock_guard<std::mutex> lock(m_captureLock);
            m_buffers->clear();
        } else if (full && m_bufferMode == 2 && !m_stopRequested) {
            {
                std::lock_guard<std::mutex> lock(m_captureLock);
                m_buffers->clear();
            }
            stopFromCapture();
            return;
        }

        // Issue every idle request for which there is room.
        if (!m_stopRequested) {
            for (size_t i = 0; i < slots.size(); ++i) {
                if (slots[i].id != 0 || Clock::now() < slots[i].notBefore)
                    continue;
                uint64_t capacity;
                {
                    std::lock_guard<std::mutex> lock(m_captureLock);
                    if (i == 0) {
                        uint64_t room = m_buffers->records.size() - m_buffers->recordCount;
                        uint64_t records = std::min(room, kMaxRecordsPerRequest);
                        capacity = records ? records * wire::kPacketRecordSize + 4 : 0;
                    } else if (i <= 4) {
                        const size_t l = i - 1;
                        uint64_t room = m_buffers->lists[l].size() - m_buffers->listCounts[l];
                        capacity =
                            std::min(room, kMaxEntriesPerRequest) * wire::kPacketListEntrySize;
                    } else {
                        capacity = wire::kDriverCountersSize;
                    }
                }
                if (capacity == 0)
                    continue; // no room: wait for the hand-out
                slots[i].id = device->submit(slots[i].code, {}, static_cast<uint32_t>(capacity));
                if (slots[i].id == 0) {
                    m_captureResult = lost(static_cast<int>(quellin::ctlsock::kErrorBrokenPipe));
                    return;
                }
            }
        }

        std::vector<uint32_t> ids;
        for (const Slot& s : slots)
            if (s.id != 0)
                ids.push_back(s.id);
        if (ids.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kCaptureWaitMs));
            continue;
        }
        uint32_t which = device->wait_any(ids, kCaptureWaitMs);
        if (which == 0)
            continue;
        auto reply = device->poll(which);
        auto slot = std::find_if(slots.begin(), slots.end(),
                                 [which](const Slot& s) { return s.id == which; });
        slot->id = 0;
        if (!reply || !reply->ok()) {
            m_captureResult = lost(reply ? static_cast<int>(reply->error()) : 0);
            return;
        }
        auto data = reply_data(*reply);
        const size_t index = static_cast<size_t>(slot - slots.begin());
        if (data.empty())
            slot->notBefore = Clock::now() + std::chrono::milliseconds(kIdleRetryMs);

        std::lock_guard<std::mutex> lock(m_captureLock);
        Buffers& b = *m_buffers;
        if (index == 0) {
            if (data.size() < 4)
                continue; // no records, not even the time word
            size_t records = (data.size() - 4) / wire::kPacketRecordSize;
            records = std::min(records, b.records.size() - b.recordCount);
            for (size_t r = 0; r < records; ++r) {
                auto rec = wire::PacketRecord::decode(data.data() + r * wire::kPacketRecordSize);
                NuvexPacketRecord& out = b.records[b.recordCount++];
                out.sequence = rec.sequence;
                out.side = rec.side;
                std::memcpy(out.packet, rec.data.data(), sizeof out.packet);
                out.padding[0] = out.padding[1] = 0;
            }
        } else if (index <= 4) {
            const size_t l = index - 1;
            size_t entries = data.size() / wire::kPacketListEntrySize;
            entries = std::min(entries, b.lists[l].size() - b.listCounts[l]);
            for (size_t e = 0; e < entries; ++e) {
                auto entry =
                    wire::PacketListEntry::decode(data.data() + e * wire::kPacketListEntrySize);
                NuvexPacketListEntry& out = b.lists[l][b.listCounts[l]++];
                out.sequence = entry.sequence;
                out.flags = entry.flags;
                out.timeOfDay = entry.timeOfDayMs;
            }
        } else if (data.size() == wire::kDriverCountersSize) {
            auto counters = wire::DriverCounters::decode(data.data());
            std::copy(counters.values.begin(), counters.values.end(), m_counters.begin());
            m_haveCounters = true;
        }
    }
    std::lock_guard<std::mutex> lock(m_captureLock);
    m_buffers->clear();
}

int Session::lastSecondStatistics(uint32_t out[12]) {
    if (!out)
        return NUVEX_RC_NO_DRIVER;
    if (!driverInstalled())
        return notInstalled();
    if (!m_playing)
        return NUVEX_RC_NOT_PLAYING;
    std::lock_guard<std::mutex> lock(m_captureLock);
    const auto& c = m_counters;
    const uint32_t values[12] = {c[13], c[16], c[0], c[1], c[2], c[3],
                                 c[4],  c[5],  c[6], c[7], c[8], c[9]};
    std::memcpy(out, values, sizeof values);
    return 0;
}

int Session::getPacketList(NuvexPacketList& result) {
    if (!m_playing)
        return NUVEX_RC_NOT_PLAYING;
    std::lock_guard<std::mutex> handout(m_handoutLock);
    std::lock_guard<std::mutex> lock(m_captureLock);
    result.records = nullptr;
    result.recordCount = 0;
    for (size_t l = 0; l < 4; ++l) {
        result.lists[l] = nullptr;
        result.listCounts[l] = 0;
    }
    if (!m_buffers)
        return 0;
    Buffers& b = *m_buffers;
    try {
        if (b.recordCount) {
            result.records = new NuvexPacketRecord[b.recordCount];
            std::copy_n(b.records.begin(), b.recordCount, result.records);
            result.recordCount = static_cast<uint32_t>(b.recordCount);
        }
        if (result.listsWanted) {
            for (size_t l = 0; l < 4; ++l) {
                if (!b.listCounts[l])
                    continue;
                result.lists[l] = new NuvexPacketListEntry[b.listCounts[l]];
                std::copy_n(b.lists[l].begin(), b.listCounts[l], result.lists[l]);
                result.listCounts[l] = static_cast<uint32_t>(b.listCounts[l]);
            }
        }
    } catch (const std::bad_alloc&) {
        freePackets(result);
        return NUVEX_RC_NO_MEMORY;
    }
    // Handed out once: the next completion starts the buffers afresh.
    b.clear();
    return 0;
}

void Session::freePackets(NuvexPacketList& result) {
    delete[] result.records;
    result.records = nullptr;
    for (auto& list : result.lists) {
        delete[] list;
        list = nullptr;
    }
}

int Session::setPacketListBufferOptions(uint32_t size, int32_t mode) {
    std::lock_guard<std::mutex> lock(m_control);
    if (m_playing)
        return NUVEX_RC_PLAYING;
    const uint64_t physical =
        uint64_t(::sysconf(_SC_PHYS_PAGES)) * uint64_t(::sysconf(_SC_PAGE_SIZE));
    // A size of 0 would leave no room at all: every capture would count as full.
    if (size == 0 || size > physical * 6 / 10 / 1000)
        return NUVEX_RC_BUFFER_SIZE;
    if (mode < 0 || mode > 2)
        return NUVEX_RC_BUFFER_MODE;
    m_bufferSize = size;
    m_bufferMode = mode;
    return 0;
}

} // namespace altiren_api
