#include "AltirenAPI/Nt4Adapters.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>

namespace altiren_api::nt4 {

namespace {

using platform::registry::Hive;
using platform::registry::kSuccess;
using platform::registry::Registry;
using platform::registry::Value;
using platform::registry::ValueType;

const char kNetBtAdapters[] = "SYSTEM\\CurrentControlSet\\Services\\NetBT\\Adapters";
const char kNetworkCards[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";

// A text value as its raw bytes: each string followed by its zero (a multi-string ends
// with one more). Nothing when it cannot be read or is longer than `limit` bytes.
bool read_raw(const Registry& reg, const std::string& key, const std::string& name, size_t limit,
              std::string& raw) {
    Value value;
    if (reg.queryValue(Hive::LocalMachine, key, name, value) != kSuccess)
        return false;
    std::string bytes;
    if (value.type == ValueType::Sz) {
        bytes = value.text;
        bytes.push_back('\0');
    } else if (value.type == ValueType::MultiSz) {
        for (const std::string& s : value.strings) {
            bytes += s;
            bytes.push_back('\0');
        }
        bytes.push_back('\0');
    } else {
        return false;
    }
    if (bytes.size() > limit)
        return false;
    raw = std::move(bytes);
    return true;
}

std::string first_string(const std::string& raw) {
    return std::string(raw.c_str());
}

// One pass over the NetBT adapters. At play (`choosing`), card numbers are looked up and
// each counted entry is compared with `wanted`; the index of the match is returned.
int walk(const Registry& reg, AdapterTable& table, bool choosing, uint32_t wanted,
         uint32_t* cardNumber, uint16_t* index) {
    table = AdapterTable{};
    std::vector<std::string> names;
    if (reg.enumSubkeys(Hive::LocalMachine, kNetBtAdapters, names) != kSuccess)
        return -1;
    for (const std::string& name : names) {
        if (table.count >= kMaxEntries)
            break; // further adapters are ignored
        if (name.rfind("QL_", 0) != 0)
            continue;
        const std::string card = std::string(kNetworkCards) + "\\" + name.back();
        if (reg.openKey(Hive::LocalMachine, card) != kSuccess)
            continue;
        std::string title;
        if (!read_raw(reg, card, "Title", 1000, title))
            continue;
        AdapterEntry& entry = table.entries[table.count];
        entry = AdapterEntry{};
        entry.title = first_string(title).substr(0, 250);
        entry.adapterName = name.substr(0, 30);
        if (choosing) {
            std::string description, service;
            read_raw(reg, card, "Description", 5000, description);
            entry.cardNumber =
                read_raw(reg, card, "ServiceName", 5000, service)
                    ? card_number(reg, first_string(description), first_string(service))
                    : 0;
        }

        const std::string tcpip =
            "SYSTEM\\CurrentControlSet\\Services\\" + name + "\\Parameters\\Tcpip";
        std::string address;
        if (!read_raw(reg, tcpip, "IPAddress", 1500, address))
            continue;
        bool counted = false;
        if (first_string(address) != "0.0.0.0") {
            entry.addressText = address;
            entry.addressLength = static_cast<uint8_t>(address.size());
            std::string mask;
            if (read_raw(reg, tcpip, "SubnetMask", 1500, mask)) {
                entry.maskText = mask;
                entry.maskLength = static_cast<uint8_t>(mask.size());
            }
            counted = true;
        } else {
            uint32_t dhcp = 0;
            std::string dhcpAddress;
            if (reg.queryDword(Hive::LocalMachine, tcpip, "EnableDhcp", dhcp) == kSuccess &&
                dhcp != 0 && read_raw(reg, tcpip, "DhcpIPAddress", 1500, dhcpAddress)) {
                entry.addressText = dhcpAddress;
                entry.addressLength = static_cast<uint8_t>(dhcpAddress.size());
                std::string mask;
                if (read_raw(reg, tcpip, "DhcpSubnetMask", 1500, mask)) {
                    entry.maskText = mask;
                    entry.maskLength = static_cast<uint8_t>(mask.size());
                }
                counted = true;
            }
        }
        if (!counted)
            continue;
        const size_t at = table.count++;
        if (choosing && htonl(first_address(entry.addressText)) == wanted) {
            *cardNumber = entry.cardNumber;
            *index = static_cast<uint16_t>(at);
            return static_cast<int>(at);
        }
    }
    return -1;
}

} // namespace

uint32_t first_address(const std::string& addressText) {
    in_addr a{};
    if (::inet_pton(AF_INET, first_string(addressText).c_str(), &a) != 1)
        return 0;
    return ntohl(a.s_addr);
}

size_t read_adapter_table(const Registry& reg, AdapterTable& table) {
    walk(reg, table, false, 0, nullptr, nullptr);
    return table.count;
}

int choose_adapter(const Registry& reg, AdapterTable& table, uint32_t adapterAddress,
                   uint32_t& cardNumber, uint16_t& index) {
    uint32_t card = cardNumber;
    uint16_t at = index;
    if (walk(reg, table, true, adapterAddress, &card, &at) < 0)
        return NUVEX_RC_ADAPTER_NOT_FOUND;
    cardNumber = card;
    index = at;
    return card != 0 ? 0 : NUVEX_RC_ADAPTER_NOT_FOUND;
}

uint32_t card_number(const Registry& reg, const std::string& description,
                     const std::string& serviceName) {
    std::vector<std::string> cards;
    if (reg.enumSubkeys(Hive::LocalMachine, kNetworkCards, cards) != kSuccess)
        return 0;
    for (const std::string& card : cards) {
        const std::string key = std::string(kNetworkCards) + "\\" + card;
        std::string desc, service;
        read_raw(reg, key, "Description", 1000, desc);
        if (!read_raw(reg, key, "ServiceName", 5000, service))
            continue;
        if (first_string(desc) == description && first_string(service) == serviceName)
            return static_cast<uint32_t>(std::strtoul(card.c_str(), nullptr, 10));
    }
    return 0;
}

void apply_choice(const AdapterTable& table, uint16_t index, uint32_t cardNumber,
                  PlayBlockValues& b) {
    const AdapterEntry& entry = table.entries[index < kMaxEntries ? index : 0];
    b.adapterName = {};
    std::memcpy(b.adapterName.data(), entry.adapterName.data(),
                std::min(entry.adapterName.size(), b.adapterName.size()));
    b.adapterAddress = first_address(entry.addressText);
    b.adapterNumber = static_cast<uint16_t>(cardNumber);
    b.adapterIpv6 = {};
}

} // namespace altiren_api::nt4
