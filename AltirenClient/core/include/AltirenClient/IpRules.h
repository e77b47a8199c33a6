// Address filter rules of the statistics list: IPv4 ranges with an optional port and
// protocol (0 means any), in include and exclude lists. Addresses are host-order
// numbers, the first dotted part in the highest byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CIpPoint {
public:
    CIpPoint() = default;
    CIpPoint(uint32_t address, uint32_t port, uint32_t protocol)
        : m_address(address), m_port(port), m_protocol(protocol) {}
    virtual ~CIpPoint() = default;
    CIpPoint(const CIpPoint&) = default;
    CIpPoint& operator=(const CIpPoint&) = default;

    bool operator==(const CIpPoint& other) const {
        return m_address == other.m_address && m_port == other.m_port &&
               m_protocol == other.m_protocol;
    }

    uint32_t m_address = 0;
    uint32_t m_port = 0;
    uint32_t m_protocol = 0;
};

class CIpRangeRule {
public:
    CIpRangeRule() = default;
    CIpRangeRule(uint32_t first, uint32_t last, uint32_t port, uint32_t protocol)
        : m_first(first), m_last(last), m_port(port), m_protocol(protocol) {}
    virtual ~CIpRangeRule() = default;
    CIpRangeRule(const CIpRangeRule&) = default;
    CIpRangeRule& operator=(const CIpRangeRule&) = default;

    bool operator==(const CIpRangeRule& other) const {
        return m_first == other.m_first && m_last == other.m_last && m_port == other.m_port &&
               m_protocol == other.m_protocol;
    }

    // The address lies in [first, last]; port and protocol match or either side is 0.
    bool Contains(const CIpPoint& point) const;
    // Contains both end points of the other rule (its first and last address with its
    // port and protocol).
    bool Covers(const CIpRangeRule& other) const;

    // The two end points of the range.
    CIpPoint FirstPoint() const { return CIpPoint(m_first, m_port, m_protocol); }
    CIpPoint LastPoint() const { return CIpPoint(m_last, m_port, m_protocol); }

    uint32_t m_first = 0;
    uint32_t m_last = 0;
    uint32_t m_port = 0;
    uint32_t m_protocol = 0;
};

class CIpRuleSet {
public:
    CIpRuleSet() = default;
    virtual ~CIpRuleSet() = default;
    CIpRuleSet(const CIpRuleSet&) = default;
    CIpRuleSet& operator=(const CIpRuleSet&) = default;

    // True when the include list is empty or an include rule contains the point.
    bool IsIncluded(const CIpPoint& point) const;
    // True when an exclude rule contains the point (never with an empty list).
    bool IsExcluded(const CIpPoint& point) const;
    // Not excluded and included.
    bool Passes(const CIpPoint& point) const;

    std::vector<CIpRangeRule> m_include;
    std::vector<CIpRangeRule> m_exclude;
};

// The overlap test for a range about to enter one list, against the other list: a
// range for the exclude list may lie wholly inside an include rule but may not reach
// into one partly; a range for the include list may cover an exclude rule but may not
// have an end point inside one. False when it overlaps.
enum class IpRuleList { Include, Exclude };
bool PassesOverlapTest(const CIpRuleSet& set, IpRuleList target, const CIpRangeRule& range);

// True when two rules of the list are equal.
bool HasDuplicateRules(const std::vector<CIpRangeRule>& rules);

// "a.b.c.d" to a number; each part is read as atoi would and kept to 8 bits. The text
// must hold three dots: parsing stops at the first missing dot with the parts read
// so far in the low bytes.
uint32_t DottedToIp(const char* text);
// The number as "%d.%d.%d.%d", highest byte first.
std::string IpToDotted(uint32_t address);
