#include "harness.h"

#include <commctrl.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>

namespace vossel::e2e {
namespace {

constexpr std::string_view kLinePrefix = "Vossel: ";
constexpr DWORD kPollMs = 20;
constexpr DWORD kWow64Breakpoint = 0x4000001F;  // STATUS_WX86_BREAKPOINT

// Names of this run's files on the Unix side. Wine gives the first processes of every prefix the
// same small ids, so an id alone would collide with another run's files (a parallel run in another
// prefix, or what an aborted one left): the start time makes them this run's own.
const std::string& TempPrefix() {
    static const std::string prefix = [] {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        const unsigned long long token =
            (static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) ^
            static_cast<unsigned long long>(counter.QuadPart);
        char text[64];
        std::snprintf(text, sizeof text, "/tmp/vossel-e2e-%lu-%llx", GetCurrentProcessId(), token);
        return std::string(text);
    }();
    return prefix;
}

std::wstring& TargetPath() {
    static std::wstring path;
    return path;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

std::string TrimLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

// Reads a debug string out of the debuggee. The length field is only the low 16 bits of the
// size, so the string is read up to its terminator instead of trusting the length.
std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    const size_t unit = info.fUnicode ? 2 : 1;
    constexpr size_t kChunk = 256;
    constexpr size_t kLimit = 64 * 1024;
    std::vector<char> bytes;
    auto* address = reinterpret_cast<const char*>(info.lpDebugStringData);
    for (size_t offset = 0; offset < kLimit; offset += kChunk) {
        char chunk[kChunk];
        SIZE_T got = 0;
        size_t want = kChunk;
        // Never read across a page end in one call: the next page may not be mapped.
        const auto here = reinterpret_cast<uintptr_t>(address + offset);
        const size_t toPageEnd = 4096 - here % 4096;
        if (want > toPageEnd) want = toPageEnd;
        if (!ReadProcessMemory(process, address + offset, chunk, want, &got) || got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
        bool terminated = false;
        for (size_t i = bytes.size() - got - (bytes.size() - got) % unit; i + unit <= bytes.size();
             i += unit) {
            if (bytes[i] == 0 && (unit == 1 || bytes[i + 1] == 0)) {
                bytes.resize(i);
                terminated = true;
                break;
            }
        }
        if (terminated) break;
        offset = offset - kChunk + got;
    }
    if (unit == 1) {
        // Single-byte strings are in the ANSI code page: go through UTF-16 to UTF-8.
        const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                               nullptr, 0);
        std::wstring wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
        return Utf8(wide);
    }
    std::wstring wide(bytes.size() / 2, L'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * 2);
    return Utf8(wide);
}

using WaitForDebugEventFunction = BOOL(WINAPI*)(LPDEBUG_EVENT, DWORD);

// On Windows 10 and later WaitForDebugEventEx hands OutputDebugStringW's text over as Unicode;
// the older function converts it to the ANSI code page first. Wine 8 converts either way.
WaitForDebugEventFunction DebugEventWaiter() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto* ex = kernel ? reinterpret_cast<WaitForDebugEventFunction>(
                            reinterpret_cast<void*>(GetProcAddress(kernel, "WaitForDebugEventEx")))
                      : nullptr;
    return ex ? ex : &WaitForDebugEvent;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &result);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

std::wstring UnixToWine(const std::string& unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

std::string ArtifactDirectory() {
    wchar_t directory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"VOSSEL_E2E_ARTIFACTS", directory, MAX_PATH);
    return length > 0 && length < MAX_PATH ? Utf8(directory) : "/tmp";
}

}  // namespace

const UiTexts& ExpectedTexts() {
    static const UiTexts kTexts[] = {
        {L"zh-Hans", L"您本次开机共用:", L"秒", L"设置", {232, 136, 257, 153}, L"设置", L"开机自启动", L"返回"},
        {L"zh-Hant", L"您本次開機共用:", L"秒", L"設定", {232, 136, 257, 153}, L"設定", L"開機自啟動", L"返回"},
        {L"en", L"Start-up took:", L"s", L"Settings", {197, 136, 257, 153}, L"Settings", L"Start at log-on", L"Back"},
    };
    wchar_t names[256] = {};
    ULONG count = 0, size = 256;
    GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names, &size);
    wchar_t scripts[64] = {};
    GetLocaleInfoEx(names, LOCALE_SSCRIPTS, scripts, 64);
    const std::wstring list = scripts;
    if (list.find(L"Hans") != std::wstring::npos) return kTexts[0];
    if (list.find(L"Hant") != std::wstring::npos) return kTexts[1];
    return kTexts[2];
}

