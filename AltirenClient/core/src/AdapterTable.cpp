#include "AltirenClient/AdapterTable.h"

#include "AltirenClient/ClientTrace.h"

#include <ControlSocket/ControlClient.h>
#include <platform/Adapters.h>
#include <quellin_wire/IoControl.h>
#include <quellin_wire/Records.h>

#include <algorithm>
#include <arpa/inet.h>

namespace {

constexpr const char* kClass = "CAltirenClientApp";
constexpr int kDeviceTimeoutMs = 5000;

void Cut(std::string& text, size_t size) {
    if (text.size() > size - 1)
        text.resize(size - 1);
}

std::string Dotted(uint32_t networkOrder) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = networkOrder;
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

} // namespace

bool CAdapterTable::Add(AdapterEntry entry) {
    if (m_entries.size() >= kMaxAdapters)
        return false;
    Cut(entry.description, kDescriptionSize);
    Cut(entry.serviceName, kServiceNameSize);
    Cut(entry.ipAddress, kAddressSize);
    Cut(entry.subnetMask, kAddressSize);
    Cut(entry.adapterName, kAdapterNameSize);
    if (entry.ipAddress == "0.0.0.0")
        entry.ipAddress.clear();
    m_entries.push_back(std::move(entry));
    return true;
}

std::vector<std::string> CAdapterTable::Addresses() const {
    std::vector<std::string> addresses;
    addresses.reserve(m_entries.size());
    for (const AdapterEntry& entry : m_entries)
        addresses.push_back(entry.ipAddress);
    return addresses;
}

int FindAdapters2000(IAdapterSource& source, CAdapterTable& table) {
    CLIENT_TRACE_ENTERED(kClass);
    table.Clear();
    std::vector<std::string> names;
    if (!source.ListDriverAdapters(names)) {
        CLIENT_TRACE(CSTrace::eError, "Failed to open the driver's control device", kClass);
        return -1;
    }
    for (const std::string& name : names) {
        const size_t brace = name.find('{');
        AdapterEntry entry;
        entry.adapterName = brace == std::string::npos ? name : name.substr(brace);
        if (!source.QueryAdapter(entry.adapterName, entry)) {
            std::string text = "Failed to read the addresses of adapter " + entry.adapterName;
            CLIENT_TRACE(CSTrace::eError, text.c_str(), kClass);
        }
        table.Add(std::move(entry));
    }
    CLIENT_TRACE_EXITED(kClass);
    return static_cast<int>(table.Count());
}

bool CDriverAdapterSource::ListDriverAdapters(std::vector<std::string>& names) {
    namespace wire = quellin::wire;
    quellin::ctlsock::ControlClient device;
    if (!device.open())
        return false;
    quellin::ctlsock::Reply count = device.call(wire::kIoctlAdapterCount, {}, 2, kDeviceTimeoutMs);
    if (!count.ok() || count.system_buffer.size() < 2) {
        device.close();
        return false;
    }
    const size_t adapters = count.system_buffer[0] | (count.system_buffer[1] << 8);
    names.clear();
    if (adapters == 0) {
        device.close();
        return true;
    }
    quellin::ctlsock::Reply list =
        device.call(wire::kIoctlAdapterList, {},
                    static_cast<uint32_t>(wire::adapter_list_size(adapters)), kDeviceTimeoutMs);
    device.close();
    if (!list.ok())
        return false;
    const size_t length = std::min<size_t>(list.information, list.output.size());
    auto entries = wire::decode_adapter_list(list.output.data(), length);
    if (!entries)
        return false;
    for (const wire::AdapterListEntry& entry : *entries)
        names.push_back(entry.name);
    return true;
}

bool CDriverAdapterSource::QueryAdapter(const std::string& id, AdapterEntry& entry) {
    auto addresses = platform::adapters::query_adapter(id);
    if (!addresses)
        return false;
    // An interface has no description of its own: its name stands for it.
    entry.description = id;
    entry.serviceName = id;
    if (addresses->hasIpv4) {
        entry.ipAddress = Dotted(addresses->ipv4);
        entry.subnetMask = Dotted(addresses->ipv4Mask);
    }
    // The interface's address is the one in use, however it was given.
    entry.dhcp = 0;
    return true;
}
