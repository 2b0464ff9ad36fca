#pragma once
// A list in report view (a ListView): a header of columns, rows of text, full-row selection.
// The keyboard's and a screen reader's way through tabular data.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace vossel::platform {

class ReportList : public Control {
  public:
    // name: what a screen reader calls the list (its window text, which the list does not show).
    ReportList(int id, TwipRect box, std::vector<std::wstring> columns, std::wstring name = {});

    // Replaces every row; each row has one text per column.
    void SetRows(std::vector<std::vector<std::wstring>> rows);
    const std::vector<std::vector<std::wstring>>& Rows() const { return rows_; }
    // The indices of the selected rows, in order.
    std::vector<std::size_t> SelectedRows() const;
    // Selects and focuses the row, and only it.
    void SelectRow(std::size_t row);
    // Moves and sizes the list (client pixels) and shares its width among the columns by the
    // given weights, each column at least as wide as its header and its widest cell.
    void Place(RECT box, const std::vector<int>& columnWeights);
    // The width the list needs to show every column whole without scrolling sideways.
    int NeededWidth() const;

  protected:
    void OnCreated() override;

  private:
    void FillRows();
    // Each column's width for its header and widest cell, margins included.
    std::vector<int> ColumnNeeds() const;

    std::vector<std::wstring> columns_;
    std::vector<std::vector<std::wstring>> rows_;
};

}  // namespace vossel::platform
