#pragma once
// The start-up history window (Vossel.exe /history): the last starts read back from the event
// log, as a bar chart, a summary line and a list. The log is read off the window's thread.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/start_history.h"
#include "platform/list_view.h"
#include "platform/unique_handle.h"
#include "platform/window.h"

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
    void OnDraw(HDC canvas);
    void Layout();
    void CopyRows();

    std::wstring decimalSeparator_;
    // The text in place of the summary and the chart: reading, unreadable or no records.
    std::wstring statusText_;
    std::vector<RecordedStart> starts_;
    // Client pixels, from Layout.
    RECT summaryBox_{};
    RECT chartBox_{};
    int lineHeight_ = 16;

    platform::ReportList list_;
    // Last, so that it is destroyed first: its teardown still reaches the list.
    platform::Window window_;
};

}  // namespace vossel
