// vossel_e2e --target=<path of Vossel.exe, Windows or Unix form> [GoogleTest flags]
#include "harness.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using SetContext = BOOL(WINAPI*)(HANDLE);

// Without this, Windows would scale every rectangle we read from a window that runs at another
// DPI, and the 120 dpi check would see 96 dpi numbers.
void BecomeDpiAware() {
    if (HMODULE user = GetModuleHandleW(L"user32.dll")) {
        auto set = reinterpret_cast<SetContext>(
            reinterpret_cast<void*>(GetProcAddress(user, "SetProcessDpiAwarenessContext")));
        if (set && set(reinterpret_cast<HANDLE>(-4) /* per monitor v2 */)) return;
    }
    SetProcessDPIAware();
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);

    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    constexpr std::wstring_view kTarget = L"--target=";
    for (int i = 1; wide && i < count; ++i) {
        std::wstring_view argument = wide[i];
        if (argument.substr(0, kTarget.size()) == kTarget) {
            std::wstring path(argument.substr(kTarget.size()));
            if (!path.empty() && path[0] == L'/') {
                // A Unix path, as ctest passes it: Wine's drive Z: is the Unix root.
                path = L"Z:" + path;
                for (auto& c : path) c = c == L'/' ? L'\\' : c;
            }
            vossel::e2e::SetTargetExe(std::move(path));
        }
    }
    LocalFree(wide);
    if (vossel::e2e::TargetExe().empty()) {
        std::fprintf(stderr, "usage: vossel_e2e --target=<path of Vossel.exe> [gtest flags]\n");
        return 2;
    }
    if (GetFileAttributesW(vossel::e2e::TargetExe().c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "vossel_e2e: no such file: %s\n",
                     vossel::e2e::Utf8(vossel::e2e::TargetExe()).c_str());
        return 2;
    }
    BecomeDpiAware();
    // Every test here runs a copy of Vossel within 90 s of some shell's creation, which would
    // watch that start and outlive its window; holding the watch's mutex makes each run a second
    // copy, which does not watch, so the window's end stays the program's end.
    // The watching test (startup_watch_test.cpp) runs alone, without it.
    HANDLE watchHeld = GetEnvironmentVariableW(L"VOSSEL_E2E_WATCH", nullptr, 0)
                           ? nullptr
                           : CreateMutexW(nullptr, FALSE, L"Local\\VosselStartupWatch");
    const int result = RUN_ALL_TESTS();
    if (watchHeld) CloseHandle(watchHeld);
    return result;
}
