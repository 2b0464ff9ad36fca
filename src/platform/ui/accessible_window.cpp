#include "platform/ui/accessible_window.h"

#include <oleacc.h>
#include <uiautomationcore.h>
#include <wrl/client.h>

#include <atomic>
#include <new>
#include <optional>

#include "platform/com_apartment.h"
#include "platform/late_bound.h"
#include "platform/number_text.h"
#include "platform/system_api.h"
#include "platform/texts.h"

namespace vossel::platform {
namespace {

using Microsoft::WRL::ComPtr;

// Bound at the first request, so that a run no screen reader looks at never loads oleacc.
LateBound<decltype(&::LresultFromObject)> LresultFromObjectApi{L"oleacc.dll", "LresultFromObject"};
LateBound<decltype(&::CreateStdAccessibleObject)> CreateStdAccessibleObjectApi{
    L"oleacc.dll", "CreateStdAccessibleObject"};

// UI Automation's notification, Windows 10 1709 onwards; spelled out, as the headers lack it.
using UiaHostProviderFromHwndFunction = HRESULT(WINAPI*)(HWND window, IRawElementProviderSimple** provider);
using UiaRaiseNotificationEventFunction = HRESULT(WINAPI*)(IRawElementProviderSimple* provider,
                                                           int kind, int processing,
                                                           BSTR displayString, BSTR activityId);
LateBound<UiaHostProviderFromHwndFunction> UiaHostProviderFromHwndApi{L"uiautomationcore.dll",
                                                                      "UiaHostProviderFromHwnd"};
LateBound<UiaRaiseNotificationEventFunction> UiaRaiseNotificationEventApi{
    L"uiautomationcore.dll", "UiaRaiseNotificationEvent"};
constexpr int kNotificationKindOther = 4;
constexpr int kNotificationProcessingImportantMostRecent = 1;

// Fills a BSTR out-parameter; S_FALSE for nothing to say.
HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    if (text.empty()) return S_FALSE;
    *out = api::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnChildId(LONG id, VARIANT* out) {
    out->vt = VT_I4;
    out->lVal = id;
    return S_OK;
}

// Every method answers through here: a C++ exception never reaches the caller.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

class AccessibleObject final : public IAccessible {
  public:
    AccessibleObject(AccessibleContent& content, bool alert) : alert_(alert), content_(&content) {
        if (alert_) return;
        // The window's own parts (its name, frame, parent, focus) are the system's to describe.
        try {
            CreateStdAccessibleObjectApi(content.AccessibleHandle(), OBJID_CLIENT,
                                         __uuidof(IAccessible),
                                         reinterpret_cast<void**>(standard_.GetAddressOf()));
        } catch (...) {
            standard_.Reset();
        }
    }

