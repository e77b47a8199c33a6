#include "AltirenUi/StatisticListModel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace {

constexpr const char* kHeaders[CStatisticListModel::kColumnCount] = {
    "Source Address : Port", "Destination Address : Port", "Protocol",    "Throughput (Kbps)",
    "Throughput (Frames)",   "Total Throughput (Kb)",      "Total Frames"};
constexpr double kWeights[CStatisticListModel::kColumnCount] = {0.9, 0.9, 1.2, 0.9, 0.9, 0.9, 1.0};

// An IPv4 text: a '.' after its first character.
bool IsDotted(const std::string& address) {
    return address.find('.', 1) != std::string::npos;
}

int Compare(uint32_t a, uint32_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareText(const std::string& a, const std::string& b) {
    const int c = std::strcmp(a.c_str(), b.c_str());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

CStatisticListModel::CStatisticListModel(QObject* parent) : QAbstractTableModel(parent) {}

std::string CStatisticListModel::RowKey(const ConnectionStatistics& record) {
    // The five fields, kept apart: no two connections share a key.
    return record.sourceAddress + '\x1f' + std::to_string(record.sourcePort) + '\x1f' +
           record.destinationAddress + '\x1f' + std::to_string(record.destinationPort) + '\x1f' +
           record.protocol;
}

void CStatisticListModel::RebuildIndex() {
    m_index.clear();
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_index.emplace(RowKey(m_rows[i].record), i);
}

size_t CStatisticListModel::UpdateList(const StatisticsMap& map) {
    size_t count = 0;
    std::vector<Row> added;
    for (const auto& [key, record] : map) {
        auto known = m_index.find(RowKey(record));
        if (known != m_index.end()) {
            Row& row = m_rows[known->second];
            row.record.framesLastSecond = record.framesLastSecond;
            row.record.totalFrames = record.totalFrames;
            row.record.bytesLastSecond = record.bytesLastSecond;
            row.record.totalBytes = record.totalBytes;
            const Cells cells = CellTexts(row.record);
            std::copy(cells.begin() + 3, cells.end(), row.cells.begin() + 3);
            ++count;
        } else if (m_rows.size() + added.size() < m_nRowLimit && PassesFilter(record)) {
            added.push_back(Row{record, CellTexts(record)});
            ++count;
        }
        if (count >= m_nRowLimit)
            break;
    }
    if (!m_rows.empty())
        emit dataChanged(index(0, 3), index(RowCount() - 1, kColumnCount - 1));
    if (!added.empty()) {
        const int first = RowCount();
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
        for (Row& row : added) {
            m_index.emplace(RowKey(row.record), m_rows.size());
            m_rows.push_back(std::move(row));
        }
        endInsertRows();
    }
    Sort();
    return count;
}

void CStatisticListModel::Clear() {
    beginResetModel();
    m_rows.clear();
    m_index.clear();
    endResetModel();
}

void CStatisticListModel::OnColumnClick(int column) {
    m_nSortDirection = m_nSortDirection == 1 ? -1 : 1;
    m_nSortColumn = column;
    Sort();
}

void CStatisticListModel::Sort() {
    if (m_rows.size() < 2)
        return;
    const uint32_t word = SortWord(m_nSortColumn, m_nSortDirection);
    std::vector<size_t> order(m_rows.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::vector<std::string> keys(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i)
        keys[i] = RowKey(m_rows[i].record);
    // Equal rows stay in key order, so the order never depends on earlier refreshes.
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = SortFunc(&m_rows[a].record, &m_rows[b].record, word);
        return c != 0 ? c < 0 : keys[a] < keys[b];
    });
    bool moved = false;
    for (size_t i = 0; i < order.size() && !moved; ++i)
        moved = order[i] != i;
    if (!moved)
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(m_rows.size());
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRowOf[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(m_rows[order[i]]));
    }
    m_rows = std::move(sorted);
    RebuildIndex();
    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex& old : persistent)
        changePersistentIndex(old, index(newRowOf[static_cast<size_t>(old.row())], old.column()));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

