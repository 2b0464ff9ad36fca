#include "history/history_window.h"

#include <commctrl.h>

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "history/history_chart.h"
#include "history/startup_history.h"
#include "platform/call_status.h"
#include "platform/ui/clipboard.h"
#include "platform/debug_output.h"
#include "platform/event_log_query.h"
#include "platform/executable.h"
#include "platform/local_time.h"
#include "platform/number_text.h"
#include "platform/shell_automation.h"
#include "platform/texts.h"
#include "platform/shell_open.h"
#include "resource_ids.h"

namespace vossel {
namespace {

constexpr int kListId = 101;
constexpr int kSummaryId = 102;
constexpr int kStateId = 103;
constexpr int kChartId = 104;
constexpr int kStartupSummaryId = 105;
constexpr int kProgramsId = 106;
constexpr int kEntriesId = 107;
constexpr int kStartupAppsId = 108;
// The reader thread's answer; lparam owns a HistoryWindow::Reading.
constexpr UINT kReadMessage = WM_APP + 1;
// The shell's answer to opening the start-up apps; wparam is 0 or the error.
constexpr UINT kOpenedMessage = WM_APP + 2;

// The start records and the records of what started with them: the source and its IDs.
constexpr wchar_t kQuery[] =
    L"*[System[Provider[@Name='Vossel'] and EventID>=1001 and EventID<=1020]]";

// Each kind of start in its own hue; the phases in its shades.
struct KindColours {
    COLORREF windowsStart;
    COLORREF signingIn;
    COLORREF whole;  // a bar of unknown phases
    COLORREF wait;
};
constexpr KindColours kFullBootColours{RGB(0x2F, 0x6F, 0xC8), RGB(0x8C, 0xB4, 0xEC),
                                       RGB(0x5A, 0x8F, 0xDA), RGB(0xD2, 0xDF, 0xF3)};
constexpr KindColours kResumeColours{RGB(0x2A, 0x93, 0x74), RGB(0x93, 0xD6, 0xC0),
                                     RGB(0x5F, 0xB8, 0x9C), RGB(0xCF, 0xEC, 0xE2)};
constexpr COLORREF kMedianColour = RGB(0xC8, 0x3A, 0x2F);
constexpr COLORREF kAxisColour = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kGridColour = RGB(0xE0, 0xE0, 0xE0);
constexpr COLORREF kNewestColour = RGB(0x20, 0x20, 0x20);
constexpr COLORREF kMarkColour = RGB(0xFF, 0xFF, 0xFF);

const KindColours& ColoursOf(RecordedKind kind) {
    return kind == RecordedKind::Resume ? kResumeColours : kFullBootColours;
}

struct DeleteGdiPen {
    void operator()(HPEN pen) const { ::DeleteObject(pen); }
};
using UniquePen = platform::UniqueAny<HPEN, DeleteGdiPen>;
using UniqueBrush = platform::UniqueAny<HBRUSH, platform::CloseGdiObject>;

void FillBox(HDC dc, RECT box, COLORREF colour) {
    UniqueBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &box, brush.Get());
}

// Diagonal lines over a filled box: the wait at the sign-in screen is in this number.
void HatchBox(HDC dc, RECT box, COLORREF colour) {
    UniqueBrush brush(::CreateHatchBrush(HS_BDIAGONAL, colour));
    const int mode = ::SetBkMode(dc, TRANSPARENT);
    ::FillRect(dc, &box, brush.Get());
    ::SetBkMode(dc, mode);
}

// A phase in its kind's shade; the wait hatched over in the kind's hue.
void FillPhase(HDC dc, RECT box, const KindColours& colours, ChartPhase phase) {
    switch (phase) {
        case ChartPhase::WindowsStart:
            FillBox(dc, box, colours.windowsStart);
            break;
        case ChartPhase::SigningIn:
            FillBox(dc, box, colours.signingIn);
            break;
        case ChartPhase::Wait:
            FillBox(dc, box, colours.wait);
            HatchBox(dc, box, colours.windowsStart);
            break;
        case ChartPhase::Whole:
            FillBox(dc, box, colours.whole);
            break;
    }
}

void Line(HDC dc, POINT from, POINT to, COLORREF colour, int penStyle, int width = 1) {
    UniquePen pen(::CreatePen(penStyle, width, colour));
    platform::SelectedObject select(dc, pen.Get());
    ::MoveToEx(dc, from.x, from.y, nullptr);
    ::LineTo(dc, to.x, to.y);
}

void HorizontalLine(HDC dc, int left, int right, int y, COLORREF colour, int penStyle) {
    Line(dc, {left, y}, {right, y}, colour, penStyle);
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
    std::vector<RecordedStart> starts;  // those read before any error
    std::size_t leftOut = 0;
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
      texts_(platform::DisplayTexts()),
      stateText_(platform::Text(IDS_HISTORY_READING)),
      summary_(kSummaryId, SS_LEFT),
      state_(kStateId, SS_LEFT),
      chart_(kChartId, SS_OWNERDRAW),
      list_(kListId, {120, 3600, 8760, 3780}, HistoryColumns(texts_),
            platform::Text(IDS_HISTORY_LIST)),
      startupSummary_(kStartupSummaryId, SS_LEFT),
      programs_(kProgramsId, {}, StartupProgramColumns(texts_),
                platform::Text(IDS_STARTUP_PROGRAMS_LIST)),
      entries_(kEntriesId, {}, EntrySummaryColumns(texts_),
               platform::Text(IDS_STARTUP_ENTRIES_LIST)),
      startupAppsInSettings_(platform::WindowsBuildAtLeast(kStartupAppsBuild)),
      startupApps_(kStartupAppsId, {},
                   platform::Text(startupAppsInSettings_ ? IDS_STARTUP_OPEN_SETTINGS
                                                         : IDS_STARTUP_OPEN_TASK_MANAGER)),
      window_({kHistoryWindowClass,
               platform::Text(IDS_HISTORY_TITLE),
               IDI_VOSSEL,
               COLOR_WINDOW,
               0,
               {9900, 2400, 10500, 10200},
               true}) {
    // In tab order: the starts, then what started with the selected one.
    window_.Add(summary_);
    window_.Add(state_);
    window_.Add(chart_);
    window_.Add(list_);
    window_.Add(startupSummary_);
    window_.Add(programs_);
    window_.Add(entries_);
    window_.Add(startupApps_);
    startupApps_.Click = [this] { OpenStartupApps(); };
    window_.Load = [this] { OnLoad(); };
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
    // The keyboard's place is the list; the static texts before it take no focus.
    if (list_.Handle()) ::SetFocus(list_.Handle());
    platform::Report(L"history shown");
}

void HistoryWindow::OnLoad() {
    state_.SetText(stateText_);
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
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    StartHistory history((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                         now.dwLowDateTime);
    try {
        reading->error = platform::QueryEventRecordsNewestFirst(
            L"Application", kQuery, [&history](const platform::EventRecordValues& record) {
                return history.Add(record.eventId, record.systemTime, record.values);
            });
    } catch (const std::bad_alloc&) {
        reading->error = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        reading->error = ERROR_INTERNAL_ERROR;
    }
    // What was read before a failure is shown with it.
    try {
        reading->starts = history.Starts();
        reading->leftOut = history.LeftOut();
    } catch (...) {
        reading->starts.clear();
        if (reading->error == 0) reading->error = ERROR_NOT_ENOUGH_MEMORY;
    }
    // A window closed meanwhile takes nothing: the reading goes with this thread.
    if (::PostMessageW(reading->window, kReadMessage, 0, reinterpret_cast<LPARAM>(reading.get()))) {
        reading.release();
    }
    return 0;
}

void HistoryWindow::OnRead(std::unique_ptr<Reading> reading) {
    starts_ = std::move(reading->starts);
    std::vector<std::wstring> lines;
    if (reading->error != 0) {
        const std::int32_t number = static_cast<std::int32_t>(reading->error);
        std::wstring line =
            platform::Text(IDS_HISTORY_READ_ERROR,
                           {platform::SystemErrorText(platform::HresultFromWin32(reading->error))});
        if (!starts_.empty()) line = platform::Text(IDS_HISTORY_READ_PARTIAL, {line});
        lines.push_back(std::move(line));
        platform::Report(L"history error " + platform::NumberText(number));
    } else if (starts_.empty()) {
        lines.push_back(platform::Text(IDS_HISTORY_EMPTY));
    }
    if (reading->leftOut > 0) lines.push_back(LeftOutText(reading->leftOut, texts_));
    stateText_.clear();
    for (const std::wstring& line : lines)
        stateText_ += (stateText_.empty() ? L"" : L"\r\n") + line;

    std::vector<std::vector<std::wstring>> rows;
    for (const RecordedStart& start : starts_) {
        std::vector<std::wstring> row{platform::LocalShortDateTime(start.time)};
        for (std::wstring& column : StartColumns(start, decimalSeparator_, texts_)) {
            row.push_back(std::move(column));
        }
        rows.push_back(std::move(row));
    }
    list_.SetRows(std::move(rows));
    std::vector<const StartupReport*> reports;
    for (const RecordedStart& start : starts_) {
        if (start.startup) reports.push_back(&*start.startup);
    }
    entries_.SetRows(EntrySummaryRows(SummarizeEntries(reports), reports.size(), texts_));
    // The newest start's programs at once; a change of selection shows another's.
    list_.SelectRow(0);
    ShowStartup();
    summary_.SetText(starts_.empty() ? L"" : HistorySummary(starts_, decimalSeparator_, texts_));
    state_.SetText(stateText_);
    chart_.SetText(ChartDescription(starts_, decimalSeparator_, texts_));
    Layout();
    if (reading->error == 0 || !starts_.empty()) {
        platform::Report(L"history read " + platform::NumberText(starts_.size()));
    }
    // Painted now rather than when the queue comes to it: the window's first paint with what was
    // read, the list's rows and the chart included, is then over when this line is written.
    if (!paintReported_) {
        paintReported_ = true;
        ::RedrawWindow(window_.Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        platform::Report(L"history painted " + platform::NumberText(starts_.size()));
    }
    if (reading->leftOut > 0) {
        platform::Report(L"history left out " + platform::NumberText(reading->leftOut));
    }
}

std::optional<LRESULT> HistoryWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case kReadMessage:
            OnRead(std::unique_ptr<Reading>(reinterpret_cast<Reading*>(lparam)));
            return 0;
        case kOpenedMessage: {
            const auto error = static_cast<std::uint32_t>(wparam);
            platform::Report(L"history start-up apps " + platform::NumberText(error));
            if (error != 0) {
                stateText_ = platform::FillIn(
                    texts_, IDS_STARTUP_CANNOT_OPEN,
                    {platform::SystemErrorText(platform::HresultFromWin32(error))});
                state_.SetText(stateText_);
                Layout();
            }
            return 0;
        }
        case WM_SIZE:
            Layout();
            return 0;
        case WM_CTLCOLORSTATIC: {
            // The texts lie on the window's own background, not on a dialog's.
            auto dc = reinterpret_cast<HDC>(wparam);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
            if (item->CtlID != kChartId) return std::nullopt;
            DrawChart(item->hDC, item->rcItem);
            return TRUE;
        }
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
            limits->ptMinTrackSize = {::MulDiv(480, window_.Dpi(), 96),
                                      ::MulDiv(480, window_.Dpi(), 96)};
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->idFrom == kListId && header->code == LVN_ITEMCHANGED) {
                const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
                if ((change->uChanged & LVIF_STATE) &&
                    ((change->uOldState ^ change->uNewState) & LVIS_SELECTED)) {
                    ShowStartup();
                    // Its line may take more rows, its programs other column widths.
                    Layout();
                }
            }
            if (header->code == LVN_KEYDOWN) {
                const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lparam);
                if (key->wVKey == 'C' && ::GetKeyState(VK_CONTROL) < 0) {
                    if (header->idFrom == kListId) CopyRows(list_, HistoryColumns(texts_));
                    if (header->idFrom == kProgramsId) CopyRows(programs_, StartupProgramColumns(texts_));
                    if (header->idFrom == kEntriesId) CopyRows(entries_, EntrySummaryColumns(texts_));
                }
                if (key->wVKey == VK_ESCAPE) window_.UnloadWindow();
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

void HistoryWindow::ShowStartup() {
    const std::vector<std::size_t> selected = list_.SelectedRows();
    const RecordedStart* shown =
        !selected.empty() && selected[0] < starts_.size() ? &starts_[selected[0]] : nullptr;
    std::wstring text = texts_(!shown ? IDS_STARTUP_NO_START_SELECTED : IDS_STARTUP_NOT_WATCHED);
    std::vector<std::vector<std::wstring>> rows;
    if (shown && shown->startup) {
        std::vector<std::optional<std::int64_t>> othersSettled;
        for (const RecordedStart& start : starts_) {
            if (&start != shown && start.startup) othersSettled.push_back(start.startup->settledMs);
        }
        text = StartupSummary(*shown->startup, othersSettled, decimalSeparator_, texts_);
        rows = StartupProgramRows(*shown->startup, decimalSeparator_, texts_);
    }
    const std::size_t count = rows.size();
    startupSummary_.SetText(text);
    programs_.SetRows(std::move(rows));
    if (shown) platform::Report(L"history programs " + platform::NumberText(count));
}

void HistoryWindow::OpenStartupApps() {
    platform::OpenWithShellInBackground(startupAppsInSettings_ ? kStartupAppsUri : kTaskManager,
                                        window_.Handle(), kOpenedMessage);
}

void HistoryWindow::CopyRows(const platform::ReportList& from,
                             const std::vector<std::wstring>& header) {
    const auto& rows = from.Rows();
    std::vector<std::size_t> selected = from.SelectedRows();
    std::vector<std::vector<std::wstring>> copied;
    if (selected.empty()) {
        copied = rows;
    } else {
        for (std::size_t index : selected) {
            if (index < rows.size()) copied.push_back(rows[index]);
        }
    }
    if (platform::CopyTextToClipboard(window_.Handle(), TabSeparated(header, copied))) {
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
    const int margin = px(10);
    const int width = std::max<int>(client.right - 2 * margin, 0);

    int stateHeight = 0;
    int linkWidth = 0;
    HDC screen = ::GetDC(window);
    {
        auto font = reinterpret_cast<HFONT>(::SendMessageW(list_.Handle(), WM_GETFONT, 0, 0));
        platform::SelectedObject select(screen, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(screen, &metrics);
        lineHeight_ = std::max<int>(metrics.tmHeight, 1);
        SIZE caption{};
        const std::wstring linkText = texts_(
            startupAppsInSettings_ ? IDS_STARTUP_OPEN_SETTINGS : IDS_STARTUP_OPEN_TASK_MANAGER);
        ::GetTextExtentPoint32W(screen, linkText.data(), static_cast<int>(linkText.size()),
                                &caption);
        // The link's own text, and room for its focus rectangle.
        linkWidth = std::min<int>(caption.cx + px(4), width);
        if (!stateText_.empty()) {
            RECT measure{0, 0, width, 0};
            ::DrawTextW(screen, stateText_.c_str(), static_cast<int>(stateText_.size()), &measure,
                        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            stateHeight = measure.bottom;
        }
    }
    ::ReleaseDC(window, screen);

    // Top down: the summary, the state, the chart, the list; what has nothing to say is hidden.
    int y = margin;
    const auto next = [&](platform::StaticText& text, bool shown, int height) {
        if (!shown) {
            text.Place({});
            return;
        }
        text.Place({margin, y, margin + width, y + height});
        y += height + margin / 2;
    };
    // The texts that vary take the lines they need where the window is narrow or a language long.
    next(summary_, !starts_.empty(), std::max(summary_.TextHeight(width), lineHeight_));
    next(state_, !stateText_.empty(), stateHeight);
    const bool bars = std::any_of(starts_.begin(), starts_.end(),
                                  [](const RecordedStart& start) { return start.Measured(); });
    // Below the chart: the starts, the line about the selected one, its programs beside the
    // entries of all, and the link under them.
    const int linkHeight = lineHeight_ + px(4);
    const int rest = std::max<int>(client.bottom - y - margin, 0);
    next(chart_, bars, std::max(rest * 3 / 10, 6 * lineHeight_));
    const int listHeight = std::max<int>((client.bottom - y) * 3 / 10, 5 * lineHeight_);
    list_.Place({margin, y, margin + width, y + listHeight}, {5, 2, 4, 2, 4, 7});
    y += listHeight + margin / 2;
    next(startupSummary_, !starts_.empty(),
         std::max(startupSummary_.TextHeight(width), 2 * lineHeight_));
    const int linkTop = std::max<int>(client.bottom - margin - linkHeight, y);
    const int half = (width - margin / 2) / 2;
    const int listsBottom = std::max<int>(linkTop - margin / 2, y);
    if (programs_.NeededWidth() <= half && entries_.NeededWidth() <= half) {
        programs_.Place({margin, y, margin + half, listsBottom}, {6, 2, 3, 3, 3});
        entries_.Place({margin + width - half, y, margin + width, listsBottom}, {6, 2, 3, 3, 3});
    } else {
        // Where a language's headers need more than half the width, one above the other.
        const int middle = y + std::max<int>(listsBottom - y - margin / 2, 0) / 2;
        programs_.Place({margin, y, margin + width, middle}, {6, 2, 3, 3, 3});
        entries_.Place({margin, std::min(middle + margin / 2, listsBottom), margin + width,
                        listsBottom},
                       {6, 2, 3, 3, 3});
    }
    ::SetWindowPos(startupApps_.Handle(), nullptr, margin, linkTop, linkWidth, linkHeight,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(chart_.Handle(), nullptr, FALSE);
    // The margins that a moved control uncovered; the controls themselves are clipped out.
    ::InvalidateRect(window, nullptr, FALSE);
}

void HistoryWindow::DrawChart(HDC target, RECT area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    // Drawn off-screen first, so that nothing flickers while the window is resized.
    platform::UniqueMemoryDc canvas(::CreateCompatibleDC(target));
    platform::UniqueBitmap surface(::CreateCompatibleBitmap(target, width, height));
    if (!canvas || !surface) return;
    HDC dc = canvas.Get();
    platform::SelectedObject selectSurface(dc, surface.Get());
    const RECT box{0, 0, width, height};
    ::FillRect(dc, &box, ::GetSysColorBrush(COLOR_WINDOW));

    const int dpi = window_.Dpi();
    const auto px = [dpi](int n) { return ::MulDiv(n, dpi, 96); };
    auto font = reinterpret_cast<HFONT>(::SendMessageW(list_.Handle(), WM_GETFONT, 0, 0));
    platform::SelectedObject selectFont(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    const COLORREF textColour = ::GetSysColor(COLOR_WINDOWTEXT);

    // The legend along the top, wrapped where the chart is narrow: the phases in each kind's
    // shades, the hatching of an included wait, and which hue is which kind.
    // A label without a phase names the hues.
    const std::pair<std::optional<ChartPhase>, std::wstring> legend[] = {
        {ChartPhase::WindowsStart, texts_(IDS_PHASE_WINDOWS_START)},
        {ChartPhase::SigningIn, texts_(IDS_PHASE_SIGNING_IN)},
        {ChartPhase::Wait, texts_(IDS_LEGEND_WAIT)},
        {std::nullopt, texts_(IDS_LEGEND_KINDS)},
    };
    const int swatch = lineHeight_ * 2 / 3;
    int x = 0;
    int legendY = 0;
    for (const auto& [phase, label] : legend) {
        const int itemWidth = (phase ? swatch + px(4) : 0) + TextWidth(dc, label);
        if (x > 0 && x + itemWidth > width) {
            x = 0;
            legendY += lineHeight_;
        }
        const int swatchTop = legendY + (lineHeight_ - swatch) / 2;
        if (phase) {
            // A full boot's shade on the left, a resume's on the right.
            FillPhase(dc, {x, swatchTop, x + swatch / 2, swatchTop + swatch}, kFullBootColours,
                      *phase);
            FillPhase(dc, {x + swatch / 2, swatchTop, x + swatch, swatchTop + swatch},
                      kResumeColours, *phase);
        }
        if (phase) x += swatch + px(4);
        Text(dc, label, {x, legendY, width, legendY + lineHeight_}, DT_LEFT | DT_SINGLELINE,
             textColour);
        x += TextWidth(dc, label) + px(16);
    }

    // The plot: tick labels on its left, the median's label on its right, off the bars, and a
    // line above it for the values of cut bars and the newest bar's mark.
    const std::wstring medianWord = texts_(IDS_CHART_MEDIAN);
    const int axisWidth = TextWidth(dc, L"000.0") + px(6);
    const int medianWidth =
        std::max(TextWidth(dc, medianWord),
                 TextWidth(dc, platform::FillIn(texts_, IDS_SECONDS_VALUE, {L"000.0"}))) +
        px(6);
    // The plot ends half a line above the chart's foot, where the axis's label still fits.
    const ChartRect plot{axisWidth, legendY + lineHeight_ * 2 + px(4), width - medianWidth,
                         height - lineHeight_ / 2 - 1};
    if (plot.right - plot.left >= 2 && plot.bottom - plot.top >= 2) {
        const ChartGeometry chart = LayoutChart(starts_, plot);
        for (const ChartTick& tick : chart.ticks) {
            HorizontalLine(dc, plot.left, plot.right, tick.y,
                           tick.valueMs == 0 ? kAxisColour : kGridColour, PS_SOLID);
            Text(dc, TickText(tick.valueMs, decimalSeparator_),
                 {0, tick.y - lineHeight_ / 2, plot.left - px(6), tick.y + lineHeight_ / 2 + 1},
                 DT_RIGHT | DT_SINGLELINE | DT_VCENTER, textColour);
        }
        for (const ChartBar& bar : chart.bars) {
            const KindColours& colours = ColoursOf(bar.kind);
            for (const ChartSegment& segment : bar.segments) {
                const RECT part{bar.box.left, segment.top, bar.box.right, segment.bottom};
                FillPhase(dc, part, colours, segment.phase);
                if (segment.phase == ChartPhase::Whole && bar.waitIncluded)
                    HatchBox(dc, part, kMarkColour);
            }
            const RECT whole{bar.box.left, bar.box.top, bar.box.right, bar.box.bottom};
            if (bar.cut) {
                // A break across the bar near its top, and its value above it.
                const int breakY = bar.box.top + px(8);
                const int slant = std::max(px(3), 1);
                for (int offset : {0, px(4)}) {
                    Line(dc, {whole.left - 1, breakY + offset + slant},
                         {whole.right + 1, breakY + offset - slant}, kMarkColour, PS_SOLID,
                         std::max(px(2), 1));
                }
                const std::wstring value = SecondsText(bar.valueMs, decimalSeparator_);
                const int valueWidth = TextWidth(dc, value);
                int left = (whole.left + whole.right - valueWidth) / 2;
                left = std::clamp(left, 0, std::max(width - valueWidth, 0));
                Text(dc, value,
                     {left, bar.box.top - lineHeight_ - px(2), left + valueWidth,
                      bar.box.top - px(2)},
                     DT_LEFT | DT_SINGLELINE, textColour);
            }
            if (bar.newest) {
                UniqueBrush frame(::CreateSolidBrush(kNewestColour));
                ::FrameRect(dc, &whole, frame.Get());
                if (!bar.cut) {
                    // A triangle over the newest bar; a cut one has its value there instead.
                    const int middle = (whole.left + whole.right) / 2;
                    const int half = std::max(px(5), 2);
                    const POINT triangle[] = {{middle - half, whole.top - px(3) - half},
                                              {middle + half, whole.top - px(3) - half},
                                              {middle, whole.top - px(3)}};
                    UniquePen outline(::CreatePen(PS_SOLID, 1, kNewestColour));
                    platform::SelectedObject selectPen(dc, outline.Get());
                    platform::SelectedObject selectBrush(dc, frame.Get());
                    ::Polygon(dc, triangle, 3);
                }
            }
        }
        if (chart.medianMs) {
            HorizontalLine(dc, plot.left, plot.right + px(3), chart.medianY, kMedianColour,
                           PS_DASH);
            HorizontalLine(dc, plot.left, plot.right + px(3), chart.medianY + 1, kMedianColour,
                           PS_DASH);
            const RECT labelBox{plot.right + px(5), chart.medianY - lineHeight_, width,
                                chart.medianY + lineHeight_};
            Text(dc,
                 medianWord + L"\n" +
                     platform::FillIn(texts_, IDS_SECONDS_VALUE,
                                      {SecondsText(*chart.medianMs, decimalSeparator_)}),
                 labelBox, DT_LEFT, kMedianColour);
        }
    }
    ::BitBlt(target, area.left, area.top, width, height, dc, 0, 0, SRCCOPY);
}

}  // namespace vossel
