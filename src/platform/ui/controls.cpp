#include "platform/ui/controls.h"

#include <commctrl.h>

#include "platform/late_bound.h"

namespace vossel::platform {
namespace {

LateBound<decltype(&::InitCommonControlsEx)> initCommonControlsEx{L"comctl32.dll",
                                                                  "InitCommonControlsEx"};

}  // namespace

bool LoadCommonControls(DWORD classes) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), classes};
    return initCommonControlsEx(&controls) != FALSE;
}

Link::Link(int id, TwipRect box, const std::wstring& text)
    : Control(id, box, L"<a>" + text + L"</a>", WS_TABSTOP, WC_LINK) {
    static const bool registered = LoadCommonControls(ICC_LINK_CLASS);
    (void)registered;
}

bool Link::NotifiesClick(UINT code) const { return code == NM_CLICK || code == NM_RETURN; }

void Control::Create(HWND owner, int dpi, HFONT font) {
    const PixelRect px = TwipsToPixels(box_, dpi);
    handle_ = ::CreateWindowExW(exStyle_, windowClass_, caption_.c_str(), WS_CHILD | WS_VISIBLE | style_,
                                px.left, px.top, px.width, px.height, owner,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                                ::GetModuleHandleW(nullptr), nullptr);
    if (handle_ && font) ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (handle_) OnCreated();
}

void Control::Rescale(int dpi, HFONT font) {
    if (!handle_) return;
    const PixelRect px = TwipsToPixels(box_, dpi);
    ::SetWindowPos(handle_, nullptr, px.left, px.top, px.width, px.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (font) ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

int CheckBox::Value() const {
    return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CheckBox::SetValue(int value) {
    ::SendMessageW(Handle(), BM_SETCHECK, value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
}

void StaticText::SetText(const std::wstring& text) {
    if (!Handle()) return;
    ::SetWindowTextW(Handle(), text.c_str());
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void StaticText::Place(RECT box) {
    if (!Handle()) return;
    const bool empty = box.right <= box.left || box.bottom <= box.top;
    ::SetWindowPos(Handle(), nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | (empty ? SWP_HIDEWINDOW : SWP_SHOWWINDOW));
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

int StaticText::TextHeight(int width) const {
    HWND control = Handle();
    if (!control) return 0;
    const int length = ::GetWindowTextLengthW(control);
    if (length <= 0) return 0;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), length + 1)));
    HDC dc = ::GetDC(control);
    if (!dc) return 0;
    auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    RECT measure{0, 0, width, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return measure.bottom;
}

}  // namespace vossel::platform
