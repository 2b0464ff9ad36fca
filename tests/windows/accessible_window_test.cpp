// The accessible object in the program's own process: what it must survive that a reader in another
// process cannot easily provoke (the window going while the object is held, a throwing window).
#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "platform/ui/accessible_window.h"

namespace vossel::platform {
namespace {

using Microsoft::WRL::ComPtr;

class FakeWindow final : public AccessibleContent {
  public:
    FakeWindow()
        : handle(::CreateWindowW(L"STATIC", L"fake", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr)) {}
    ~FakeWindow() { ::DestroyWindow(handle); }
    FakeWindow(const FakeWindow&) = delete;
    FakeWindow& operator=(const FakeWindow&) = delete;

    HWND AccessibleHandle() const override { return handle; }
    std::vector<AccessibleElement> AccessibleElements() const override {
        if (throwing) throw std::bad_alloc();
        // The link lies over the end of the text, as the last-drawn element.
        return {{L"text", false, {0, 0, 100, 20}}, {L"link", true, {80, 0, 120, 20}}};
    }
    std::wstring AccessibleDescription() const override { return L"the whole sentence"; }
    void RequestDefaultAction(size_t index) override { requested.push_back(index); }

    HWND handle;
    bool throwing = false;
    std::vector<size_t> requested;
};

VARIANT Child(LONG id) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

ComPtr<IAccessible> Request(AccessibleRoot& root) {
    ComPtr<IAccessible> object;
    const LRESULT answer = root.Answer(0, OBJID_CLIENT);
    EXPECT_GT(answer, 0);
    EXPECT_EQ(::ObjectFromLresult(answer, __uuidof(IAccessible), 0,
                                  reinterpret_cast<void**>(object.GetAddressOf())),
              S_OK);
    return object;
}

class AccessibleWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { ::CoUninitialize(); }
};

TEST_F(AccessibleWindowTest, AnswersForItsChildrenAndAsksTheWindowToAct) {
    FakeWindow window;
    AccessibleRoot root(window);
    ComPtr<IAccessible> object = Request(root);
    ASSERT_TRUE(object);
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(object.As(&dispatch), S_OK);
    ComPtr<IClassFactory> unrelated;
    EXPECT_EQ(object.As(&unrelated), E_NOINTERFACE);

    BSTR name = nullptr;
    ASSERT_EQ(object->get_accName(Child(2), &name), S_OK);
    EXPECT_STREQ(name, L"link");
    ::SysFreeString(name);
    EXPECT_EQ(object->get_accName(Child(3), &name), E_INVALIDARG);
    EXPECT_EQ(object->get_accName(Child(-1), &name), E_INVALIDARG);

    // Where the two overlap, the link (drawn last) is what a click would find.
    POINT overlap{90, 10};
    ::ClientToScreen(window.handle, &overlap);
    VARIANT hit;
    ::VariantInit(&hit);
    ASSERT_EQ(object->accHitTest(overlap.x, overlap.y, &hit), S_OK);
    EXPECT_EQ(hit.vt, VT_I4);
    EXPECT_EQ(hit.lVal, 2);

    EXPECT_EQ(object->accDoDefaultAction(Child(1)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(object->accDoDefaultAction(Child(2)), S_OK);
    EXPECT_EQ(window.requested, std::vector<size_t>{1});

    window.throwing = true;
    LONG count = -1;
    EXPECT_EQ(object->get_accChildCount(&count), E_OUTOFMEMORY);
    EXPECT_EQ(object->get_accName(Child(1), &name), E_OUTOFMEMORY);
}

TEST_F(AccessibleWindowTest, AHeldObjectOutlivesItsWindowAndAnswersNotConnected) {
    ComPtr<IAccessible> object;
    {
        FakeWindow window;
        AccessibleRoot root(window);
        object = Request(root);
        ASSERT_TRUE(object);
    }  // the root, then the window, go; the client still holds the object
    LONG count = -1;
    EXPECT_EQ(object->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
    BSTR text = nullptr;
    EXPECT_EQ(object->get_accDescription(Child(CHILDID_SELF), &text), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(object->accDoDefaultAction(Child(2)), CO_E_OBJNOTCONNECTED);
    VARIANT hit;
    ::VariantInit(&hit);
    EXPECT_EQ(object->accHitTest(0, 0, &hit), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(object.Reset(), 0u);
}

}  // namespace
}  // namespace vossel::platform
