#include "QuellinLinux/ControlLog.h"

#include "quellin_wire/ControlMessage.h"

#include <algorithm>
#include <cstdio>

namespace quellin::os {

namespace {

std::string bandwidth(uint32_t hundredsOfBits) {
    if (hundredsOfBits == wire::pb::kUnlimitedBandwidth)
        return "unlimited";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f kbit/s", hundredsOfBits / 10.0);
    return text;
}

std::string percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %%", value);
    return text;
}

std::string ipv4(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

std::string loss(const wire::DriverPlayBlock& b) {
    switch (b.lossType()) {
    case 0:
        return "none";
    case 1:
        return "one in " + std::to_string(b.lossEvery() + 1);
    case 2:
        return "random " + percent(b.lossRandomly() / 100.0);
    case 3:
        return "bursts of " + std::to_string(b.burstMin()) + "-" + std::to_string(b.burstMax()) +
               " at " + percent(b.burstChance() / 100.0);
    case 4:
    case 5:
        return "recorded (" + std::to_string(b.sampleCount()) + " samples)";
    case 6:
        return "Gilbert-Elliott";
    default:
        return "type " + std::to_string(b.lossType());
    }
}

const char* command_name(uint16_t command) {
    switch (static_cast<wire::Command>(command)) {
    case wire::Command::Open:
        return "opens the control session";
    case wire::Command::Close:
        return "closes the control session";
    case wire::Command::Load:
        return "loads a play block";
    case wire::Command::Stop:
        return "stops the emulation";
    case wire::Command::Play:
        return "plays";
    default:
        return nullptr;
    }
}

} // namespace

std::string describe_conditions(const wire::DriverPlayBlock& b) {
    std::string s = "adapter " + std::to_string(b.adapterNumber());
    if (b.adapterAddress() != 0)
        s += " (" + ipv4(b.adapterAddress()) + ")";
    s += ", delay " + std::to_string(b.minDelay()) + "-" + std::to_string(b.maxDelay()) +
         " ms (type " + std::to_string(b.delayType()) + ")";
    s += ", East out " + bandwidth(b.eastOut()) + " in " + bandwidth(b.eastIn());
    s += ", West out " + bandwidth(b.westOut()) + " in " + bandwidth(b.westIn());
    s += ", loss " + loss(b);
    if (b.duplicationChance())
        s += ", duplication " + std::to_string(b.duplicationChance()) + " %";
    if (b.outOfOrderChance())
        s += ", reordering " + std::to_string(b.outOfOrderChance()) + " %";
    if (b.bitErrorChance())
        s += ", bit errors 1 in " + std::to_string(b.bitErrorChance());
    if (b.fragmentationChance())
        s += ", fragmentation at " + std::to_string(b.maxTransmitionUnit());
    if (b.disconnectTimeChance())
        s += ", disconnects " + std::to_string(b.disconnectTimeChance()) + " %";
    if (b.congestionTimeChance())
        s += ", congestion " + std::to_string(b.congestionTimeChance()) + " %";
    if (b.filterCount()) {
        s += ", " + std::to_string(b.filterCount()) + " filter entr" +
             (b.filterCount() == 1 ? "y" : "ies") +
             (b.filterMode() == 1 ? " (include)" : " (exclude)");
        // The addresses, a range as first-last.
        const uint32_t shown = std::min<uint32_t>(b.filterCount(), wire::pb::kMaxFilterEntries);
        for (uint32_t i = 0; i < shown; ++i) {
            const wire::FilterEntry e = b.filterEntry(i);
            s += (i == 0 ? ": " : ", ") + ipv4(e.firstAddress);
            if (e.lastAddress != e.firstAddress)
                s += "-" + ipv4(e.lastAddress);
        }
    }
    return s;
}

std::optional<std::string> ControlLog::on_command(int32_t pid, uint64_t connection,
                                                  uint16_t command, const uint8_t* data,
                                                  size_t dataLength, uint16_t result) {
    const char* what = command_name(command);
    if (!what)
        return std::nullopt;
    const std::string who = "client " + std::to_string(pid) + " ";
    const auto c = static_cast<wire::Command>(command);
    if (result != 0)
        return who + what + ": refused with result " + std::to_string(result);
    switch (c) {
    case wire::Command::Open:
        m_sessionConnection = connection;
        m_sessionPid = pid;
        break;
    case wire::Command::Load:
        m_loaded = data && dataLength >= wire::pb::kFixedSize
                       ? describe_conditions(wire::DriverPlayBlock::from_bytes(data, dataLength))
                       : std::string();
        return std::nullopt; // said with the play that follows
    case wire::Command::Play:
        return who + "plays: " + (m_loaded.empty() ? "no block loaded" : m_loaded);
    case wire::Command::Stop:
        // From outside the session: a reset of what another client left playing.
        if (m_sessionConnection != 0 && connection != m_sessionConnection)
            return who + "resets the driver: stops the emulation of the session of client " +
                   std::to_string(m_sessionPid);
        break;
    case wire::Command::Close:
        if (connection != m_sessionConnection && m_sessionConnection != 0) {
            const std::string line = who + "resets the driver: closes the session of client " +
                                     std::to_string(m_sessionPid);
            m_sessionConnection = 0;
            return line;
        }
        m_sessionConnection = 0;
        break;
    default:
        break;
    }
    return who + what;
}

} // namespace quellin::os
