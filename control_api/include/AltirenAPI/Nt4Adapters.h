// Adapter table of the NT 4 family, read from the registry: the NetBT adapter list names
// the driver's adapters ("QL_..."), the NetworkCards list gives their titles and card
// numbers, and each adapter's TCP/IP parameters give its IPv4 address.
#pragma once

#include "AltirenPlayCheck/PlayCheck.h"
#include "platform/Registry.h"

#include <array>
#include <cstdint>
#include <string>

namespace altiren_api::nt4 {

constexpr size_t kMaxEntries = 10;

struct AdapterEntry {
    std::string title;       // up to 250 bytes
    std::string adapterName; // up to 30 bytes
    std::string addressText; // raw value: strings each ended by a zero
    std::string maskText;
    uint8_t addressLength = 0; // low 8 bits of the byte counts as read
    uint8_t maskLength = 0;
    uint32_t cardNumber = 0;
};

struct AdapterTable {
    std::array<AdapterEntry, kMaxEntries> entries{};
    size_t count = 0;
};

// The walk without card numbers and comparisons; returns the number of entries filled.
size_t read_adapter_table(const platform::registry::Registry& reg, AdapterTable& table);

// The walk at play: fills `table` afresh and stops at the first entry whose address equals
// `adapterAddress` (network order). 0 when it matched with a non-zero card number; 72
// when nothing matched (outputs untouched) or the card number is 0.
int choose_adapter(const platform::registry::Registry& reg, AdapterTable& table,
                   uint32_t adapterAddress, uint32_t& cardNumber, uint16_t& index);

// Number of the first NetworkCards entry with this description and service name; 0 when
// none has them.
uint32_t card_number(const platform::registry::Registry& reg, const std::string& description,
                     const std::string& serviceName);

// First dotted-decimal string of an address text, in host order; 0 when it does not parse.
uint32_t first_address(const std::string& addressText);

// The block's adapter fields from the choice: name (cut to 20), address, card number.
void apply_choice(const AdapterTable& table, uint16_t index, uint32_t cardNumber,
                  PlayBlockValues& b);

} // namespace altiren_api::nt4
