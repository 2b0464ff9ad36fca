#pragma once
// The start-up history window (Vossel.exe /history): the last starts read back from the event
// log, as a summary line, a bar chart of their phases and a list. The log is read off the
// window's thread.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/start_history.h"
#include "platform/ui/controls.h"
#include "platform/ui/list_view.h"
#include "platform/unique_handle.h"
#include "platform/ui/window.h"

namespace vossel {

inline constexpr wchar_t kHistoryWindowClass[] = L"VosselHistory";

// The one argument that opens the history window: "/history" in any case.
bool IsHistoryCommand(const std::vector<std::wstring>& arguments);

// Runs the history window until it is closed; a second one brings the open one to the front and
// ends. Returns the exit code.
int RunHistoryWindow();

class HistoryWindow final {
  public:
    HistoryWindow();
    HistoryWindow(const HistoryWindow&) = delete;
    HistoryWindow& operator=(const HistoryWindow&) = delete;
    ~HistoryWindow();

    // After the window and its list are gone.
    std::function<void()> Unloaded;

    void Show();

  private:
    struct Reading;
    static DWORD WINAPI ReadLog(void* target) noexcept;

    void OnLoad();
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnRead(std::unique_ptr<Reading> reading);
    void DrawChart(HDC dc, RECT area);
    void Layout();
    // The rows of `from` that are selected, or all of them, under its header.
    void CopyRows(const platform::ReportList& from, const std::vector<std::wstring>& header);
    // The selected start's programs, the settling against the others', and the shown starts'
    // entries.
    void ShowStartup();
    void OpenStartupApps();

    std::wstring decimalSeparator_;
    platform::TextLookup texts_;  // in the user's display language
    // What the window says besides the starts: reading, no records, unreadable, records left out.
    std::wstring stateText_;
    std::vector<RecordedStart> starts_;
    bool paintReported_ = false;  // the first paint with the records read
    int lineHeight_ = 16;

    // Real text in static controls, so that screen readers find the summary, the state and the
    // chart (its description is the owner-drawn chart's text), in this order, then the list.
    platform::StaticText summary_;
    platform::StaticText state_;
    platform::StaticText chart_;
    platform::ReportList list_;
    // What started with the selected start, then every shown start's entries, then the way to
    // Windows' own place for start-up apps.
    platform::StaticText startupSummary_;
    platform::ReportList programs_;
    platform::ReportList entries_;
    bool startupAppsInSettings_ = false;  // else Task Manager
    platform::Link startupApps_;
    // Last, so that it is destroyed first: its teardown still reaches the controls.
    platform::Window window_;
};

}  // namespace vossel
