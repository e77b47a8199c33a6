// The process-wide table of the network adapters the driver serves: at most ten, each
// with its description, service name, IPv4 address and mask, DHCP flag and adapter name,
// every text held to its field length. An address of "0.0.0.0" counts as none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AdapterEntry {
    std::string description;
    std::string serviceName;
    std::string ipAddress;
    std::string subnetMask;
    uint16_t dhcp = 0;
    std::string adapterName;
};

class CAdapterTable {
public:
    static constexpr size_t kMaxAdapters = 10;
    // Field sizes, the terminating zero included.
    static constexpr size_t kDescriptionSize = 250;
    static constexpr size_t kServiceNameSize = 30;
    static constexpr size_t kAddressSize = 1500;
    static constexpr size_t kAdapterNameSize = 250;

    void Clear() { m_entries.clear(); }
    // Adds the entry cut to the field sizes; false (nothing added) when the table is full.
    bool Add(AdapterEntry entry);
    size_t Count() const { return m_entries.size(); }
    const AdapterEntry& At(size_t index) const { return m_entries.at(index); }
    // The IP addresses in table order, as the usable-adapter queries take them.
    std::vector<std::string> Addresses() const;

private:
    std::vector<AdapterEntry> m_entries;
};

// Where the table's adapters come from: the driver's list of bound adapters and each
// adapter's addresses.
class IAdapterSource {
public:
    virtual ~IAdapterSource() = default;
    // The names of the driver's adapters in its order; false when the driver's control
    // device cannot be opened or asked.
    virtual bool ListDriverAdapters(std::vector<std::string>& names) = 0;
    // Fills description, service name, addresses and DHCP flag of the adapter whose
    // identifier is id; false when it has none (the entry keeps what it has).
    virtual bool QueryAdapter(const std::string& id, AdapterEntry& entry) = 0;
};

// The adapters of an NT 5 class system: the driver's adapters, each name taken from its
// first "{" on (a name without one is its own identifier), with their addresses. The
// table gets the first ten; the result is the number of adapters found, -1 when the
// driver cannot be asked.
int FindAdapters2000(IAdapterSource& source, CAdapterTable& table);

// Over the driver's control device and the interfaces of this machine.
class CDriverAdapterSource : public IAdapterSource {
public:
    bool ListDriverAdapters(std::vector<std::string>& names) override;
    bool QueryAdapter(const std::string& id, AdapterEntry& entry) override;
};
