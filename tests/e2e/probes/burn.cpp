// A stand-in start-up program for the watching test: burn.exe <ms> [end] spends about <ms> of CPU
// time, then ends ("end") or idles until it is ended, for at most five minutes so that it never
// outlives a test run by much. A windowless program, as most start-up programs are.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

namespace {

long long OwnCpuMs() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    auto value = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                      t.dwLowDateTime);
    };
    return (value(kernel) + value(user)) / 10'000;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    wchar_t* rest = nullptr;
    const long long burnMs = argv && count >= 2 ? std::wcstoll(argv[1], &rest, 10) : -1;
    const bool end = argv && count >= 3 && std::wcscmp(argv[2], L"end") == 0;
    ::LocalFree(argv);
    if (burnMs < 0 || !rest || *rest != L'\0') return 2;
    volatile unsigned long long spin = 0;
    for (long long spent = OwnCpuMs(); spent >= 0 && spent < burnMs; spent = OwnCpuMs()) {
        for (int i = 0; i < 1'000'000; ++i) spin = spin + static_cast<unsigned long long>(i);
    }
    if (!end) ::Sleep(5 * 60 * 1000);
    return 0;
}
