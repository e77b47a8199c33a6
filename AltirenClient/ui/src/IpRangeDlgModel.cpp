#include "AltirenUi/IpRangeDlgModel.h"

#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"

#include <cctype>

namespace {

constexpr uint32_t kMaxProtocol = 255;
constexpr uint32_t kMaxPort = 65535;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::optional<uint32_t> ReadDecimal(const std::string& digits, uint32_t high) {
    if (digits.empty() || digits.size() > 10)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > high)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

} // namespace

const std::vector<CIpRangeDlgModel::Protocol>& CIpRangeDlgModel::Protocols() {
    static const std::vector<Protocol> list = {
        {"*", 0},         {"1 - ICMP ", 1},  {"6 - TCP\\IP", 6},   {"8 - EGP ", 8},
        {"17 - UDP", 17}, {"37 - DDP ", 37}, {"115 - L2TP ", 115},
    };
    return list;
}

std::optional<uint32_t> CIpRangeDlgModel::ProtocolFromText(const std::string& text) {
    const std::string typed = Trim(text);
    for (const Protocol& entry : Protocols())
        if (typed == Trim(entry.text))
            return entry.number;
    return ReadDecimal(typed.substr(0, typed.find(' ')), kMaxProtocol);
}

std::string CIpRangeDlgModel::TextForProtocol(uint32_t protocol) {
    if (protocol == 0)
        return Protocols().front().text;
    const std::string prefix = std::to_string(protocol) + " ";
    for (const Protocol& entry : Protocols())
        if (std::string(entry.text).compare(0, prefix.size(), prefix) == 0)
            return entry.text;
    return std::to_string(protocol);
}

CIpRangeDlgModel::CIpRangeDlgModel(bool editMode, const CIpRangeRule& start)
    : m_bEditMode(editMode), m_start(editMode ? start : CIpRangeRule()) {
    m_protocolText = TextForProtocol(m_start.m_protocol);
    m_portText = std::to_string(m_start.m_port);
    FollowProtocol(m_start.m_protocol);
}

void CIpRangeDlgModel::FollowProtocol(std::optional<uint32_t> protocol) {
    m_bPortEnabled = protocol && PortAppliesTo(*protocol);
    if (!m_bPortEnabled)
        m_portText = "0";
}

void CIpRangeDlgModel::OnProtocolChosen(size_t entry) {
    if (entry >= Protocols().size())
        return;
    m_protocolText = Protocols()[entry].text;
    FollowProtocol(Protocols()[entry].number);
}

void CIpRangeDlgModel::OnProtocolTyped(const std::string& text) {
    m_protocolText = text;
    FollowProtocol(ProtocolFromText(text));
}

std::optional<CIpRangeRule> CIpRangeDlgModel::OnOK(IPrompt& prompt, uint32_t first, uint32_t last) {
    const std::optional<uint32_t> protocol = ProtocolFromText(m_protocolText);
    if (!protocol) {
        TellIntegerRange(prompt, 0, kMaxProtocol);
        return std::nullopt;
    }
    const std::optional<uint32_t> port =
        m_bPortEnabled ? ReadUnsignedField(m_portText, 0, kMaxPort) : std::optional<uint32_t>(0);
    if (!port) {
        TellIntegerRange(prompt, 0, kMaxPort);
        return std::nullopt;
    }
    const UINT flags = MB_OK | MB_ICONEXCLAMATION;
    if (first == 0 || last == 0) {
        ShowClientMessage(prompt, IDS_NON_ZERO_IP, IDS_INVALID_RANGE_CAPTION, flags);
        return std::nullopt;
    }
    if (first > last) {
        ShowClientMessage(prompt, IDS_RANGE_ORDER, IDS_INVALID_RANGE_CAPTION, flags);
        return std::nullopt;
    }
    // Field by field: the constructor takes the port before the protocol.
    CIpRangeRule rule;
    rule.m_first = first;
    rule.m_last = last;
    rule.m_protocol = *protocol;
    rule.m_port = *port;
    return rule;
}

void TellIntegerRange(IPrompt& prompt, long low, long high) {
    prompt.MessageBox(
        FormatClientString(IDS_INTEGER_RANGE, static_cast<int>(low), static_cast<int>(high)),
        LoadClientString(IDS_CAPTION_WARNING), MB_OK | MB_ICONEXCLAMATION);
}

std::optional<uint32_t> ReadUnsignedField(const std::string& text, uint32_t low, uint32_t high) {
    const std::optional<uint32_t> value = ReadDecimal(Trim(text), high);
    if (!value || *value < low)
        return std::nullopt;
    return value;
}
