// The rows of an address list (CIpListCtrl) without a widget: cell texts per row, each
// row's address as a host-order number (its item data), a row limit, the selection, and
// the numeric sort of a header click.
#pragma once

#include "AltirenClient/Prompt.h"

#include <cstdint>
#include <string>
#include <vector>

class CIpListModel {
public:
    struct Row {
        std::vector<std::string> cells;
        uint32_t data = 0; // the first cell's address, host order
    };

    // limit: the most rows the list holds (0: no limit).
    explicit CIpListModel(size_t limit = 0) : m_limit(limit) {}

    size_t Limit() const { return m_limit; }
    void SetLimit(size_t limit) { m_limit = limit; }
    size_t Count() const { return m_rows.size(); }
    bool IsFull() const { return m_limit != 0 && m_rows.size() >= m_limit; }
    const std::vector<Row>& Rows() const { return m_rows; }
    const std::string& Text(size_t row, size_t column = 0) const;

    // Appends a row (the first cell is the address); false when the list is full.
    bool AddRow(const std::vector<std::string>& cells);
    // Replaces the cells of the selected row; false without a selection.
    bool ReplaceSelected(const std::vector<std::string>& cells);
    // Deletes the selected row and selects the row now at its place, or the new last row.
    bool DeleteSelected();
    void Clear();

    // The first row from start on whose cell in column is exactly text; -1 when none.
    int Find(const std::string& text, size_t column = 0, size_t start = 0) const;
    // The selected row, -1 when none.
    int Selected() const { return m_selected; }
    // As above; without a selection shows string 61233 (caption 61215) first.
    int SelectedOrTell(IPrompt& prompt) const;
    // Selects the row, or the last one when row lies beyond the end (none in an empty list).
    void Select(int row);

    // A header click: all rows by their address, ascending on the first click of the
    // process and then alternating; the selection follows its row.
    void SortByHeaderClick();
    // The direction of the next click (shared by every list of this class).
    static bool NextSortAscending();
    static void ResetSortDirection();

private:
    static Row MakeRow(const std::vector<std::string>& cells);

    size_t m_limit = 0;
    std::vector<Row> m_rows;
    int m_selected = -1;
};
