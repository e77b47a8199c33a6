#include "AltirenUi/IpFilterDlgModel.h"

#include "AltirenClient/ClientSettings.h"
#include "AltirenClient/ClientTrace.h"
#include "AltirenClient/IpRules.h"
#include "AltirenClient/StringFormat.h"
#include "AltirenClient/StringTable.h"

namespace {
constexpr const char* kClass = "CIpFilterDlg";
constexpr UINT kBoxFlags = MB_OK | MB_ICONEXCLAMATION;
} // namespace

CIpFilterDlgModel::CIpFilterDlgModel(IPrompt& prompt, AddressAsker ask)
    : m_prompt(prompt), m_ask(std::move(ask)) {}

void CIpFilterDlgModel::Load(const CEmulationFilter& filter) {
    m_list.Clear();
    for (const std::string& address : filter.addresses)
        m_list.AddRow({address});
    m_list.Select(0);
    m_policy = filter.mode == kPolicyInclude ? kPolicyInclude : kPolicyExclude;
    m_override = filter.overrideImported;
}

CIpFilterDlgModel::ButtonState CIpFilterDlgModel::Buttons() const {
    ButtonState state;
    state.ok = state.overrideCheck = state.policy = state.add = !m_locked;
    state.edit = state.remove = !m_locked && m_list.Count() > 0;
    return state;
}

int CIpFilterDlgModel::Tell(UINT textId) {
    return ShowClientMessage(m_prompt, textId, IDS_CAPTION_WARNING, kBoxFlags);
}

bool CIpFilterDlgModel::Add() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_list.IsFull()) {
        m_prompt.MessageBox(
            FormatClientString(IDS_TOO_MANY_FILTER_IPS, static_cast<int>(m_list.Limit())),
            LoadClientString(IDS_CAPTION_WARNING), kBoxFlags);
        return false;
    }
    std::string start = "0.0.0.0";
    for (;;) {
        std::optional<std::string> address = m_ask ? m_ask(start) : std::nullopt;
        if (!address)
            return false;
        const int existing = m_list.Find(*address);
        if (existing < 0) {
            m_list.AddRow({*address});
            m_list.Select(static_cast<int>(m_list.Count()) - 1);
            return true;
        }
        m_list.Select(existing);
        m_prompt.MessageBox(FormatClientString(IDS_IP_ALREADY_LISTED, address->c_str()),
                            LoadClientString(IDS_CAPTION_WARNING), kBoxFlags);
        start = *address;
    }
}

bool CIpFilterDlgModel::Edit() {
    CLIENT_TRACE_ENTERED(kClass);
    const int row = m_list.SelectedOrTell(m_prompt);
    if (row < 0)
        return false;
    std::string start = m_list.Text(static_cast<size_t>(row));
    for (;;) {
        std::optional<std::string> address = m_ask ? m_ask(start) : std::nullopt;
        if (!address)
            return false;
        const int existing = m_list.Find(*address);
        if (existing < 0 || existing == row) {
            m_list.Select(row);
            m_list.ReplaceSelected({*address});
            return true;
        }
        m_prompt.MessageBox(FormatClientString(IDS_IP_ALREADY_LISTED, address->c_str()),
                            LoadClientString(IDS_CAPTION_WARNING), kBoxFlags);
        start = *address;
    }
}

bool CIpFilterDlgModel::Remove() {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_list.SelectedOrTell(m_prompt) < 0)
        return false;
    return m_list.DeleteSelected();
}

bool CIpFilterDlgModel::OnOK(CEmulationFilter& filter) {
    CLIENT_TRACE_ENTERED(kClass);
    if (m_policy == kPolicyInclude && m_list.Count() == 0) {
        Tell(IDS_INCLUDE_LIST_EMPTY);
        return false;
    }
    // The server's address as a dotted number: the setting may name a host (and a port),
    // which a row never matches as text.
    CClientSettings settings;
    std::string server;
    const bool haveServer = settings.bGetServerIP(server, true);
    const bool excludeServer = settings.IsExcludeServerIP();

    filter.addresses.clear();
    filter.overrideImported = m_override;
    filter.mode = m_policy;
    for (const CIpListModel::Row& row : m_list.Rows()) {
        const std::string& address = row.cells.front();
        if (m_policy == kPolicyInclude && excludeServer && haveServer &&
            DottedToIp(address.c_str()) == DottedToIp(server.c_str())) {
            const int answer =
                ShowClientMessage(m_prompt, IDS_SERVER_IP_IN_FILTER, IDS_CAPTION_WARNING,
                                  MB_OKCANCEL | MB_ICONEXCLAMATION);
            if (answer == IDOK)
                continue;
            filter.addresses.clear();
            break;
        }
        filter.addresses.push_back(address);
    }
    if (filter.addresses.empty())
        filter.mode = kPolicyExclude;
    return true;
}
