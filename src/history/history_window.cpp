#include "history/history_window.h"

#include <commctrl.h>

#include <algorithm>
#include <new>

#include "history/history_chart.h"
#include "platform/call_status.h"
#include "platform/clipboard.h"
#include "platform/debug_output.h"
#include "platform/event_log_query.h"
#include "platform/executable.h"
#include "platform/local_time.h"
#include "platform/number_text.h"
#include "platform/shell_automation.h"
#include "start/start_record_format.h"
#include "resource_ids.h"

namespace vossel {
namespace {

constexpr int kListId = 101;
// The reader thread's answer; lparam owns a HistoryWindow::Reading.
constexpr UINT kReadMessage = WM_APP + 1;

// The start records only: the source and its IDs, newest first.
constexpr wchar_t kQuery[] =
    L"*[System[Provider[@Name='Vossel'] and EventID>=1001 and EventID<=1010]]";

constexpr COLORREF kFullBootColour = RGB(0x2F, 0x6F, 0xC8);
constexpr COLORREF kResumeColour = RGB(0x3F, 0xB0, 0x8F);
constexpr COLORREF kMedianColour = RGB(0xC8, 0x3A, 0x2F);
constexpr COLORREF kAxisColour = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kNewestColour = RGB(0x20, 0x20, 0x20);

struct DeleteGdiPen {
    void operator()(HPEN pen) const { ::DeleteObject(pen); }
};
using UniquePen = platform::UniqueAny<HPEN, DeleteGdiPen>;
using UniqueBrush = platform::UniqueAny<HBRUSH, platform::CloseGdiObject>;

void FillBox(HDC dc, RECT box, COLORREF colour) {
    UniqueBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &box, brush.Get());
}

void HorizontalLine(HDC dc, int left, int right, int y, COLORREF colour, int penStyle) {
    UniquePen pen(::CreatePen(penStyle, 1, colour));
    platform::SelectedObject select(dc, pen.Get());
    ::MoveToEx(dc, left, y, nullptr);
    ::LineTo(dc, right, y);
}

void Text(HDC dc, const std::wstring& text, RECT box, UINT format, COLORREF colour) {
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format | DT_NOPREFIX);
}

int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

}  // namespace

struct HistoryWindow::Reading {
    HWND window = nullptr;
    std::uint32_t error = 0;
    std::vector<RecordedStart> starts;
};

bool IsHistoryCommand(const std::vector<std::wstring>& arguments) {
    return arguments.size() == 1 &&
           ::CompareStringOrdinal(arguments[0].c_str(), static_cast<int>(arguments[0].size()),
                                  L"/history", -1, TRUE) == CSTR_EQUAL;
}

int RunHistoryWindow() {
    // Held until the process ends: the open window's claim.
    HANDLE instance = ::CreateMutexW(nullptr, FALSE, L"Local\\Vossel.History");
    if (instance && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        // The first may still be on its way to its window.
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (HWND open = ::FindWindowW(kHistoryWindowClass, nullptr)) {
                if (::IsIconic(open)) ::ShowWindow(open, SW_RESTORE);
                ::SetForegroundWindow(open);
                platform::Report(L"history brought to front");
                return 0;
            }
            ::Sleep(100);
        }
        return 0;
    }
    HistoryWindow window;
    window.Unloaded = [] { ::PostQuitMessage(0); };
    window.Show();
    return platform::RunMessageLoop();
}