const std::wstring& TargetExe() { return TargetPath(); }
void SetTargetExe(std::wstring path) { TargetPath() = std::move(path); }

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), size);
    return result;
}

// ---- Target ----

Target::Target(const std::wstring& exePath, const std::wstring& directory, const std::wstring& args)
    : exe(exePath), workingDirectory(directory), arguments(args) {
    started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread = CreateThread(nullptr, 0, &Target::DebugThread, this, 0, nullptr);
    if (!thread) {
        startError = "CreateThread failed";
        return;
    }
    if (WaitForSingleObject(started, 60000) != WAIT_OBJECT_0 && startError.empty()) {
        startError = "the debug loop did not start within 60 s";
    }
}

Target::~Target() {
    Kill();
    InterlockedExchange(&stopRequested, 1);
    if (thread) {
        // A debug loop that cannot stop would hang the whole run; it is polled every 100 ms.
        WaitForSingleObject(thread, 30000);
        CloseHandle(thread);
    }
    if (process) CloseHandle(process);
    if (started) CloseHandle(started);
}

DWORD WINAPI Target::DebugThread(void* self) {
    static_cast<Target*>(self)->DebugLoop();
    return 0;
}

// Creation and the debug loop share this thread: Windows delivers a debuggee's events only to
// the thread that created it.
void Target::DebugLoop() {
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // No standard handles, as a program started from Explorer or the Run key has: this process's
    // own (ctest's pipe under Wine) would make "/diagnose" write there instead of opening a window.
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION info{};
    createdAt = Now();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        DEBUG_ONLY_THIS_PROCESS, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                        &info)) {
        startError = "CreateProcessW failed for " + Utf8(exe) + ", error " + std::to_string(GetLastError());
        SetEvent(started);
        return;
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    processId = info.dwProcessId;
    SetEvent(started);

    const WaitForDebugEventFunction wait = DebugEventWaiter();
    for (;;) {
        DEBUG_EVENT event{};
        if (!wait(&event, 100)) {
            if (stopRequested && exited) return;
            if (stopRequested) {
                // Killed but the exit event never came: give up rather than hang the tests.
                TerminateProcess(process, 1);
                if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return;
            }
            continue;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
            break;
        case OUTPUT_DEBUG_STRING_EVENT:
            Record(ReadDebugString(process, event.u.DebugString));
            break;
        case EXCEPTION_DEBUG_EVENT: {
            const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
            // The program's own exceptions (C++ throws included) must reach its own handlers;
            // only the loader's initial breakpoint is ours.
            if (code != EXCEPTION_BREAKPOINT && code != kWow64Breakpoint) {
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT: {
            AcquireSRWLockExclusive(&lock);
            exitCode = event.u.ExitProcess.dwExitCode;
            exitedAt = Now();
            exited = true;
            ReleaseSRWLockExclusive(&lock);
            WakeAllConditionVariable(&changed);
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return;
        }
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
}

void Target::Record(const std::string& raw) {
    std::string text = TrimLineEnd(raw);
    if (text.compare(0, kLinePrefix.size(), kLinePrefix) != 0) return;
    AcquireSRWLockExclusive(&lock);
    lines.push_back({Seconds(createdAt, Now()), std::move(text)});
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
}

double Target::Elapsed() const { return Seconds(createdAt, Now()); }

std::vector<DebugLine> Target::Lines() const {
    AcquireSRWLockShared(&lock);
    std::vector<DebugLine> copy = lines;
    ReleaseSRWLockShared(&lock);
    return copy;
}

std::optional<DebugLine> Target::WaitForLine(const std::regex& pattern, DWORD timeoutMs,
                                             size_t from) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    AcquireSRWLockExclusive(&lock);
    for (;;) {
        for (size_t i = from; i < lines.size(); ++i) {
            if (std::regex_search(lines[i].text, pattern)) {
                DebugLine found = lines[i];
                ReleaseSRWLockExclusive(&lock);
                return found;
            }
        }
        from = lines.size();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline || exited) break;
        SleepConditionVariableSRW(&changed, &lock, static_cast<DWORD>(deadline - now), 0);
    }
    ReleaseSRWLockExclusive(&lock);
    return std::nullopt;
}

std::optional<DebugLine> Target::WaitForPrefix(std::string_view prefix, DWORD timeoutMs,
                                               size_t from) const {
    std::string escaped;
    for (char c : prefix) {
        if (std::strchr(R"(\^$.|?*+()[]{})", c)) escaped += '\\';
        escaped += c;
    }
    return WaitForLine(std::regex("^" + escaped), timeoutMs, from);
}

std::vector<HWND> Target::TopLevelWindows() const {
    WindowSearch search{processId, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Target::WaitForWindow(std::wstring_view title, DWORD timeoutMs) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        for (HWND window : TopLevelWindows()) {
            wchar_t text[256] = {};
            GetWindowTextW(window, text, static_cast<int>(std::size(text)));
            if (title == text) return window;
        }
        if (HasExited()) return nullptr;
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

bool Target::HasExited() const {
    AcquireSRWLockShared(&lock);
    const bool result = exited;
    ReleaseSRWLockShared(&lock);
    return result;
}

std::optional<DWORD> Target::WaitForExit(DWORD timeoutMs) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    AcquireSRWLockExclusive(&lock);
    while (!exited) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        SleepConditionVariableSRW(&changed, &lock, static_cast<DWORD>(deadline - now), 0);
    }
    std::optional<DWORD> result;
    if (exited) result = exitCode;
    ReleaseSRWLockExclusive(&lock);
    return result;
}

double Target::ExitSeconds() const { return Seconds(createdAt, exitedAt); }

std::string Target::Describe() const {
    std::string text = Utf8(exe);
    if (const auto code = WaitForExit(0)) {
        char ended[64];
        std::snprintf(ended, sizeof ended, " ended after %.2f s with exit code %lu", ExitSeconds(),
                      static_cast<unsigned long>(*code));
        text += ended;
    } else {
        text += " is running";
    }
    const auto all = Lines();
    text += all.empty() ? "; no lines" : "; its lines:";
    for (const auto& line : all) text += "\n  " + line.text;
    return text;
}

void Target::Kill() {
    if (!process || HasExited()) return;
    TerminateProcess(process, 1);
    WaitForExit(10000);
}

// ---- windows ----

RECT ClientRectOnScreen(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&client, origin.x, origin.y);
    return client;
}

LONG_PTR ExStyle(HWND window) { return GetWindowLongPtrW(window, GWL_EXSTYLE); }

Opacity LayeredAttributes(HWND window) {
    Opacity opacity;
    opacity.layered = GetLayeredWindowAttributes(window, nullptr, &opacity.alpha, &opacity.flags) != 0;
    return opacity;
}

HICON WindowIcon(HWND window) {
    for (WPARAM kind : {WPARAM{ICON_BIG}, WPARAM{ICON_SMALL}, WPARAM{ICON_SMALL2}}) {
        DWORD_PTR icon = 0;
        if (SendMessageTimeoutW(window, WM_GETICON, kind, 0, SMTO_ABORTIFHUNG, 2000, &icon) && icon) {
            return reinterpret_cast<HICON>(icon);
        }
    }
    if (auto icon = GetClassLongPtrW(window, GCLP_HICON)) return reinterpret_cast<HICON>(icon);
    return reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

std::vector<DWORD> ProcessIdsNamed(const wchar_t* fileName) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, fileName) == 0) ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

