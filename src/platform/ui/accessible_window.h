#pragma once
// The Active Accessibility object of a window whose labels are windowless: screen readers (and UI
// Automation clients, through the system's MSAA proxy) read the labels as its children.
#include <windows.h>

#include <string>
#include <vector>

namespace vossel::platform {

// One windowless element as a screen reader sees it.
struct AccessibleElement {
    std::wstring name;
    bool link = false;  // a link whose default action is a click; otherwise static text
    RECT box{};         // client pixels
};

// The window's side, read afresh on every call so that the answers follow the window.
class AccessibleContent {
  public:
    virtual HWND AccessibleHandle() const = 0;
    // Child ids 1..n, in this order.
    virtual std::vector<AccessibleElement> AccessibleElements() const = 0;
    // Empty: the system's own answer.
    virtual std::wstring AccessibleDescription() const = 0;
    // The element's default action, carried out later from the window's own queue: never inside
    // a screen reader's call, which would wait on whatever the handler shows.
    virtual void RequestDefaultAction(size_t index) = 0;

  protected:
    ~AccessibleContent() = default;
};

class AccessibleObject;

// The window's end of its accessible object: made on the first request and cut off when the
// window goes, after which a client that still holds the object gets CO_E_OBJNOTCONNECTED.
class AccessibleRoot {
  public:
    explicit AccessibleRoot(AccessibleContent& content) : content_(content) {}
    AccessibleRoot(const AccessibleRoot&) = delete;
    AccessibleRoot& operator=(const AccessibleRoot&) = delete;
    ~AccessibleRoot() { Disconnect(); }

    // The answer to WM_GETOBJECT for OBJID_CLIENT, or for OBJID_ALERT: the description alone, as
    // an alert.
    LRESULT Answer(WPARAM wparam, LONG objectId);
    void Disconnect() noexcept;

  private:
    AccessibleContent& content_;
    AccessibleObject* client_ = nullptr;  // one reference each, ours
    AccessibleObject* alert_ = nullptr;
};

// Speaks the sentence to a screen reader, whatever has the focus: a UI Automation notification
// where Windows has it, else an alert event whose object is the window's description. Says what
// was done and, for the notification, its result, for the debug output.
std::wstring Announce(HWND window, const std::wstring& sentence);

// Tells clients that child childId (1-based) has a new name, and so the window a new description.
void NotifyNameChange(HWND window, LONG childId);

}  // namespace vossel::platform
