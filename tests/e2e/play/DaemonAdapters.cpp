#include "DaemonAdapters.h"

#include "ControlSocket/ControlClient.h"
#include "platform/AccessGroup.h"
#include "platform/Adapters.h"
#include "quellin_wire/ByteOrder.h"
#include "quellin_wire/IoControl.h"
#include "quellin_wire/Records.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace altiren_play {

std::optional<std::vector<DaemonAdapter>> daemon_adapters(std::string& error) {
    using quellin::ctlsock::ControlClient;
    namespace wire = quellin::wire;
    ControlClient client;
    const std::string path = quellin::ctlsock::device_path();
    if (!client.open(path)) {
        const int why = errno;
        error = "the daemon cannot be reached on " + path + ": " + std::strerror(why);
        if (why == EACCES || why == EPERM)
            error += ": the control socket is for " + platform::access_group_advice();
        return std::nullopt;
    }
    auto count = client.call(wire::kIoctlAdapterCount, {}, 2, 5000);
    if (!count.ok() || count.system_buffer.size() < 2) {
        error = "the daemon did not tell its adapters";
        return std::nullopt;
    }
    const size_t n = wire::get_u16(count.system_buffer.data(), 0);
    std::vector<DaemonAdapter> out;
    if (n == 0)
        return out;
    auto list = client.call(wire::kIoctlAdapterList, {},
                            static_cast<uint32_t>(wire::adapter_list_size(n)), 5000);
    const size_t bytes = std::min<size_t>(list.information, list.output.size());
    auto entries = list.ok() ? wire::decode_adapter_list(list.output.data(), bytes) : std::nullopt;
    if (!entries) {
        error = "the daemon did not tell its adapters";
        return std::nullopt;
    }
    for (const auto& e : *entries) {
        DaemonAdapter a;
        a.number = e.number;
        const size_t brace = e.name.find('{');
        a.name = brace == std::string::npos ? e.name : e.name.substr(brace);
        if (auto here = platform::adapters::query_adapter(a.name)) {
            a.present = true;
            a.ipv4 = here->hasIpv4 ? here->ipv4 : 0;
        }
        out.push_back(a);
    }
    return out;
}

} // namespace altiren_play