HistoryWindow::HistoryWindow()
    : decimalSeparator_(platform::UserDecimalSeparator()),
      statusText_(L"正在读取…"),
      list_(kListId, {120, 3600, 8760, 3780}, {L"开机时间", L"秒", L"方式"}),
      window_({kHistoryWindowClass,
               L"Vossel 启动记录",
               IDI_VOSSEL,
               COLOR_WINDOW,
               0,
               {9900, 4350, 9000, 7500}}) {
    window_.Add(list_);
    window_.Load = [this] { OnLoad(); };
    window_.Draw = [this](HDC canvas) { OnDraw(canvas); };
    window_.Message = [this](UINT message, WPARAM wparam, LPARAM lparam) {
        return OnMessage(message, wparam, lparam);
    };
    window_.Unloaded = [this] {
        if (Unloaded) Unloaded();
    };
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::Show() {
    window_.Show();
    platform::Report(L"history shown");
}

void HistoryWindow::OnLoad() {
    Layout();
    auto reading = std::make_unique<Reading>();
    reading->window = window_.Handle();
    HANDLE thread = ::CreateThread(nullptr, 0, &HistoryWindow::ReadLog, reading.get(), 0, nullptr);
    if (!thread) {
        reading->error = ::GetLastError();
        OnRead(std::move(reading));
        return;
    }
    reading.release();  // the thread's now
    ::CloseHandle(thread);
}

DWORD WINAPI HistoryWindow::ReadLog(void* target) noexcept {
    std::unique_ptr<Reading> reading(static_cast<Reading*>(target));
    try {
        StartHistory history;
        reading->error = platform::QueryEventRecordsNewestFirst(
            L"Application", kQuery, [&history](const platform::EventRecordValues& record) {
                const auto start =
                    ParseRecordedStart(record.eventId, record.systemTime, record.values);
                return !start || history.Add(*start);
            });
        reading->starts = history.Starts();
    } catch (const std::bad_alloc&) {
        reading->error = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        reading->error = ERROR_INTERNAL_ERROR;
    }
    // A window closed meanwhile takes nothing: the reading goes with this thread.
    if (::PostMessageW(reading->window, kReadMessage, 0, reinterpret_cast<LPARAM>(reading.get()))) {
        reading.release();
    }
    return 0;
}

void HistoryWindow::OnRead(std::unique_ptr<Reading> reading) {
    if (reading->error != 0) {
        const std::int32_t number = static_cast<std::int32_t>(reading->error);
        statusText_ = L"无法读取 Windows 事件日志：" +
                      platform::SystemErrorText(platform::HresultFromWin32(reading->error));
        platform::Report(L"history error " + platform::NumberText(number));
    } else {
        starts_ = std::move(reading->starts);
        statusText_ = starts_.empty() ? L"还没有开机记录。Vossel 每次登录时记录一次。" : L"";
        std::vector<std::vector<std::wstring>> rows;
        for (const RecordedStart& start : starts_) {
            rows.push_back({platform::LocalShortDateTime(start.time),
                            SecondsColumn(start, decimalSeparator_), KindColumn(start)});
        }
        list_.SetRows(std::move(rows));
        platform::Report(L"history read " + platform::NumberText(starts_.size()));
    }
    ::InvalidateRect(window_.Handle(), nullptr, FALSE);
}

std::optional<LRESULT> HistoryWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case kReadMessage:
            OnRead(std::unique_ptr<Reading>(reinterpret_cast<Reading*>(lparam)));
            return 0;
        case WM_SIZE:
            Layout();
            ::InvalidateRect(window_.Handle(), nullptr, FALSE);
            return 0;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
            limits->ptMinTrackSize = {::MulDiv(360, window_.Dpi(), 96),
                                      ::MulDiv(320, window_.Dpi(), 96)};
            return 0;
        }
        case WM_COMMAND:
            // Esc, which the dialog keys turn into IDCANCEL.
            if (LOWORD(wparam) == IDCANCEL) {
                window_.UnloadWindow();
                return 0;
            }
            return std::nullopt;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->idFrom == kListId && header->code == LVN_KEYDOWN) {
                const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lparam);
                if (key->wVKey == 'C' && ::GetKeyState(VK_CONTROL) < 0) CopyRows();
                if (key->wVKey == VK_ESCAPE) window_.UnloadWindow();
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

void HistoryWindow::CopyRows() {
    const auto& rows = list_.Rows();
    std::vector<std::size_t> selected = list_.SelectedRows();
    std::vector<std::vector<std::wstring>> copied;
    if (selected.empty()) {
        copied = rows;
    } else {
        for (std::size_t index : selected) {
            if (index < rows.size()) copied.push_back(rows[index]);
        }
    }
    if (platform::CopyTextToClipboard(window_.Handle(), TabSeparated(copied))) {
        platform::Report(L"history copied " + platform::NumberText(copied.size()));
    }
}