void EndProcessesNamed(const wchar_t* fileName) {
    for (const DWORD id : ProcessIdsNamed(fileName)) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
            TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

void ClickClient(HWND window, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

void ClickScreen(int x, int y) {
    SetCursorPos(x, y);
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, inputs, sizeof(INPUT));
}

void RequestClose(HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }

void SystemMenuClose(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

HWND WaitForMessageBox(const Target& target, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        for (HWND window : target.TopLevelWindows()) {
            wchar_t title[64] = {};
            GetWindowTextW(window, title, static_cast<int>(std::size(title)));
            if (ClassName(window) == L"#32770" && std::wstring_view(title) == L"Vossel") return window;
        }
        if (target.HasExited()) return nullptr;
        Sleep(kPollMs);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::wstring MessageBoxText(HWND box) {
    // The message box's text is the static control with id 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? WindowText(text) : std::wstring();
}

void DismissMessageBox(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

// ---- settings ----

namespace {
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";
}  // namespace

std::optional<DWORD> LogPixels() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void SetLogPixels(std::optional<DWORD> value) {
    if (value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &*value, sizeof *value);
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels);
    }
}

// ---- images ----

COLORREF Image::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return RGB(rgb[at], rgb[at + 1], rgb[at + 2]);
}

Image Image::FromBmpBytes(const std::vector<uint8_t>& bytes) {
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    Image image;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return image;
    const uint32_t dataOffset = u32(10);
    const auto width = static_cast<int32_t>(u32(18));
    const auto height = static_cast<int32_t>(u32(22));
    const uint32_t bitsPerPixel = u16(28);
    const uint32_t compression = u32(30);
    // 32-bit screenshots come as BI_BITFIELDS in the usual BGRA order.
    if (width <= 0 || height == 0 || (bitsPerPixel != 24 && bitsPerPixel != 32) ||
        (compression != BI_RGB && compression != BI_BITFIELDS)) {
        return image;
    }
    const bool bottomUp = height > 0;
    const int rows = bottomUp ? height : -height;
    const size_t bytesPerPixel = bitsPerPixel / 8;
    const size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~size_t{3};
    if (dataOffset + stride * static_cast<size_t>(rows) > bytes.size()) return image;
    image.width = width;
    image.height = rows;
    image.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(rows) * 3);
    for (int y = 0; y < rows; ++y) {
        const size_t row = dataOffset + stride * static_cast<size_t>(bottomUp ? rows - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* pixel = &bytes[row + static_cast<size_t>(x) * bytesPerPixel];
            uint8_t* out = &image.rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            out[0] = pixel[2];
            out[1] = pixel[1];
            out[2] = pixel[0];
        }
    }
    return image;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (256 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
            got != bytes.size()) {
            bytes.clear();
        }
    }
    CloseHandle(file);
    return bytes;
}

