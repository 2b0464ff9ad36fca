// Late binding and the run-time error path, in the real Windows environment (run under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/program.h"
#include "platform/late_bound.h"
#include "platform/runtime_error.h"
#include "platform/system_api.h"
#include "platform/ui/window.h"

namespace vossel::platform {
namespace {

TEST(LateBound, BindsByNameOnFirstCallAndKeepsTheAddress) {
    LateBound<decltype(&::GetTickCount64)> tick{L"kernel32.dll", "GetTickCount64"};
    EXPECT_FALSE(tick.IsBound());
    EXPECT_GT(tick(), 0u);
    ASSERT_TRUE(tick.IsBound());
    const auto expected = reinterpret_cast<decltype(&::GetTickCount64)>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    EXPECT_EQ(tick.Get(), expected);

    // The single-byte forms the design names are the ones bound.
    EXPECT_EQ(reinterpret_cast<void*>(api::GetWindowLongA.Get()),
              reinterpret_cast<void*>(
                  ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetWindowLongA")));
}

TEST(LateBound, MissingNamesRaiseTheRunTimeErrorAtTheCall) {
    LateBound<void(WINAPI*)()> missingExport{L"user32.dll", "VosselNoSuchExport"};
    try {
        missingExport();
        FAIL() << "a missing export must raise";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), kErrorEntryPointNotFound);
        EXPECT_NE(error.Description().find(L"VosselNoSuchExport"), std::wstring::npos);
    }
    EXPECT_FALSE(missingExport.IsBound());

    LateBound<void(WINAPI*)()> missingLibrary{L"vossel-no-such-library.dll", "Anything"};
    try {
        missingLibrary();
        FAIL() << "a missing library must raise";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), kErrorDllNotFound);
    }
}

TEST(LateBound, FindAnswersNullForAbsentNamesWithoutAnError) {
    LateBound<decltype(&::GetTickCount64)> present{L"kernel32.dll", "GetTickCount64"};
    ASSERT_NE(present.Find(), nullptr);
    EXPECT_GT(present.Find()(), 0u);
    LateBound<void(WINAPI*)()> absentName{L"user32.dll", "VosselNoSuchExport"};
    EXPECT_EQ(absentName.Find(), nullptr);
    EXPECT_EQ(absentName.Find(), nullptr);  // the answer is kept
    LateBound<void(WINAPI*)()> absentLibrary{L"vossel-no-such-library.dll", "Anything"};
    EXPECT_EQ(absentLibrary.Find(), nullptr);
    // A library loaded only to ask does not stay when it lacks the name.
    ASSERT_EQ(GetModuleHandleW(L"xmllite.dll"), nullptr);
    LateBound<void(WINAPI*)()> absentInUnused{L"xmllite.dll", "VosselNoSuchExport"};
    EXPECT_EQ(absentInUnused.Find(), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"xmllite.dll"), nullptr) << "the library stayed loaded";
}

// Presses OK on the first "Vossel" message box that appears once its text holds expected. A box
// with another text, one that is not topmost (a topmost window of the program would hide it), or
// none within 20 s, ends the process with a code the test rejects.
class MessageBoxAnswerer {
  public:
    explicit MessageBoxAnswerer(std::wstring expected)
        : expected_(std::move(expected)), thread_([this] { Run(); }) {}
    ~MessageBoxAnswerer() {
        stop_ = true;
        thread_.join();
    }

  private:
    static bool Above(HWND upper, HWND lower) {
        for (HWND w = ::GetWindow(upper, GW_HWNDNEXT); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
            if (w == lower) return true;
        }
        return false;
    }
    static BOOL CALLBACK ReadStatic(HWND child, LPARAM context) {
        wchar_t className[32] = {};
        ::GetClassNameW(child, className, 32);
        if (lstrcmpiW(className, L"Static") == 0) {
            wchar_t text[512] = {};
            ::GetWindowTextW(child, text, 512);
            reinterpret_cast<std::wstring*>(context)->append(text);
        }
        return TRUE;
    }
    void Run() {
        for (int i = 0; i < 400 && !stop_; ++i) {
            // Judged once shown: the box takes its place in the z-order while still hidden.
            if (HWND box = ::FindWindowW(L"#32770", L"Vossel"); box && ::IsWindowVisible(box)) {
                std::wstring text;
                ::EnumChildWindows(box, ReadStatic, reinterpret_cast<LPARAM>(&text));
                if (text.find(expected_) == std::wstring::npos) ::ExitProcess(96);
                if (!Above(box, ::FindWindowW(L"VosselErrorProbe", nullptr))) ::ExitProcess(95);
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(50);
        }
        if (!stop_) ::ExitProcess(97);
    }
    std::wstring expected_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A handler that calls a function its library does not export: the error is caught at the
// window procedure, the standard message appears, and the program ends with the error's number.
void PaintHandlerCallsMissingFunction() {
    SetRuntimeErrorReport(&vossel::ReportRuntimeError);
    static LateBound<void(WINAPI*)()> missing{L"user32.dll", "VosselNoSuchExport"};
    Window window({L"VosselErrorProbe", L"Probe", 0, COLOR_BTNFACE, 0, {0, 0, 1500, 1500}});
    int ticks = 0;
    Timer timer(1, 10, true);
    timer.Tick = [&ticks] {
        // No handler may run once the error has been caught.
        if (++ticks > 1000) ::ExitProcess(99);
    };
    window.Add(timer);
    window.Paint = [] { missing(); };
    // Topmost, as the main window is.
    window.Load = [&window] {
        ::SetWindowPos(window.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    };
    MessageBoxAnswerer answerer(L"'453'");
    window.Show();
    RunMessageLoop();
    ::ExitProcess(98);  // not reached: the error ends the program
}

TEST(RuntimeErrorDeathTest, HandlerErrorShowsMessageAndEndsWithItsNumber) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(PaintHandlerCallsMissingFunction(), ::testing::ExitedWithCode(453), "");
}

}  // namespace
}  // namespace vossel::platform