void HistoryWindow::Layout() {
    HWND window = window_.Handle();
    if (!window) return;
    const int dpi = window_.Dpi();
    const auto px = [dpi](int n) { return ::MulDiv(n, dpi, 96); };
    RECT client{};
    ::GetClientRect(window, &client);

    HDC screen = ::GetDC(window);
    {
        auto font = reinterpret_cast<HFONT>(::SendMessageW(list_.Handle(), WM_GETFONT, 0, 0));
        platform::SelectedObject select(screen, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(screen, &metrics);
        lineHeight_ = std::max<int>(metrics.tmHeight, 1);
    }
    ::ReleaseDC(window, screen);

    const int margin = px(10);
    summaryBox_ = {margin, margin, client.right - margin, margin + lineHeight_};
    const int chartTop = summaryBox_.bottom + margin;
    const int rest = std::max<int>(client.bottom - chartTop - margin, 0);
    const int chartHeight = std::max(rest * 11 / 20, 3 * lineHeight_);
    chartBox_ = {margin, chartTop, client.right - margin, chartTop + chartHeight};
    const RECT listBox{margin, chartBox_.bottom + margin, client.right - margin,
                       std::max<int>(client.bottom - margin, chartBox_.bottom + margin)};
    list_.Place(listBox, {5, 2, 4});
}

void HistoryWindow::OnDraw(HDC dc) {
    const int dpi = window_.Dpi();
    const auto px = [dpi](int n) { return ::MulDiv(n, dpi, 96); };
    auto font = reinterpret_cast<HFONT>(::SendMessageW(list_.Handle(), WM_GETFONT, 0, 0));
    platform::SelectedObject selectFont(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    const COLORREF textColour = ::GetSysColor(COLOR_WINDOWTEXT);

    if (!statusText_.empty()) {
        const RECT box{summaryBox_.left, summaryBox_.top, chartBox_.right, chartBox_.bottom};
        Text(dc, statusText_, box, DT_LEFT | DT_TOP | DT_WORDBREAK, textColour);
        return;
    }
    Text(dc, HistorySummary(starts_, decimalSeparator_), summaryBox_,
         DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS, textColour);

    // The legend along the chart's top, then the plot under it with the tick labels on its left.
    const int swatch = lineHeight_ * 2 / 3;
    int x = chartBox_.left;
    const int legendY = chartBox_.top;
    for (const auto& [label, colour] : {std::pair{std::wstring(L"完整启动"), kFullBootColour},
                                        std::pair{std::wstring(L"快速启动或唤醒"), kResumeColour}}) {
        const int swatchTop = legendY + (lineHeight_ - swatch) / 2;
        FillBox(dc, {x, swatchTop, x + swatch, swatchTop + swatch}, colour);
        x += swatch + px(4);
        Text(dc, label, {x, legendY, chartBox_.right, legendY + lineHeight_},
             DT_LEFT | DT_SINGLELINE, textColour);
        x += TextWidth(dc, label) + px(16);
    }

    const int axisWidth = TextWidth(dc, L"000.0") + px(6);
    const ChartRect plot{chartBox_.left + axisWidth, legendY + lineHeight_ * 2, chartBox_.right,
                         chartBox_.bottom};
    if (plot.right - plot.left < 2 || plot.bottom - plot.top < 2) return;
    const ChartGeometry chart = LayoutChart(starts_, plot);

    for (const ChartTick& tick : chart.ticks) {
        HorizontalLine(dc, plot.left, plot.right, tick.y,
                       tick.valueMs == 0 ? kAxisColour : RGB(0xE0, 0xE0, 0xE0), PS_SOLID);
        Text(dc, TickText(tick.valueMs, decimalSeparator_),
             {chartBox_.left, tick.y - lineHeight_ / 2, plot.left - px(6),
              tick.y + lineHeight_ / 2 + 1},
             DT_RIGHT | DT_SINGLELINE | DT_VCENTER, textColour);
    }
    for (const ChartBar& bar : chart.bars) {
        const RECT box{bar.box.left, bar.box.top, bar.box.right, bar.box.bottom};
        FillBox(dc, box, bar.kind == RecordedKind::Resume ? kResumeColour : kFullBootColour);
        if (bar.newest) {
            // A frame round the bar and a triangle over it.
            UniqueBrush frame(::CreateSolidBrush(kNewestColour));
            ::FrameRect(dc, &box, frame.Get());
            const int middle = (box.left + box.right) / 2;
            const int half = std::max(px(5), 2);
            const POINT triangle[] = {{middle - half, box.top - px(3) - half},
                                      {middle + half, box.top - px(3) - half},
                                      {middle, box.top - px(3)}};
            UniquePen outline(::CreatePen(PS_SOLID, 1, kNewestColour));
            platform::SelectedObject selectPen(dc, outline.Get());
            platform::SelectedObject selectBrush(dc, frame.Get());
            ::Polygon(dc, triangle, 3);
        }
    }
    if (chart.medianMs) {
        HorizontalLine(dc, plot.left, plot.right, chart.medianY, kMedianColour, PS_DASH);
        HorizontalLine(dc, plot.left, plot.right, chart.medianY + 1, kMedianColour, PS_DASH);
        const std::wstring label = L"中位数 " + SecondsText(*chart.medianMs, decimalSeparator_) + L" 秒";
        ::SetBkMode(dc, OPAQUE);
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        const int width = TextWidth(dc, label);
        Text(dc, label,
             {plot.right - width - px(2), chart.medianY - lineHeight_ - px(1), plot.right,
              chart.medianY - px(1)},
             DT_RIGHT | DT_SINGLELINE, kMedianColour);
        ::SetBkMode(dc, TRANSPARENT);
    }
}

}  // namespace vossel
