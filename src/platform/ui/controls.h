#pragma once
// Standard child controls: a check box, a push button and static text (list_view.h has a list),
// created when their window loads and destroyed with it.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/ui/twips.h"

namespace vossel::platform {

class Control {
  public:
    Control(int id, TwipRect box, std::wstring caption, DWORD style,
            const wchar_t* windowClass = L"BUTTON", DWORD exStyle = 0)
        : id_(id),
          box_(box),
          caption_(std::move(caption)),
          style_(style),
          windowClass_(windowClass),
          exStyle_(exStyle) {}
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    std::function<void()> Click;

    int Id() const { return id_; }
    HWND Handle() const { return handle_; }
    // For the owner window; controls are created in tab order.
    void Create(HWND owner, int dpi, HFONT font);
    // After a change of the window's DPI.
    void Rescale(int dpi, HFONT font);
    void Destroyed() { handle_ = nullptr; }

    // Whether the control's notification (WM_NOTIFY) of this code is its Click.
    virtual bool NotifiesClick(UINT) const { return false; }

  protected:
    // Right after the window of the control was created.
    virtual void OnCreated() {}

  private:
    int id_;
    TwipRect box_;
    std::wstring caption_;
    DWORD style_;
    const wchar_t* windowClass_;
    DWORD exStyle_;
    HWND handle_ = nullptr;
};

class CheckBox : public Control {
  public:
    CheckBox(int id, TwipRect box, std::wstring caption)
        : Control(id, box, std::move(caption), BS_AUTOCHECKBOX | WS_TABSTOP) {}
    // 1 ticked, 0 clear.
    int Value() const;
    // Sets the box without raising Click.
    void SetValue(int value);
};

class PushButton : public Control {
  public:
    PushButton(int id, TwipRect box, std::wstring caption)
        : Control(id, box, std::move(caption), BS_PUSHBUTTON | WS_TABSTOP) {}
};

// A link of the common controls (SysLink) whose whole text is the one link: a click, or Enter
// once the Tab key has reached it, raises Click. Screen readers read it as a link. The text is
// the program's own and holds no markup; a link takes no access key.
class Link : public Control {
  public:
    Link(int id, TwipRect box, const std::wstring& text);
    bool NotifiesClick(UINT code) const override;
};

// Registers the classes of the common controls (ICC_* flags) that a window is about to create.
// Bound late: only the windows that use them load the library, never the main window's start.
bool LoadCommonControls(DWORD classes);

// Text in the system's static control, which screen readers read as its window text. An
// owner-drawn one (SS_OWNERDRAW) is painted by its window on WM_DRAWITEM and read the same way.
class StaticText : public Control {
  public:
    StaticText(int id, DWORD style) : Control(id, {}, L"", style | SS_NOPREFIX, L"STATIC") {}
    void SetText(const std::wstring& text);
    // Client pixels. An empty box hides the control, so that a screen reader passes it by.
    void Place(RECT box);
    // The height its text takes in its font, broken into lines of at most `width` pixels.
    int TextHeight(int width) const;
};

}  // namespace vossel::platform