Image Image::FromBmp(const std::wstring& path) { return FromBmpBytes(ReadFileBytes(path)); }

int RunUnix(const std::string& script, DWORD timeoutMs) {
    // Wine 8 starts a Unix program when CreateProcess is given an ELF file and reports success,
    // but hands back no process handle and leaves hThread and the ids as whatever its stack held:
    // at times the value of a live handle of ours. Closing it pulls a handle from under its owner,
    // a Target's debug object among them, whose loss kills a starting debuggee (error 1359 from
    // CreateProcessW). Nothing it returns is ours to close or wait on; the shell leaves its exit
    // status in a file instead.
    static int counter = 0;
    const std::string status =
        TempPrefix() + "-status-" + std::to_string(++counter);
    std::wstring line = L"Z:\\bin\\sh -c \"" + Wide(script) + L"; echo $? > " + Wide(status) +
                        L".part; mv " + Wide(status) + L".part " + Wide(status) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    const std::wstring statusFile = UnixToWine(status);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        HANDLE file = CreateFileW(statusFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char text[16] = {};
            DWORD got = 0;
            ReadFile(file, text, sizeof text - 1, &got, nullptr);
            CloseHandle(file);
            DeleteFileW(statusFile.c_str());
            return std::atoi(text);
        }
        Sleep(kPollMs);
    }
    return -1;
}

