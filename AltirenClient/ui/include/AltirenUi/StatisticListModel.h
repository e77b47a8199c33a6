// The rows of the Top Talkers list: one per connection, each owning its statistics
// record and the seven cell texts shown for it. A refresh updates known rows in place
// and adds new ones, in the key order of the statistics, while the row limit and the
// statistics address filter let them in; then the rows are sorted by the sort word
// (column in the upper 16 bits, direction +1 or -1 in the lower 16).
#pragma once

#include "AltirenClient/IpRules.h"
#include "AltirenClient/StatisticsTypes.h"

#include <QAbstractTableModel>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CStatisticListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 7;
    static constexpr int kInitialSortColumn = 3;
    static constexpr int kInitialSortDirection = -1;

    using Cells = std::array<std::string, kColumnCount>;
    struct Row {
        ConnectionStatistics record;
        Cells cells;
    };

    explicit CStatisticListModel(QObject* parent = nullptr);

    // What the list reads when it opens.
    void SetRowLimit(uint32_t limit) { m_nRowLimit = limit; }
    uint32_t GetRowLimit() const { return m_nRowLimit; }
    void SetActiveAdapterAddress(const std::string& address) { m_strActiveAdapter = address; }
    // The statistics address filter (not owned); null lets every connection pass.
    void SetFilter(const CIpRuleSet* filter) { m_pFilter = filter; }

    // One refresh from a copy of the current second; returns how many rows it updated
    // or added. The rows are sorted afterwards.
    size_t UpdateList(const StatisticsMap& map);
    // Deletes every row.
    void Clear();

    // A header click: the direction flips (+1 to -1, anything else to +1) whatever the
    // column, the column becomes the clicked one, and the rows are sorted.
    void OnColumnClick(int column);
    void Sort();
    int GetSortColumn() const { return m_nSortColumn; }
    int GetSortDirection() const { return m_nSortDirection; }

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const Row& GetRow(int row) const { return m_rows.at(static_cast<size_t>(row)); }
    // The connection of a row, as the graph windows are asked for it.
    StatisticsParam GetItemParam(int row) const;

    // Whether a new connection passes the statistics address filter: IPv4 connections
    // only, and never on the active adapter's own address.
    bool PassesFilter(const ConnectionStatistics& record) const;

    static Cells CellTexts(const ConnectionStatistics& record);
    // "addr:port" for IPv4 texts, "addr Port:port" for others, the bare address for port 0.
    static std::string AddressCell(const std::string& address, uint16_t port);
    // Bytes as kilobits, "%.2f" of bytes / 128.
    static std::string KbText(uint32_t bytes);
    static uint32_t SortWord(int column, int direction);
    // -1, 0 or +1 for the records of two rows under the sort word; a missing record or an
    // unknown column compares equal.
    static int SortFunc(const ConnectionStatistics* first, const ConnectionStatistics* second,
                        uint32_t sortWord);
    static const char* HeaderText(int column);
    static double ColumnWeight(int column);
    // The width of each column: its header text width times its weight, scaled so that
    // the columns fill the client width.
    static std::vector<int> ColumnWidths(const std::vector<int>& headerTextWidths, int clientWidth);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    static std::string RowKey(const ConnectionStatistics& record);
    void RebuildIndex();

    std::vector<Row> m_rows;
    std::unordered_map<std::string, size_t> m_index; // RowKey -> row
    int m_nSortColumn = kInitialSortColumn;
    int m_nSortDirection = kInitialSortDirection;
    uint32_t m_nRowLimit = 50;
    std::string m_strActiveAdapter;
    const CIpRuleSet* m_pFilter = nullptr;
};
