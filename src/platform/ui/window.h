#pragma once
// A top-level window of the little toolkit: standard resizable frame, title, icon, a system colour
// behind an optional picture drawn unscaled at the origin, windowless labels, timers and child
// controls. The client area is placed and sized in twips. Nothing is retained: every paint
// redraws everything and raises the Paint notification.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/accessible_window.h"
#include "platform/ui/controls.h"
#include "platform/ui/label.h"
#include "platform/ui/timer.h"
#include "platform/ui/twips.h"
#include "platform/unique_handle.h"

namespace vossel::platform {

struct WindowDesign {
    const wchar_t* className = nullptr;
    std::wstring title;
    int iconId = 0;
    int backColorIndex = COLOR_BTNFACE;
    int pictureId = 0;  // a bitmap resource, or 0
    TwipRect client;
    // Esc, which the dialog keys of a window with controls turn into IDCANCEL, unloads it.
    bool escapeUnloads = false;
};

class Window : private AccessibleContent {
  public:
    explicit Window(WindowDesign design);
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    // Notifications; an empty one is not raised.
    std::function<void()> Load;
    std::function<void()> Paint;
    // A close request (close button, system menu, Alt+F4). Setting cancel keeps the window;
    // without a handler it unloads.
    std::function<void(bool& cancel)> CloseRequest;
    // After the window and its controls are gone.
    std::function<void()> Unloaded;
    // The session is ending (log-off or shutdown), which no close handler may delay.
    std::function<void()> SessionEnd;
    // What a screen reader reads as the window's description, e.g. when the window appears.
    std::function<std::wstring()> Description;
    // Draws on the off-screen canvas after Paint, before the labels.
    std::function<void(HDC canvas)> Draw;
    // Sees every message first, for what a form handles itself (its controls' notifications, a
    // resize, messages of its own); an answer ends the message there.
    std::function<std::optional<LRESULT>(UINT message, WPARAM wparam, LPARAM lparam)> Message;

    // Labels are drawn in the order they are added (the stacking order, bottom first);
    // controls are created in the order they are added (the tab order).
    void Add(Label& label);
    void Add(Timer& timer) { timers_.push_back(&timer); }
    void Add(Control& control) { controls_.push_back(&control); }
    // An item after a separator at the end of the system menu; choosing it runs the handler.
    void AddSystemMenuItem(std::wstring text, std::function<void()> handler);

    enum class Activation { kActivate, kLeaveFocus };
    // Modeless show: loads the window first when it is not loaded (creating its controls and
    // raising Load while still hidden), then shows it, and activates it unless told to leave the
    // keyboard focus where it is.
    void Show(Activation activation = Activation::kActivate);
    void UnloadWindow();
    bool IsLoaded() const { return handle_ != nullptr; }
    HWND Handle() const { return handle_; }
    int Dpi() const { return dpi_; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                       LPARAM lparam) noexcept;
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void LoadWindow();
    void SetClientRect(const PixelRect& client);
    // Inside a monitor's work area, and beside a topmost window of the program rather than under.
    void KeepOnScreen();
    void OnDpiChanged(int dpi, const RECT* suggested);
    void OnPaint();
    void OnDestroyed();
    Label* LabelAt(POINT p) const;
    // The control with a click handler of this id, if any.
    Control* ClickableControl(int id) const;

    HWND AccessibleHandle() const override { return handle_; }
    std::vector<AccessibleElement> AccessibleElements() const override;
    std::wstring AccessibleDescription() const override;
    void RequestDefaultAction(size_t index) override;

    struct SystemMenuItem {
        UINT command;
        std::wstring text;
        std::function<void()> handler;
    };

    WindowDesign design_;
    HWND handle_ = nullptr;
    int dpi_ = 96;
    UniqueBitmap picture_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    UniqueFont controlFont_;
    std::vector<Label*> labels_;
    std::vector<Timer*> timers_;
    std::vector<Control*> controls_;
    Label* pressedLabel_ = nullptr;
    std::vector<SystemMenuItem> systemMenuItems_;
    AccessibleRoot accessible_{*this};
};

// After a run-time error: no handler runs again and every timer stops, so a message box cannot
// re-enter the program.
void StopAllHandlers();

// Runs the message loop until WM_QUIT; Tab and Space reach the controls of windows that hold some.
int RunMessageLoop();

// A visible topmost window of this thread other than `except`, or null: one that would hide a
// window or message box opened under it.
HWND VisibleTopmostWindow(HWND except = nullptr);

// The screen's dots per inch (96 at 100 %, 120 at 125 %).
int ScreenDpi();

}  // namespace vossel::platform