std::optional<std::string> RunUnixOutput(const std::string& script, DWORD timeoutMs) {
    static int counter = 0;
    const std::string output =
        TempPrefix() + "-output-" + std::to_string(++counter);
    if (RunUnix("{ " + script + "; } > " + output, timeoutMs) != 0) {
        DeleteFileW(UnixToWine(output).c_str());
        return std::nullopt;
    }
    const std::vector<uint8_t> bytes = ReadFileBytes(UnixToWine(output));
    DeleteFileW(UnixToWine(output).c_str());
    return std::string(bytes.begin(), bytes.end());
}

std::string TraceEnd() {
    return RunUnixOutput("f=$(readlink /proc/self/fd/2); test -f $f && echo $f $(stat -c %s $f)", 30000).value_or("");
}

std::vector<std::string> TraceSince(const std::string& end, const std::string& containing) {
    std::string file;
    unsigned long long offset = 0;
    std::istringstream(end) >> file >> offset;
    std::istringstream text(RunUnixOutput("tail -c +" + std::to_string(offset + 1) + " " + file +
                                          " | grep -a -F -e '" + containing + "' || true", 30000).value_or(""));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::vector<uint32_t> XWindowIcon32(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    // The X window that Wine made for this window is the one named "Vossel" at its place.
    const std::string script =
        "for w in $(xdotool search --name '^Vossel$'); do "
        "xwininfo -id $w | grep -q 'Absolute upper-left X: *" + std::to_string(frame.left) + "$' && "
        "xwininfo -id $w | grep -q 'Absolute upper-left Y: *" + std::to_string(frame.top) + "$' && "
        "xprop -id $w -f _NET_WM_ICON 32c _NET_WM_ICON; done";
    const auto output = RunUnixOutput(script, 30000);
    std::vector<uint32_t> icon;
    if (!output) return icon;
    // "_NET_WM_ICON(CARDINAL) = w, h, pixels..., w, h, pixels...": pick the 32 x 32 entry.
    std::vector<uint32_t> numbers;
    const char* p = std::strchr(output->c_str(), '=');
    while (p && *p) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(p + 1, &end, 10);
        if (end == p + 1) break;
        numbers.push_back(static_cast<uint32_t>(value));
        p = std::strchr(end, ',');
    }
    for (size_t at = 0; at + 2 <= numbers.size();) {
        const size_t count = static_cast<size_t>(numbers[at]) * numbers[at + 1];
        if (numbers[at] == 32 && numbers[at + 1] == 32 && at + 2 + count <= numbers.size()) {
            icon.assign(numbers.begin() + static_cast<std::ptrdiff_t>(at + 2),
                        numbers.begin() + static_cast<std::ptrdiff_t>(at + 2 + count));
            break;
        }
        at += 2 + count;
    }
    return icon;
}

namespace {
int shotCounter = 0;

std::string ShotPath(const char* extension) {
    return TempPrefix() + "-" +
           std::to_string(++shotCounter) + extension;
}

int Import(const std::string& destination) {
    return RunUnix("import -window root -type TrueColor -depth 8 " + destination, 60000);
}
}  // namespace

Image Screenshot(std::string* error) {
    const std::string path = ShotPath(".bmp");
    const int code = Import("bmp3:" + path);
    Image image = Image::FromBmp(UnixToWine(path));
    DeleteFileW(UnixToWine(path).c_str());
    if (error) {
        *error = image.Empty() ? "import -window root failed (exit code " + std::to_string(code) + ")" : "";
    }
    return image;
}

std::wstring SaveScreenshotPng(const std::wstring& name) {
    const std::string path = ArtifactDirectory() + "/" + Utf8(name) + ".png";
    if (Import("png:" + path) != 0) return {};
    return Wide(path);
}

bool ColourNear(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

int CountNear(const Image& image, RECT box, COLORREF colour, int tolerance) {
    int count = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            const COLORREF pixel = image.At(x, y);
            if (pixel != CLR_INVALID && ColourNear(pixel, colour, tolerance)) ++count;
        }
    }
    return count;
}