StatisticsParam CStatisticListModel::GetItemParam(int row) const {
    const ConnectionStatistics& record = GetRow(row).record;
    StatisticsParam param;
    param.sourceAddress = record.sourceAddress;
    param.sourcePort = record.sourcePort;
    param.destinationAddress = record.destinationAddress;
    param.destinationPort = record.destinationPort;
    param.protocol = record.protocol;
    return param;
}

bool CStatisticListModel::PassesFilter(const ConnectionStatistics& record) const {
    if (!m_pFilter || !IsDotted(record.sourceAddress) || !IsDotted(record.destinationAddress))
        return true;
    const auto passes = [&](const std::string& address, uint16_t port) {
        if (address == m_strActiveAdapter)
            return true;
        return m_pFilter->Passes(
            CIpPoint(DottedToIp(address.c_str()), port, record.protocolNumber));
    };
    return passes(record.sourceAddress, record.sourcePort) &&
           passes(record.destinationAddress, record.destinationPort);
}

CStatisticListModel::Cells CStatisticListModel::CellTexts(const ConnectionStatistics& record) {
    return Cells{AddressCell(record.sourceAddress, record.sourcePort),
                 AddressCell(record.destinationAddress, record.destinationPort),
                 record.protocol,
                 KbText(record.bytesLastSecond),
                 std::to_string(record.framesLastSecond),
                 KbText(record.totalBytes),
                 std::to_string(record.totalFrames)};
}

std::string CStatisticListModel::AddressCell(const std::string& address, uint16_t port) {
    if (port == 0)
        return address;
    return address + (IsDotted(address) ? ":" : " Port:") + std::to_string(port);
}

std::string CStatisticListModel::KbText(uint32_t bytes) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f", bytes / 128.0);
    return text;
}

uint32_t CStatisticListModel::SortWord(int column, int direction) {
    return (static_cast<uint32_t>(column) << 16) | (static_cast<uint32_t>(direction) & 0xFFFFu);
}

int CStatisticListModel::SortFunc(const ConnectionStatistics* first,
                                  const ConnectionStatistics* second, uint32_t sortWord) {
    if (!first || !second)
        return 0;
    const int column = static_cast<int>(sortWord >> 16);
    const int direction = static_cast<int16_t>(sortWord & 0xFFFFu) == 1 ? 1 : -1;
    int result = 0;
    switch (column) {
    case 0:
        result = CompareText(first->sourceAddress, second->sourceAddress);
        if (result == 0)
            result = Compare(first->sourcePort, second->sourcePort);
        break;
    case 1:
        result = CompareText(first->destinationAddress, second->destinationAddress);
        if (result == 0)
            result = Compare(first->destinationPort, second->destinationPort);
        break;
    case 2:
        result = CompareText(first->protocol, second->protocol);
        break;
    case 3:
        result = Compare(first->bytesLastSecond, second->bytesLastSecond);
        break;
    case 4:
        result = Compare(first->framesLastSecond, second->framesLastSecond);
        break;
    case 5:
        result = Compare(first->totalBytes, second->totalBytes);
        break;
    case 6:
        result = Compare(first->totalFrames, second->totalFrames);
        break;
    default:
        return 0;
    }
    return result * direction;
}

const char* CStatisticListModel::HeaderText(int column) {
    return column >= 0 && column < kColumnCount ? kHeaders[column] : "";
}

double CStatisticListModel::ColumnWeight(int column) {
    return column >= 0 && column < kColumnCount ? kWeights[column] : 1.0;
}

std::vector<int> CStatisticListModel::ColumnWidths(const std::vector<int>& headerTextWidths,
                                                   int clientWidth) {
    std::vector<double> weighted;
    double sum = 0;
    for (size_t i = 0; i < headerTextWidths.size(); ++i) {
        weighted.push_back(headerTextWidths[i] * ColumnWeight(static_cast<int>(i)));
        sum += weighted.back();
    }
    std::vector<int> widths;
    const double factor = sum > 0 ? clientWidth / sum : 0;
    for (double w : weighted)
        widths.push_back(static_cast<int>(w * factor));
    return widths;
}

int CStatisticListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CStatisticListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CStatisticListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= RowCount() ||
        index.column() >= kColumnCount)
        return QVariant();
    return QString::fromStdString(m_rows[static_cast<size_t>(index.row())].cells[index.column()]);
}

QVariant CStatisticListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(HeaderText(section));
}