    void Disconnect() noexcept {
        content_ = nullptr;
        standard_.Reset();
        // Proxies in other processes let go of us now rather than at their next call.
        if (auto disconnect = api::CoDisconnectObject.Find()) {
            disconnect(static_cast<IAccessible*>(this), 0);
        }
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) ||
            riid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: clients of this object call IAccessible directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!content_) return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->get_accParent(parent) : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return Answer([&] {
            *count = static_cast<LONG>(Elements().size());
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        // The labels are simple elements: no object of their own, only their child ids.
        return ForChild(
            child, [](const AccessibleElement&) { return S_FALSE; }, E_INVALIDARG);
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        return ForChild(
            child, [&](const AccessibleElement& e) { return ReturnText(e.name, name); },
            [&] {
                if (alert_) return ReturnText(content_->AccessibleDescription(), name);
                return standard_ ? standard_->get_accName(child, name) : S_FALSE;
            });
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!value) return E_POINTER;
        *value = nullptr;
        return ForChild(
            child, [](const AccessibleElement&) { return DISP_E_MEMBERNOTFOUND; },
            [&] { return standard_ ? standard_->get_accValue(child, value) : S_FALSE; });
    }

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        if (!description) return E_POINTER;
        *description = nullptr;
        return ForChild(
            child, [](const AccessibleElement&) { return S_FALSE; },
            [&] {
                const std::wstring own = content_->AccessibleDescription();
                if (!own.empty() || !standard_) return ReturnText(own, description);
                return standard_->get_accDescription(child, description);
            });
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        api::VariantInit(role);
        return ForChild(
            child,
            [&](const AccessibleElement& e) {
                return ReturnChildId(e.link ? ROLE_SYSTEM_LINK : ROLE_SYSTEM_STATICTEXT, role);
            },
            [&] {
                if (alert_) return ReturnChildId(ROLE_SYSTEM_ALERT, role);
                return standard_ ? standard_->get_accRole(child, role)
                                 : ReturnChildId(ROLE_SYSTEM_CLIENT, role);
            });
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        api::VariantInit(state);
        return ForChild(
            child,
            [&](const AccessibleElement& e) {
                // The link takes no keyboard focus (the system menu is the keyboard's way to
                // it), so it does not claim to be focusable.
                LONG flags = e.link ? STATE_SYSTEM_LINKED : STATE_SYSTEM_READONLY;
                if (!::IsWindowVisible(content_->AccessibleHandle())) {
                    flags |= STATE_SYSTEM_INVISIBLE;
                }
                return ReturnChildId(flags, state);
            },
            [&] {
                return standard_ ? standard_->get_accState(child, state) : ReturnChildId(0, state);
            });
    }

    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        if (!help) return E_POINTER;
        *help = nullptr;
        return ForChild(
            child, [](const AccessibleElement&) { return S_FALSE; },
            [&] {
                // UI Automation's proxy reads no description but does read help text: the
                // sentence is spoken when the user moves to the window.
                const std::wstring own = content_->AccessibleDescription();
                if (!own.empty() || !standard_) return ReturnText(own, help);
                return standard_->get_accHelp(child, help);
            });
    }

    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = -1;
        return content_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        if (!shortcut) return E_POINTER;
        *shortcut = nullptr;
        return ForChild(
            child, [](const AccessibleElement&) { return S_FALSE; },
            [&] {
                return standard_ ? standard_->get_accKeyboardShortcut(child, shortcut) : S_FALSE;
            });
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_POINTER;
        api::VariantInit(focus);
        return Answer([&] { return standard_ ? standard_->get_accFocus(focus) : S_FALSE; });
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_POINTER;
        api::VariantInit(selection);
        return content_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!action) return E_POINTER;
        *action = nullptr;
        return ForChild(
            child,
            [&](const AccessibleElement& e) {
                return e.link ? ReturnText(Text(IDS_ACTION_CLICK), action) : S_FALSE;
            },
            [&] { return standard_ ? standard_->get_accDefaultAction(child, action) : S_FALSE; });
    }

    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return ForChild(
            child, [](const AccessibleElement&) { return DISP_E_MEMBERNOTFOUND; },
            [&] { return standard_ ? standard_->accSelect(flags, child) : DISP_E_MEMBERNOTFOUND; });
    }

    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        return ForChild(
            child,
            [&](const AccessibleElement& e) {
                POINT origin{e.box.left, e.box.top};
                ::ClientToScreen(content_->AccessibleHandle(), &origin);
                *left = origin.x;
                *top = origin.y;
                *width = e.box.right - e.box.left;
                *height = e.box.bottom - e.box.top;
                return S_OK;
            },
            [&] {
                return standard_ ? standard_->accLocation(left, top, width, height, child) : E_FAIL;
            });
    }

    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        if (!end) return E_POINTER;
        api::VariantInit(end);
        return Answer([&]() -> HRESULT {
            const LONG count = static_cast<LONG>(Elements().size());
            const std::optional<LONG> from = ChildId(start);
            if (!from || *from < 0 || *from > count) return E_INVALIDARG;
            LONG to = 0;
            if (*from == CHILDID_SELF) {
                if (direction == NAVDIR_FIRSTCHILD) {
                    to = 1;
                } else if (direction == NAVDIR_LASTCHILD) {
                    to = count;
                } else {
                    // Siblings of the client area are the window's other parts.
                    return standard_ ? standard_->accNavigate(direction, start, end) : S_FALSE;
                }
            } else if (direction == NAVDIR_NEXT) {
                to = *from + 1;
            } else if (direction == NAVDIR_PREVIOUS) {
                to = *from - 1;
            } else if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
                return E_INVALIDARG;  // a simple element has no children
            } else {
                return DISP_E_MEMBERNOTFOUND;
            }
            if (to < 1 || to > count) return S_FALSE;
            return ReturnChildId(to, end);
        });
    }

    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* found) override {
        if (!found) return E_POINTER;
        api::VariantInit(found);
        return Answer([&]() -> HRESULT {
            HWND window = content_->AccessibleHandle();
            POINT p{x, y};
            ::ScreenToClient(window, &p);
            RECT client{};
            ::GetClientRect(window, &client);
            if (!::PtInRect(&client, p)) {
                return standard_ ? standard_->accHitTest(x, y, found) : S_FALSE;
            }
            // The last element is drawn on top, as a click finds it.
            const auto elements = Elements();
            for (size_t i = elements.size(); i-- > 0;) {
                if (::PtInRect(&elements[i].box, p)) {
                    return ReturnChildId(static_cast<LONG>(i + 1), found);
                }
            }
            return ReturnChildId(CHILDID_SELF, found);
        });
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return Answer([&]() -> HRESULT {
            const std::optional<LONG> id = ChildId(child);
            if (!id) return E_INVALIDARG;
            if (*id == CHILDID_SELF) {
                return standard_ ? standard_->accDoDefaultAction(child) : DISP_E_MEMBERNOTFOUND;
            }
            const auto elements = Elements();
            if (*id < 1 || static_cast<size_t>(*id) > elements.size()) return E_INVALIDARG;
            if (!elements[*id - 1].link) return DISP_E_MEMBERNOTFOUND;
            content_->RequestDefaultAction(static_cast<size_t>(*id - 1));
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    ~AccessibleObject() = default;

    // The alert stands alone: the sentence, with no children.
    std::vector<AccessibleElement> Elements() const {
        return alert_ ? std::vector<AccessibleElement>{} : content_->AccessibleElements();
    }

    static std::optional<LONG> ChildId(const VARIANT& v) {
        if (v.vt == VT_I4) return v.lVal;
        if (v.vt == VT_I2) return v.iVal;
        if (v.vt == VT_EMPTY) return CHILDID_SELF;
        return std::nullopt;
    }

    template <typename Body>
    HRESULT Answer(Body&& body) noexcept {
        if (!content_) return CO_E_OBJNOTCONNECTED;
        return Guarded(body);
    }

    // Runs onChild for a valid child id and onSelf for CHILDID_SELF; anything else is invalid.
    template <typename OnChild, typename OnSelf>
    HRESULT ForChild(const VARIANT& child, OnChild&& onChild, OnSelf&& onSelf) noexcept {
        return Answer([&]() -> HRESULT {
            const std::optional<LONG> id = ChildId(child);
            if (!id) return E_INVALIDARG;
            if (*id == CHILDID_SELF) {
                if constexpr (std::is_invocable_v<OnSelf>) {
                    return onSelf();
                } else {
                    return onSelf;
                }
            }
            const auto elements = Elements();
            if (*id < 1 || static_cast<size_t>(*id) > elements.size()) return E_INVALIDARG;
            return onChild(elements[*id - 1]);
        });
    }

    std::atomic<ULONG> references_{1};
    const bool alert_;
    AccessibleContent* content_;  // null once the window is gone
    ComPtr<IAccessible> standard_;
};

LRESULT AccessibleRoot::Answer(WPARAM wparam, LONG objectId) {
    EnterComApartment();
    const bool alert = objectId == OBJID_ALERT;
    AccessibleObject*& object = alert ? alert_ : client_;
    if (!object) object = new AccessibleObject(content_, alert);
    return LresultFromObjectApi(__uuidof(IAccessible), wparam, static_cast<IAccessible*>(object));
}

void AccessibleRoot::Disconnect() noexcept {
    for (AccessibleObject** object : {&client_, &alert_}) {
        if (!*object) continue;
        (*object)->Disconnect();
        (*object)->Release();
        *object = nullptr;
    }
}

std::wstring Announce(HWND window, const std::wstring& sentence) {
    // The notification first: where Windows lacks it, its library is not kept loaded for the host.
    const auto raise = UiaRaiseNotificationEventApi.Find();
    const auto hostProvider = raise ? UiaHostProviderFromHwndApi.Find() : nullptr;
    if (hostProvider && raise) {
        ComPtr<IRawElementProviderSimple> provider;
        HRESULT result = hostProvider(window, provider.GetAddressOf());
        if (SUCCEEDED(result)) {
            const std::wstring activity = L"Vossel.StartTime";
            BSTR text = api::SysAllocStringLen(sentence.data(), static_cast<UINT>(sentence.size()));
            BSTR activityId =
                api::SysAllocStringLen(activity.data(), static_cast<UINT>(activity.size()));
            result = text && activityId ? raise(provider.Get(), kNotificationKindOther,
                                                kNotificationProcessingImportantMostRecent, text,
                                                activityId)
                                        : E_OUTOFMEMORY;
            api::SysFreeString(text);
            api::SysFreeString(activityId);
        }
        return L"UiaRaiseNotificationEvent " + HexCode(static_cast<std::uint32_t>(result));
    }
    // Before Windows 10 1709: the MSAA way, which screen readers speak from the alert object.
    ::NotifyWinEvent(EVENT_SYSTEM_ALERT, window, OBJID_ALERT, CHILDID_SELF);
    return L"EVENT_SYSTEM_ALERT";
}

void NotifyNameChange(HWND window, LONG childId) {
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, childId);
    // The window's description reads its labels.
    ::NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace vossel::platform