void Pause(DWORD ms) { Sleep(ms); }

bool ForcePaint(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Wine now and then returns before the other thread has validated the window, and that
    // thread may be busy with a queue of other messages first.
    return WaitUntil([window] { return !GetUpdateRect(window, nullptr, FALSE); }, kStepTimeoutMs);
}

size_t CountTitled(const Target& target, std::wstring_view title) {
    size_t count = 0;
    for (HWND window : target.TopLevelWindows()) {
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        count += title == text;
    }
    return count;
}

ExeCopy::ExeCopy(const std::wstring& source, std::wstring folderPath, const std::wstring& fileName)
    : folder(std::move(folderPath)) {
    CreateDirectoryW(folder.c_str(), nullptr);
    path = folder + L"\\" + fileName;
    copied = CopyFileW(source.c_str(), path.c_str(), FALSE) != 0;
}

ExeCopy::~ExeCopy() {
    // A process just killed may hold the file a moment longer.
    for (int attempt = 0; attempt < 50 && !DeleteFileW(path.c_str()) &&
                          GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
         ++attempt) {
        Pause(100);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string AllLines(const Target& target) {
    std::string text;
    for (const DebugLine& line : target.Lines()) text += "  " + line.text + "\n";
    return text;
}

bool MayComeAnyMoment(std::string_view text) {
    for (std::string_view prefix : kAnyMomentPrefixes) {
        if (text.substr(0, prefix.size()) == prefix) return true;
    }
    return false;
}

std::vector<std::string> LinesExceptAnyMoment(const Target& target, size_t from) {
    std::vector<std::string> texts;
    const std::vector<DebugLine> lines = target.Lines();
    for (size_t i = from; i < lines.size(); ++i) {
        if (!MayComeAnyMoment(lines[i].text)) texts.push_back(lines[i].text);
    }
    return texts;
}

size_t CountLines(const Target& target, const std::regex& pattern) {
    size_t count = 0;
    for (const DebugLine& line : target.Lines()) count += std::regex_search(line.text, pattern) ? 1 : 0;
    return count;
}

bool WaitForCount(const Target& target, const std::regex& pattern, size_t count, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (CountLines(target, pattern) < count) {
        if (GetTickCount64() >= deadline || target.HasExited()) return false;
        Sleep(5);
    }
    return true;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
    return true;
}

bool Settle(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

std::vector<HWND> WindowsOfClass(DWORD processId, const wchar_t* className) {
    std::vector<HWND> found;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) found.push_back(window);
    }
    return found;
}

HWND MainWindowOf(const Target& target) {
    const auto found = WindowsOfClass(target.ProcessId(), L"VosselForm1");
    return found.empty() ? nullptr : found.front();
}

HWND SettingsWindowOf(const Target& target) {
    const auto found = WindowsOfClass(target.ProcessId(), L"VosselForm2");
    return found.empty() ? nullptr : found.front();
}

HWND Control(HWND window, int id) { return window ? GetDlgItem(window, id) : nullptr; }

std::wstring Directory(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring ListText(const Target& target, HWND list, int row, int column) {
    HANDLE process = OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
        FALSE, target.ProcessId());
    if (!process) return L"<no process>";
    BOOL wow64 = FALSE;
    IsWow64Process(process, &wow64);
    constexpr size_t kItemBytes = 64;
    constexpr int kChars = 128;
    auto* remote = static_cast<BYTE*>(
        VirtualAllocEx(process, nullptr, kItemBytes + kChars * 2, MEM_COMMIT, PAGE_READWRITE));
    // Laid out for the target's pointer size. LVITEMW: mask, iItem, iSubItem, state, stateMask,
    // pszText, cchTextMax; LVCOLUMNW: mask, fmt, cx, pszText, cchTextMax.
    BYTE item[kItemBytes] = {};
    const UINT mask = row < 0 ? LVCF_TEXT : LVIF_TEXT;
    const UINT64 text = reinterpret_cast<UINT64>(remote + kItemBytes);
    memcpy(item, &mask, 4);
    if (row >= 0) {
        memcpy(item + 4, &row, 4);
        memcpy(item + 8, &column, 4);
    }
    const size_t textAt = row < 0 ? (wow64 ? 12 : 16) : (wow64 ? 20 : 24);
    memcpy(item + textAt, &text, wow64 ? 4 : 8);
    memcpy(item + textAt + (wow64 ? 4 : 8), &kChars, 4);
    wchar_t buffer[kChars] = {};
    WriteProcessMemory(process, remote, item, kItemBytes, nullptr);
    if (row < 0) {
        SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(remote));
    } else {
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
    }
    ReadProcessMemory(process, remote + kItemBytes, buffer, sizeof buffer - 2, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return buffer;
}

SIZE TextExtent(HDC dc, const std::wstring& text, int width, bool wrap) {
    RECT r{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | (wrap ? DT_WORDBREAK : DT_SINGLELINE));
    return {r.right, r.bottom};
}

void ExpectWholeTexts(const Target& target, HWND window, int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    const auto forDpi = reinterpret_cast<ForDpi>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    if (!forDpi || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, ScreenDpi());
    }
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const auto px = [dpi](int n) { return MulDiv(n, dpi, 96); };
    std::vector<std::pair<RECT, std::string>> shown;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box{}, client{};
        GetWindowRect(child, &box);
        GetClientRect(child, &client);
        if (!IsWindowVisible(child) || IsRectEmpty(&box)) continue;
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        wchar_t caption[1024] = {};
        GetWindowTextW(child, caption, 1024);
        std::wstring kind = className;
        CharLowerW(kind.data());
        const std::wstring text = caption;
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const std::string name = Utf8(kind) + " \"" + Utf8(text) + "\"";
        shown.emplace_back(box, name);
        const int width = client.right, height = client.bottom;
        if (kind == L"button") {
            const LONG type = style & BS_TYPEMASK;
            const bool check = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
            // The box and its gap before a check box's caption; a push button's edges.
            const int room = width - (check ? px(13) + px(4) : 2 * px(3));
            const SIZE need = TextExtent(dc, text, room, false);
            EXPECT_LE(need.cx, room) << name << ": wider than its button";
            EXPECT_LE(need.cy, height) << name << ": taller than its button";
        } else if (kind == L"syslink" && text.size() > 7) {
            // One link on one line: its text inside "<a>" and "</a>".
            const SIZE need = TextExtent(dc, text.substr(3, text.size() - 7), width, false);
            EXPECT_LE(need.cx, width) << name << ": wider than its link";
            EXPECT_LE(need.cy, height) << name << ": taller than its link";
        } else if (kind == L"static" && (style & SS_TYPEMASK) == SS_LEFT) {
            const SIZE need = TextExtent(dc, text, width, true);
            EXPECT_LE(need.cx, width) << name << ": a word wider than the text's box";
            EXPECT_LE(need.cy, height) << name << ": lines below the text's box";
        } else if (kind == L"syslistview32") {
            const HWND header = reinterpret_cast<HWND>(SendMessageW(child, LVM_GETHEADER, 0, 0));
            const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
            const int rows = static_cast<int>(SendMessageW(child, LVM_GETITEMCOUNT, 0, 0));
            for (int c = 0; c < columns; ++c) {
                const int room =
                    static_cast<int>(SendMessageW(child, LVM_GETCOLUMNWIDTH, c, 0)) - px(10);
                for (int r = -1; r < rows; ++r) {
                    const std::wstring cell = ListText(target, child, r, c);
                    EXPECT_LE(TextExtent(dc, cell, room, false).cx, room)
                        << name << (r < 0 ? " header" : " row " + std::to_string(r)) << " column "
                        << c << " \"" << Utf8(cell) << "\"";
                }
            }
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            RECT overlap{};
            EXPECT_FALSE(IntersectRect(&overlap, &shown[i].first, &shown[j].first))
                << shown[i].second << " overlaps " << shown[j].second;
        }
    }
}

}  // namespace vossel::e2e
