// What the emulation filter dialog ("Filter Definition ") decides without a widget: its
// address rows (at most 10), the Exclude/Include policy and the override flag, Add, Edit
// and Remove with their messages, the enabling of its buttons, and OK, which writes the
// filter with the management server's address left out of an include list when asked.
#pragma once

#include "AltirenClient/EmulationFilter.h"
#include "AltirenClient/Prompt.h"
#include "AltirenUi/IpListModel.h"

#include <functional>
#include <optional>
#include <string>

class CIpFilterDlgModel {
public:
    static constexpr size_t kMaxAddresses = 10;
    static constexpr int kPolicyExclude = 0;
    static constexpr int kPolicyInclude = 1;

    // Asks for one address starting from the given dotted text (the "Enter IP address"
    // dialog); nullopt when cancelled.
    using AddressAsker = std::function<std::optional<std::string>(const std::string& start)>;

    struct ButtonState {
        bool ok = true;
        bool overrideCheck = true;
        bool policy = true;
        bool add = true;
        bool edit = false;
        bool remove = false;
    };

    CIpFilterDlgModel(IPrompt& prompt, AddressAsker ask);

    // The dialog opens over the filter: its rows, policy and override flag.
    void Load(const CEmulationFilter& filter);

    CIpListModel& List() { return m_list; }
    const CIpListModel& List() const { return m_list; }
    int Policy() const { return m_policy; }
    void SetPolicy(int policy) { m_policy = policy; }
    bool Override() const { return m_override; }
    void SetOverride(bool set) { m_override = set; }

    // Locked while an emulation plays.
    void SetLocked(bool locked) { m_locked = locked; }
    ButtonState Buttons() const;

    // The buttons; true when the rows changed.
    bool Add();
    bool Edit();
    bool Remove();

    // OK: true when the dialog closes, with filter written.
    bool OnOK(CEmulationFilter& filter);

private:
    int Tell(UINT textId);

    IPrompt& m_prompt;
    AddressAsker m_ask;
    CIpListModel m_list{kMaxAddresses};
    int m_policy = kPolicyExclude;
    bool m_override = false;
    bool m_locked = false;
};
