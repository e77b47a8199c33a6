// What the range dialog ("Add IP Range" / "Edit IP Range") decides without a widget: the
// protocol list and its texts, protocol text to number and back, the port's enabling, and
// the checks of OK that make the range rule.
#pragma once

#include "AltirenClient/IpRules.h"
#include "AltirenClient/Prompt.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CIpRangeDlgModel {
public:
    struct Protocol {
        const char* text;
        uint32_t number;
    };
    // The drop-down's entries in order, texts as the list shows them.
    static const std::vector<Protocol>& Protocols();

    // A text equal to a whole entry (blanks around either trimmed) takes its number;
    // otherwise the decimal number up to the first blank. Nullopt when that is no number
    // or lies beyond 255.
    static std::optional<uint32_t> ProtocolFromText(const std::string& text);
    // 0 is "*"; a number with an entry starting with it and a blank shows that entry;
    // any other the bare number.
    static std::string TextForProtocol(uint32_t protocol);
    // The port applies to TCP and UDP only.
    static bool PortAppliesTo(uint32_t protocol) { return protocol == 6 || protocol == 17; }

    explicit CIpRangeDlgModel(bool editMode, const CIpRangeRule& start = CIpRangeRule());

    bool IsEditMode() const { return m_bEditMode; }
    const char* Caption() const { return m_bEditMode ? "Edit IP Range" : "Add IP Range"; }
    const CIpRangeRule& Start() const { return m_start; }

    // The port edit follows the protocol: enabled for 6 and 17, else 0 and disabled.
    bool PortEnabled() const { return m_bPortEnabled; }
    const std::string& PortText() const { return m_portText; }
    void SetPortText(const std::string& text) { m_portText = text; }
    void OnProtocolChosen(size_t entry);
    void OnProtocolTyped(const std::string& text);
    const std::string& ProtocolText() const { return m_protocolText; }

    // OK with the two addresses (host order): the checks with their messages, then the
    // rule; nullopt keeps the dialog open.
    std::optional<CIpRangeRule> OnOK(IPrompt& prompt, uint32_t first, uint32_t last);

private:
    void FollowProtocol(std::optional<uint32_t> protocol);

    bool m_bEditMode;
    CIpRangeRule m_start;
    std::string m_protocolText;
    std::string m_portText;
    bool m_bPortEnabled = false;
};

// The message of a number outside [low, high] in a dialog's field.
void TellIntegerRange(IPrompt& prompt, long low, long high);
// Reads an unsigned decimal number in [low, high] from a field's text (blanks around it
// allowed); nullopt otherwise.
std::optional<uint32_t> ReadUnsignedField(const std::string& text, uint32_t low, uint32_t high);
