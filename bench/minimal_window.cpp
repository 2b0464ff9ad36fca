// The baseline for the benchmark: the least a Win32 window program can do. One window, one line
// of text painted with the stock GUI font, and the same debug line Vossel reports when its
// caption first appears, so one driver times both from process creation to that line.
#include <windows.h>

namespace {

const wchar_t kText[] = L"0.000";

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            HGDIOBJ previous = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
            TextOutW(dc, 16, 16, kText, static_cast<int>(wcslen(kText)));
            SelectObject(dc, previous);
            EndPaint(window, &paint);
            // GWLP_USERDATA marks the first paint; later paints stay silent as Vossel's do.
            if (!GetWindowLongPtrW(window, GWLP_USERDATA)) {
                SetWindowLongPtrW(window, GWLP_USERDATA, 1);
                OutputDebugStringW(L"Vossel: Label2 = \"0.000\"");
            }
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"MinimalWindow";
    if (!RegisterClassExW(&windowClass)) return 1;

    // The same client size as Vossel's window, so both paint the same area.
    RECT frame{0, 0, 267, 163};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&frame, style, FALSE);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Minimal", style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left,
                                  frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
