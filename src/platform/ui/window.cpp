#include "platform/ui/window.h"

#include <dwmapi.h>

#include <algorithm>
#include <vector>

#include "platform/late_bound.h"
#include "platform/ui/placement.h"
#include "platform/runtime_error.h"
#include "platform/texts.h"

namespace vossel::platform {
namespace {

bool handlersStopped = false;

// A label's default action, asked for by a screen reader: wparam is the label's index.
constexpr UINT kLabelActionMessage = WM_USER + 1;
// System-menu commands of our own: below the system's 0xF000, low four bits clear (the system
// uses them).
constexpr UINT kFirstSystemMenuCommand = 0x0100;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

void RegisterWindowClass(const wchar_t* className, int iconId, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(Instance(), className, &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = Instance();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = iconId ? ::LoadIconW(Instance(), MAKEINTRESOURCEW(iconId)) : nullptr;
    wc.lpszClassName = className;
    ::RegisterClassExW(&wc);
}

UniqueIcon LoadIconSized(int iconId, int metric) {
    const int size = ::GetSystemMetrics(metric);
    return UniqueIcon(static_cast<HICON>(
        ::LoadImageW(Instance(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, 0)));
}

// Per-monitor DPI functions: Windows 8.1 (shcore) and Windows 10 1607 (user32) onwards. Where they
// are missing, the whole desktop runs at the system DPI. Spelled out: the headers declare them
// only for a newer target than the program's.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND window);
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR monitor, int type, UINT* x, UINT* y);
using SystemParametersInfoForDpiFunction = BOOL(WINAPI*)(UINT action, UINT param, void* data,
                                                         UINT winIni, UINT dpi);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT* rect, DWORD style, BOOL menu,
                                                       DWORD exStyle, UINT dpi);
LateBound<GetDpiForWindowFunction> getDpiForWindow{L"user32.dll", "GetDpiForWindow"};
LateBound<GetDpiForMonitorFunction> getDpiForMonitor{L"shcore.dll", "GetDpiForMonitor"};
LateBound<SystemParametersInfoForDpiFunction> systemParametersInfoForDpi{
    L"user32.dll", "SystemParametersInfoForDpi"};
LateBound<AdjustWindowRectExForDpiFunction> adjustWindowRectExForDpi{
    L"user32.dll", "AdjustWindowRectExForDpi"};
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
// dwmapi, Windows Vista onwards; where it fails (no composition, or Wine) the window rectangle is
// the frame.
LateBound<decltype(&::DwmGetWindowAttribute)> dwmGetWindowAttribute{L"dwmapi.dll",
                                                                     "DwmGetWindowAttribute"};

int MonitorDpi(HMONITOR monitor) {
    UINT x = 0;
    UINT y = 0;
    if (auto get = getDpiForMonitor.Find();
        get && monitor && SUCCEEDED(get(monitor, kEffectiveDpi, &x, &y)) && x > 0) {
        return static_cast<int>(x);
    }
    return ScreenDpi();
}

int WindowDpi(HWND window) {
    if (auto get = getDpiForWindow.Find()) {
        if (const UINT dpi = get(window); dpi > 0) return static_cast<int>(dpi);
    }
    return MonitorDpi(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

UniqueFont MessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (auto forDpi = systemParametersInfoForDpi.Find();
        forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
        return UniqueFont(::CreateFontIndirectW(&metrics.lfMessageFont));
    }
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return UniqueFont();
    }
    // These metrics are at the system DPI.
    metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, dpi, ScreenDpi());
    return UniqueFont(::CreateFontIndirectW(&metrics.lfMessageFont));
}

RECT ToRect(const PixelRect& r) { return {r.left, r.top, r.left + r.width, r.top + r.height}; }

ScreenRect ToScreenRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// The visible frame, without the invisible resize borders that the window rectangle holds on
// Windows 10 and 11. In physical pixels, as the window rectangle is for a per-monitor aware
// program.
ScreenRect VisibleFrame(HWND window, const ScreenRect& windowRect) {
    RECT frame{};
    if (auto get = dwmGetWindowAttribute.Find();
        get && SUCCEEDED(get(window, DWMWA_EXTENDED_FRAME_BOUNDS, &frame, sizeof(frame))) &&
        frame.right > frame.left && frame.bottom > frame.top) {
        return ToScreenRect(frame);
    }
    return windowRect;
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, RECT*, LPARAM data) noexcept {
    auto& areas = *reinterpret_cast<std::vector<ScreenRect>*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(monitor, &info)) return TRUE;
    try {
        // The primary monitor first: it wins a tie.
        const ScreenRect area = ToScreenRect(info.rcWork);
        if (info.dwFlags & MONITORINFOF_PRIMARY) {
            areas.insert(areas.begin(), area);
        } else {
            areas.push_back(area);
        }
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

std::vector<ScreenRect> WorkAreas() {
    std::vector<ScreenRect> areas;
    ::EnumDisplayMonitors(nullptr, nullptr, &AddWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

struct TopmostSearch {
    HWND self;
    HWND found;
};

BOOL CALLBACK FindTopmost(HWND window, LPARAM data) noexcept {
    auto& search = *reinterpret_cast<TopmostSearch*>(data);
    if (window == search.self || !::IsWindowVisible(window) ||
        !(::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { ::EndPaint(hwnd_, &ps_); }
    HDC Dc() const { return dc_; }
    const RECT& Area() const { return ps_.rcPaint; }

  private:
    HWND hwnd_;
    HDC dc_;
    PAINTSTRUCT ps_{};
};

}  // namespace

Window::Window(WindowDesign design) : design_(std::move(design)) {}

Window::~Window() {
    // The owner is going away: its windows go without telling it.
    Unloaded = nullptr;
    if (handle_) ::DestroyWindow(handle_);
}

void Window::Add(Label& label) {
    labels_.push_back(&label);
    const LONG childId = static_cast<LONG>(labels_.size());
    label.CaptionChanged = [this, childId] { NotifyNameChange(handle_, childId); };
}

void Window::AddSystemMenuItem(std::wstring text, std::function<void()> handler) {
    const auto command =
        static_cast<UINT>(kFirstSystemMenuCommand + 0x10 * systemMenuItems_.size());
    systemMenuItems_.push_back({command, std::move(text), std::move(handler)});
}

std::vector<AccessibleElement> Window::AccessibleElements() const {
    std::vector<AccessibleElement> elements;
    for (const Label* label : labels_) {
        elements.push_back({label->AccessibleName(), label->Click != nullptr, label->PixelBox()});
    }
    return elements;
}

std::wstring Window::AccessibleDescription() const { return Description ? Description() : L""; }

void Window::RequestDefaultAction(size_t index) {
    ::PostMessageW(handle_, kLabelActionMessage, index, 0);
}

void Window::Show(Activation activation) {
    const bool activate = activation == Activation::kActivate;
    if (!handle_) {
        LoadWindow();
        ::ShowWindow(handle_, activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
        // Hidden, a window may have no frame for DWM to tell: place it again now that it has.
        KeepOnScreen();
    } else if (::IsIconic(handle_)) {
        ::ShowWindow(handle_, activate ? SW_RESTORE : SW_SHOWNOACTIVATE);
    } else {
        ::ShowWindow(handle_, activate ? SW_SHOW : SW_SHOWNA);
    }
    if (!activate) return;
    ::SetForegroundWindow(handle_);
    if (!controls_.empty() && controls_.front()->Handle()) ::SetFocus(controls_.front()->Handle());
}

void Window::UnloadWindow() {
    if (handle_) ::DestroyWindow(handle_);
}

void Window::LoadWindow() {
    RegisterWindowClass(design_.className, design_.iconId, &Window::WindowProc);
    // The design place is converted at the DPI of the monitor it falls on.
    const RECT atSystemDpi = ToRect(TwipsToPixels(design_.client, ScreenDpi()));
    const int dpi = MonitorDpi(::MonitorFromRect(&atSystemDpi, MONITOR_DEFAULTTONEAREST));
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    const DWORD exStyle = controls_.empty() ? 0 : WS_EX_CONTROLPARENT;
    RECT outer = ToRect(TwipsToPixels(design_.client, dpi));
    if (auto adjust = adjustWindowRectExForDpi.Find()) {
        adjust(&outer, style, FALSE, exStyle, dpi);
    } else {
        ::AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    }

    HWND created = ::CreateWindowExW(exStyle, design_.className, design_.title.c_str(), style,
                                     outer.left, outer.top, outer.right - outer.left,
                                     outer.bottom - outer.top, nullptr, nullptr, Instance(), this);
    if (!created) throw RuntimeError(kErrorInternal, Text(IDS_ERROR_CREATE_WINDOW, {design_.title}));
    dpi_ = WindowDpi(handle_);
    SetClientRect(TwipsToPixels(design_.client, dpi_));

    if (design_.iconId) {
        bigIcon_ = LoadIconSized(design_.iconId, SM_CXICON);
        smallIcon_ = LoadIconSized(design_.iconId, SM_CXSMICON);
        ::SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.Get()));
        ::SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
    }
    if (design_.pictureId) {
        picture_ = UniqueBitmap(
            static_cast<HBITMAP>(::LoadImageW(Instance(), MAKEINTRESOURCEW(design_.pictureId),
                                              IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    }
    for (Label* label : labels_) label->Realize(handle_, dpi_);
    if (!systemMenuItems_.empty()) {
        HMENU menu = ::GetSystemMenu(handle_, FALSE);
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        for (const auto& item : systemMenuItems_) {
            ::AppendMenuW(menu, MF_STRING, item.command, item.text.c_str());
        }
    }
    if (!controls_.empty()) {
        controlFont_ = MessageFont(dpi_);
        for (Control* control : controls_) control->Create(handle_, dpi_, controlFont_.Get());
    }
    // Last: a move onto a monitor of another scale lays out everything above anew.
    KeepOnScreen();
    for (Timer* timer : timers_) timer->Attach(handle_);
    if (Load && !handlersStopped) Load();
}

void Window::SetClientRect(const PixelRect& client) {
    // The stored place is the client area's; correct for a frame that differs from what
    // AdjustWindowRectEx predicted.
    RECT actual{};
    ::GetClientRect(handle_, &actual);
    POINT origin{0, 0};
    ::ClientToScreen(handle_, &origin);
    const int dx = client.left - origin.x;
    const int dy = client.top - origin.y;
    const int dw = client.width - (actual.right - actual.left);
    const int dh = client.height - (actual.bottom - actual.top);
    if (dx || dy || dw || dh) {
        RECT window{};
        ::GetWindowRect(handle_, &window);
        ::SetWindowPos(handle_, nullptr, window.left + dx, window.top + dy,
                       window.right - window.left + dw, window.bottom - window.top + dh,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Window::KeepOnScreen() {
    RECT window{};
    ::GetWindowRect(handle_, &window);
    // A window the user may resize is made no larger than its monitor's work area, so that all
    // of it, texts and frame, is on the screen.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if ((::GetWindowLongW(handle_, GWL_STYLE) & WS_THICKFRAME) &&
        ::GetMonitorInfoW(::MonitorFromRect(&window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const int width = std::min<int>(window.right - window.left,
                                        monitor.rcWork.right - monitor.rcWork.left);
        const int height = std::min<int>(window.bottom - window.top,
                                         monitor.rcWork.bottom - monitor.rcWork.top);
        if (width != window.right - window.left || height != window.bottom - window.top) {
            ::SetWindowPos(handle_, nullptr, 0, 0, width, height,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            ::GetWindowRect(handle_, &window);
        }
    }
    const ScreenRect current = ToScreenRect(window);
    const std::vector<ScreenRect> areas = WorkAreas();
    RECT neighbour{};
    HWND topmost = VisibleTopmostWindow(handle_);
    const bool avoid = topmost && ::GetWindowRect(topmost, &neighbour);
    const ScreenRect keepClear = avoid ? VisibleFrame(topmost, ToScreenRect(neighbour)) : ScreenRect{};
    const ScreenRect placed = PlaceWindowByFrame(current, VisibleFrame(handle_, current), areas,
                                                 avoid ? &keepClear : nullptr);
    if (placed == current) return;
    ::SetWindowPos(handle_, nullptr, placed.left, placed.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::OnDpiChanged(int dpi, const RECT* suggested) {
    const PixelRect before = TwipsToPixels(design_.client, dpi_);
    RECT client{};
    ::GetClientRect(handle_, &client);
    const bool atDesignSize =
        !::IsZoomed(handle_) && client.right == before.width && client.bottom == before.height;
    dpi_ = dpi;
    for (Label* label : labels_) label->Realize(handle_, dpi_);
    if (!controls_.empty()) {
        // The old font goes only once no control uses it.
        UniqueFont font = MessageFont(dpi_);
        for (Control* control : controls_) control->Rescale(dpi_, font.Get());
        controlFont_ = std::move(font);
    }
    if (suggested) {
        ::SetWindowPos(handle_, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (atDesignSize) {
        // Windows scales the frame and the client area together and may round the client a
        // pixel off the size that the design gives in twips.
        POINT origin{0, 0};
        ::ClientToScreen(handle_, &origin);
        PixelRect wanted = TwipsToPixels(design_.client, dpi_);
        wanted.left = origin.x;
        wanted.top = origin.y;
        SetClientRect(wanted);
    }
    ::InvalidateRect(handle_, nullptr, FALSE);
}

Label* Window::LabelAt(POINT p) const {
    for (auto it = labels_.rbegin(); it != labels_.rend(); ++it) {
        if ((*it)->Contains(p)) return *it;
    }
    return nullptr;
}

Control* Window::ClickableControl(int id) const {
    for (Control* control : controls_) {
        if (control->Id() == id && control->Click) return control;
    }
    return nullptr;
}

void Window::OnPaint() {
    PaintScope paint(handle_);
    RECT client{};
    ::GetClientRect(handle_, &client);
    const int width = client.right;
    const int height = client.bottom;
    if (width <= 0 || height <= 0) return;

    // Drawn off-screen first, so nothing flickers while the labels go over the picture.
    UniqueMemoryDc canvas(::CreateCompatibleDC(paint.Dc()));
    UniqueBitmap surface(::CreateCompatibleBitmap(paint.Dc(), width, height));
    if (!canvas || !surface) return;
    SelectedObject selectSurface(canvas.Get(), surface.Get());

    ::FillRect(canvas.Get(), &client, ::GetSysColorBrush(design_.backColorIndex));
    if (picture_) {
        BITMAP info{};
        ::GetObjectW(picture_.Get(), sizeof(info), &info);
        UniqueMemoryDc source(::CreateCompatibleDC(paint.Dc()));
        SelectedObject selectPicture(source.Get(), picture_.Get());
        ::BitBlt(canvas.Get(), 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY);
    }

    for (Label* label : labels_) label->SetPaintClip(&paint.Area());
    struct ClearClip {
        const std::vector<Label*>& labels;
        ~ClearClip() {
            for (Label* label : labels) label->SetPaintClip(nullptr);
        }
    } clearClip{labels_};
    if (Paint && !handlersStopped) Paint();
    if (Draw && !handlersStopped) Draw(canvas.Get());

    for (const Label* label : labels_) label->Draw(canvas.Get());
    const RECT& area = paint.Area();
    ::BitBlt(paint.Dc(), area.left, area.top, area.right - area.left, area.bottom - area.top,
             canvas.Get(), area.left, area.top, SRCCOPY);
}

void Window::OnDestroyed() {
    accessible_.Disconnect();
    for (Timer* timer : timers_) timer->Detach();
    for (Label* label : labels_) label->Unrealize();
    for (Control* control : controls_) control->Destroyed();
    pressedLabel_ = nullptr;
    handle_ = nullptr;
    picture_.Reset();
    bigIcon_.Reset();
    smallIcon_.Reset();
    controlFont_.Reset();
    if (Unloaded && !handlersStopped) Unloaded();
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                    LPARAM lparam) noexcept {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        auto* self = static_cast<Window*>(create->lpCreateParams);
        self->handle_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        try {
            self->OnDestroyed();
        } catch (...) {
            ReportCurrentException();
        }
        return ::DefWindowProcW(hwnd, message, wparam, lparam);
    }
    // The one place where a handler's error is caught: nothing may unwind through Windows.
    try {
        return self->HandleMessage(message, wparam, lparam);
    } catch (...) {
        ReportCurrentException();
    }
}

LRESULT Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    if (Message && !handlersStopped) {
        if (const std::optional<LRESULT> answer = Message(message, wparam, lparam)) return *answer;
    }
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_TIMER:
            if (handlersStopped) {
                ::KillTimer(handle_, wparam);
                return 0;
            }
            for (Timer* timer : timers_) {
                if (timer->Id() == wparam && timer->Enabled() && timer->Tick) {
                    timer->Tick();
                    return 0;
                }
            }
            return 0;
        case WM_LBUTTONDOWN: {
            if (handlersStopped) return 0;
            Label* label =
                LabelAt({static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
            if (label && label->Click) {
                pressedLabel_ = label;
                ::SetCapture(handle_);
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            Label* pressed = pressedLabel_;
            pressedLabel_ = nullptr;
            if (!pressed) return 0;
            ::ReleaseCapture();
            const POINT p{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            if (!handlersStopped && pressed->Contains(p) && pressed->Click) pressed->Click();
            return 0;
        }
        case WM_CAPTURECHANGED:
            pressedLabel_ = nullptr;
            return 0;
        case WM_COMMAND:
            if (design_.escapeUnloads && LOWORD(wparam) == IDCANCEL) {
                if (!handlersStopped) UnloadWindow();
                return 0;
            }
            if (!handlersStopped && HIWORD(wparam) == BN_CLICKED && lparam) {
                if (Control* control = ClickableControl(LOWORD(wparam))) control->Click();
            }
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (!handlersStopped && header) {
                Control* control = ClickableControl(static_cast<int>(header->idFrom));
                if (control && control->NotifiesClick(header->code)) control->Click();
            }
            return 0;
        }
        case WM_SYSCOMMAND:
            for (const auto& item : systemMenuItems_) {
                if (item.command == (wparam & 0xFFF0)) {
                    if (!handlersStopped && item.handler) item.handler();
                    return 0;
                }
            }
            return ::DefWindowProcW(handle_, message, wparam, lparam);
        case kLabelActionMessage:
            if (!handlersStopped && wparam < labels_.size() && labels_[wparam]->Click) {
                labels_[wparam]->Click();
            }
            return 0;
        case WM_GETOBJECT:
            // Windows with real controls are described well enough by the system.
            if (const auto object = static_cast<LONG>(static_cast<DWORD>(lparam));
                (object == OBJID_CLIENT || object == OBJID_ALERT) && !labels_.empty()) {
                return accessible_.Answer(wparam, object);
            }
            return ::DefWindowProcW(handle_, message, wparam, lparam);
        case WM_CLOSE: {
            if (handlersStopped) return 0;
            bool cancel = false;
            if (CloseRequest) CloseRequest(cancel);
            if (!cancel) UnloadWindow();
            return 0;
        }
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_QUERYENDSESSION:
            // Log-off and shutdown are never blocked, even though close requests are cancelled.
            return TRUE;
        case WM_ENDSESSION:
            if (wparam && SessionEnd) SessionEnd();
            return 0;
        default:
            return ::DefWindowProcW(handle_, message, wparam, lparam);
    }
}

void StopAllHandlers() { handlersStopped = true; }

int RunMessageLoop() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (root && (::GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) &&
            ::IsDialogMessageW(root, &msg)) {
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

HWND VisibleTopmostWindow(HWND except) {
    TopmostSearch search{except, nullptr};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindTopmost, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

}  // namespace vossel::platform
