#include "AltirenUi/IpListModel.h"

#include "AltirenClient/IpRules.h"

#include <algorithm>

namespace {
// Flipped by every header click of every address list.
bool g_sortAscending = true;
const std::string kEmpty;
} // namespace

bool CIpListModel::NextSortAscending() {
    return g_sortAscending;
}

void CIpListModel::ResetSortDirection() {
    g_sortAscending = true;
}

const std::string& CIpListModel::Text(size_t row, size_t column) const {
    if (row >= m_rows.size() || column >= m_rows[row].cells.size())
        return kEmpty;
    return m_rows[row].cells[column];
}

CIpListModel::Row CIpListModel::MakeRow(const std::vector<std::string>& cells) {
    Row row;
    row.cells = cells;
    row.data = cells.empty() ? 0 : DottedToIp(cells.front().c_str());
    return row;
}

bool CIpListModel::AddRow(const std::vector<std::string>& cells) {
    if (IsFull())
        return false;
    m_rows.push_back(MakeRow(cells));
    return true;
}

bool CIpListModel::ReplaceSelected(const std::vector<std::string>& cells) {
    if (m_selected < 0)
        return false;
    m_rows[static_cast<size_t>(m_selected)] = MakeRow(cells);
    return true;
}

bool CIpListModel::DeleteSelected() {
    if (m_selected < 0)
        return false;
    const int row = m_selected;
    m_rows.erase(m_rows.begin() + row);
    m_selected = -1;
    Select(row);
    return true;
}

void CIpListModel::Clear() {
    m_rows.clear();
    m_selected = -1;
}

int CIpListModel::Find(const std::string& text, size_t column, size_t start) const {
    for (size_t i = start; i < m_rows.size(); ++i)
        if (Text(i, column) == text)
            return static_cast<int>(i);
    return -1;
}

int CIpListModel::SelectedOrTell(IPrompt& prompt) const {
    if (m_selected < 0)
        ShowClientMessage(prompt, IDS_CHOOSE_IP_ADDRESS, IDS_CAPTION_WARNING,
                          MB_OK | MB_ICONEXCLAMATION);
    return m_selected;
}

void CIpListModel::Select(int row) {
    if (m_rows.empty() || row < 0) {
        m_selected = -1;
        return;
    }
    m_selected = std::min(row, static_cast<int>(m_rows.size()) - 1);
}

void CIpListModel::SortByHeaderClick() {
    const bool ascending = g_sortAscending;
    g_sortAscending = !g_sortAscending;
    std::vector<size_t> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return ascending ? m_rows[a].data < m_rows[b].data : m_rows[a].data > m_rows[b].data;
    });
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    int newSelected = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        if (static_cast<int>(order[i]) == m_selected)
            newSelected = static_cast<int>(i);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(sorted);
    m_selected = newSelected;
}
