#include "platform/ui/list_view.h"

#include <commctrl.h>

#include <algorithm>
#include <numeric>
#include <utility>

#include "platform/ui/column_widths.h"
#include "platform/ui/controls.h"

namespace vossel::platform {

ReportList::ReportList(int id, TwipRect box, std::vector<std::wstring> columns, std::wstring name)
    : Control(id, box, std::move(name),
              LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP | WS_BORDER,
              WC_LISTVIEWW),
      columns_(std::move(columns)) {
    static const bool registered = LoadCommonControls(ICC_LISTVIEW_CLASSES);
    (void)registered;
}

void ReportList::OnCreated() {
    ListView_SetExtendedListViewStyle(Handle(), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = columns_[i].data();
        column.cx = 100;
        column.iSubItem = static_cast<int>(i);
        ListView_InsertColumn(Handle(), static_cast<int>(i), &column);
    }
    FillRows();
}

void ReportList::SetRows(std::vector<std::vector<std::wstring>> rows) {
    rows_ = std::move(rows);
    if (Handle()) FillRows();
}

void ReportList::FillRows() {
    HWND list = Handle();
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        auto& row = rows_[r];
        for (std::size_t c = 0; c < row.size() && c < columns_.size(); ++c) {
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.iSubItem = static_cast<int>(c);
            item.pszText = row[c].data();
            if (c == 0) {
                ListView_InsertItem(list, &item);
            } else {
                ListView_SetItem(list, &item);
            }
        }
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

std::vector<std::size_t> ReportList::SelectedRows() const {
    std::vector<std::size_t> selected;
    for (int i = ListView_GetNextItem(Handle(), -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(Handle(), i, LVNI_SELECTED)) {
        selected.push_back(static_cast<std::size_t>(i));
    }
    return selected;
}

void ReportList::SelectRow(std::size_t row) {
    if (!Handle() || row >= rows_.size()) return;
    ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED);
    const UINT state = LVIS_SELECTED | LVIS_FOCUSED;
    ListView_SetItemState(Handle(), static_cast<int>(row), state, state);
}

void ReportList::Place(RECT box, const std::vector<int>& columnWeights) {
    HWND list = Handle();
    if (!list) return;
    // One redraw for the move and all the columns: each change alone lays out and paints every row.
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SetWindowPos(list, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    ::GetClientRect(list, &client);
    const std::vector<int> widths = ColumnWidths(client.right, columnWeights, ColumnNeeds());
    for (std::size_t i = 0; i < widths.size() && i < columns_.size(); ++i) {
        ListView_SetColumnWidth(list, static_cast<int>(i), widths[i]);
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

int ReportList::NeededWidth() const {
    HWND list = Handle();
    if (!list) return 0;
    const std::vector<int> needs = ColumnNeeds();
    // The border and a vertical scroll bar besides the columns.
    return std::accumulate(needs.begin(), needs.end(), 0) + ::GetSystemMetrics(SM_CXVSCROLL) +
           4 * ::GetSystemMetrics(SM_CXEDGE);
}

std::vector<int> ReportList::ColumnNeeds() const {
    HWND list = Handle();
    // The header's and the cells' margins, in the list's font, so they scale with it.
    const int margin = ListView_GetStringWidth(list, L"00");
    std::vector<int> needs;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        int widest = ListView_GetStringWidth(list, columns_[c].c_str());
        for (const auto& row : rows_) {
            if (c < row.size()) widest = std::max(widest, ListView_GetStringWidth(list, row[c].c_str()));
        }
        needs.push_back(widest + margin);
    }
    return needs;
}

}  // namespace vossel::platform
