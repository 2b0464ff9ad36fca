// Drives a real Vossel.exe from outside: runs it as a debuggee to collect its "Vossel: " lines,
// finds and pokes its windows, and reads the X screen back as pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace vossel::e2e {

// Limits shared by every test. A cold 32-bit start may run its Wine under qemu-i386, which
// takes about a minute; one step of a running program (a line, a window, a registry value that
// follows a click) takes well under a second, so its limit only bounds a failing run.
inline constexpr DWORD kStartTimeoutMs = 240000;
inline constexpr DWORD kStepTimeoutMs = 30000;
// The program ends itself 15 s after its main window loads, which is before its first line.
inline constexpr double kLifeSeconds = 15.0;

// The client point of the settings link "设置" in the main window at 96 dpi.
inline constexpr POINT kSettingsLink{244, 144};

// The program's texts as a user of the Wine server's display language reads them (scripts/wine-run
// starts it in VOSSEL_LOCALE): Simplified or Traditional Chinese by the language's script, else
// English. Written out here, not read from the exe, so that a wrong table is caught.
struct UiTexts {
    const wchar_t* language;
    const wchar_t* prompt;
    const wchar_t* unit;
    const wchar_t* link;
    RECT linkBox;  // client pixels at 96 dpi
    const wchar_t* settingsTitle;
    const wchar_t* autostartBox;
    const wchar_t* back;
};
const UiTexts& ExpectedTexts();

// The exe under test; set from the command line by main().
const std::wstring& TargetExe();
void SetTargetExe(std::wstring path);

std::string Utf8(std::wstring_view text);
std::wstring Wide(std::string_view utf8);

struct DebugLine {
    double seconds = 0;  // since the process was created
    // UTF-8, without the trailing line break. Under Wine the text passes through the ANSI code
    // page on its way to a debugger: characters outside it arrive as '?'.
    std::string text;
};

// One launch of the exe. The constructor starts it and waits until its debug loop runs; the
// destructor kills it if it is still alive, so no test leaves a process behind.
class Target {
public:
    explicit Target(const std::wstring& exe, const std::wstring& workingDirectory = {},
                    const std::wstring& arguments = {});
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool Started() const { return processId != 0; }
    const std::string& StartError() const { return startError; }
    DWORD ProcessId() const { return processId; }
    double Elapsed() const;  // seconds since the process was created

    // Lines seen so far that start with "Vossel: ".
    std::vector<DebugLine> Lines() const;
    // The first line at index >= from that matches; waits up to timeoutMs for it to arrive.
    std::optional<DebugLine> WaitForLine(const std::regex& pattern, DWORD timeoutMs,
                                         size_t from = 0) const;
    std::optional<DebugLine> WaitForPrefix(std::string_view prefix, DWORD timeoutMs,
                                           size_t from = 0) const;

    // The process's visible top-level window with this title, or nullptr after the timeout.
    HWND WaitForWindow(std::wstring_view title, DWORD timeoutMs) const;
    std::vector<HWND> TopLevelWindows() const;  // visible ones only

    bool HasExited() const;
    // The exit code, or nothing if the process is still running after the timeout.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;
    double ExitSeconds() const;  // since creation; valid after WaitForExit succeeded
    void Kill();
    // For failure messages: how the process ended (if it did) and the lines it wrote.
    std::string Describe() const;

private:
    static DWORD WINAPI DebugThread(void* self);
    void DebugLoop();
    void Record(const std::string& text);

    std::wstring exe;
    std::wstring workingDirectory;
    std::wstring arguments;
    std::string startError;
    HANDLE thread = nullptr;
    HANDLE process = nullptr;  // our duplicate, valid until the destructor
    HANDLE started = nullptr;  // event: the launch succeeded or failed
    DWORD processId = 0;
    LARGE_INTEGER createdAt{};
    LARGE_INTEGER exitedAt{};
    DWORD exitCode = STILL_ACTIVE;
    volatile LONG stopRequested = 0;
    mutable SRWLOCK lock = SRWLOCK_INIT;
    mutable CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::vector<DebugLine> lines;
    bool exited = false;
};

// Lines that the program may write at any moment of a run, whatever a test is doing: the caption
// and what comes with its first showing, the start record (written from a timer message, which a
// busy queue holds back for as long as it is busy), the held end. A check that nothing else came
// of an action, or of a count or an order of lines, passes over them; a test about one of them
// waits for it by name. One a line, so that a new one is a line of its own.
// clang-format off
inline constexpr std::string_view kAnyMomentPrefixes[] = {
    "Vossel: Label2 = ",
    "Vossel: not measured ",
    "Vossel: start = ",
    "Vossel: log-on = ",
    "Vossel: announce ",
    "Vossel: event ",  // and "Vossel: event log error <n>"
    "Vossel: timed end held",
};
// clang-format on
bool MayComeAnyMoment(std::string_view text);
// The texts of the lines at index >= from, less those that may come at any moment.
std::vector<std::string> LinesExceptAnyMoment(const Target& target, size_t from = 0);

// The lines of a launch, one per line and indented, for failure messages.
std::string AllLines(const Target& target);
size_t CountLines(const Target& target, const std::regex& pattern);
// Waits until the process has written `count` lines that match.
bool WaitForCount(const Target& target, const std::regex& pattern, size_t count, DWORD timeoutMs);

// Polls until done() holds; false after the timeout.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
// A synchronous round trip to the window's thread: once it returns true, that thread has handled
// every message posted to it before.
bool Settle(HWND window, DWORD timeoutMs = kStepTimeoutMs);

// The process's windows of a class, shown or not.
std::vector<HWND> WindowsOfClass(DWORD processId, const wchar_t* className);
HWND MainWindowOf(const Target& target);      // class VosselForm1
HWND SettingsWindowOf(const Target& target);  // class VosselForm2
// The child control of a window with this id (101 is the check box, 102 the button "返回").
HWND Control(HWND window, int id);

// One cell of the target's list view (row -1: the column's header), read through memory in its
// process.
std::wstring ListText(const Target& target, HWND list, int row, int column);

// What the text takes in the DC's font, broken at words into lines no wider than `width` (or on
// one line); wider than `width` when a word alone is.
SIZE TextExtent(HDC dc, const std::wstring& text, int width, bool wrap);

// Checks, as failures, that each shown child control of the window holds its whole text in the
// controls' font at `dpi` (the system's message font): the captions of buttons and check boxes,
// the lines of static texts, a list's headers and cells in their columns; and that no two
// shown controls overlap.
void ExpectWholeTexts(const Target& target, HWND window, int dpi);

// The folder part of a path.
std::wstring Directory(const std::wstring& path);

// Geometry and state of a window, read from outside.
RECT ClientRectOnScreen(HWND window);
LONG_PTR ExStyle(HWND window);
struct Opacity {
    bool layered = false;
    BYTE alpha = 0;
    DWORD flags = 0;
};
Opacity LayeredAttributes(HWND window);
HICON WindowIcon(HWND window);  // WM_GETICON big/small, then the class icon
int ScreenDpi();
HWND FocusOf(HWND window);  // the keyboard focus of the window's thread
// The ids of the running processes of this file name ("explorer.exe"), in any case; and their end.
std::vector<DWORD> ProcessIdsNamed(const wchar_t* fileName);
void EndProcessesNamed(const wchar_t* fileName);

// Input, posted to the window's queue: client coordinates in pixels.
void ClickClient(HWND window, int x, int y);
// Real input through the system's input queue at a screen position.
void ClickScreen(int x, int y);
void RequestClose(HWND window);     // WM_CLOSE
void SystemMenuClose(HWND window);  // WM_SYSCOMMAND SC_CLOSE

// A message box of the process: a dialog window titled "Vossel".
HWND WaitForMessageBox(const Target& target, DWORD timeoutMs);
std::wstring MessageBoxText(HWND box);
void DismissMessageBox(HWND box);

// Registry value under HKEY_CURRENT_USER\Control Panel\Desktop\LogPixels; nothing if unset.
std::optional<DWORD> LogPixels();
void SetLogPixels(std::optional<DWORD> value);

// Sets the prefix's DPI for a scope and puts the old value back.
class LogPixelsOverride {
public:
    explicit LogPixelsOverride(DWORD dpi) : saved(LogPixels()) { SetLogPixels(dpi); }
    ~LogPixelsOverride() { SetLogPixels(saved); }
    LogPixelsOverride(const LogPixelsOverride&) = delete;
    LogPixelsOverride& operator=(const LogPixelsOverride&) = delete;

private:
    std::optional<DWORD> saved;
};

// A 24-bit picture of the X screen (or of a BMP file), top row first.
class Image {
public:
    int Width() const { return width; }
    int Height() const { return height; }
    bool Empty() const { return width == 0; }
    COLORREF At(int x, int y) const;

    static Image FromBmp(const std::wstring& path);  // 24- or 32-bit uncompressed only
    static Image FromBmpBytes(const std::vector<uint8_t>& bytes);

private:
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes per pixel
};

// Screenshot of the whole X screen, through ImageMagick's `import` on the Unix side.
Image Screenshot(std::string* error = nullptr);
// Saves a screenshot for people to look at when a check fails; returns the path or "".
std::wstring SaveScreenshotPng(const std::wstring& name);

bool ColourNear(COLORREF a, COLORREF b, int tolerance);
// Pixels in the rectangle [left, right) x [top, bottom) within tolerance of the colour.
int CountNear(const Image& image, RECT box, COLORREF colour, int tolerance);

// Runs a /bin/sh script on the Unix side of Wine and waits for it; returns its exit status, or
// -1 when it could not start or did not finish in time. No double quotes in the script.
int RunUnix(const std::string& script, DWORD timeoutMs);

// The same, with the script's standard output; nothing on failure.
std::optional<std::string> RunUnixOutput(const std::string& script, DWORD timeoutMs);

// Wine writes its traces to the Unix standard error that the programs started from here share,
// which scripts/wine-run sends to a file. TraceEnd() notes that file and its size ("" when standard
// error is not a file); TraceSince gives the lines written after it that hold the text.
std::string TraceEnd();
std::vector<std::string> TraceSince(const std::string& end, const std::string& containing);

// The 32 x 32 image of the icon that Wine handed to the X server for this window
// (_NET_WM_ICON), as 0xAARRGGBB pixels, top row first. Wine answers WM_GETICON from another
// process with nothing, so this is how the icon is seen from outside.
std::vector<uint32_t> XWindowIcon32(HWND window);

std::vector<uint8_t> ReadFileBytes(const std::wstring& path);

// Waits; the harness owns no windows, so nothing needs pumping meanwhile.
void Pause(DWORD ms);

// Paints the window now, from outside, the way an uncovering would; true when the target's paint
// ran (the update region was validated).
bool ForcePaint(HWND window);

// The target's visible top-level windows with this title.
size_t CountTitled(const Target& target, std::wstring_view title);

// A variable of this process, which every exe it starts inherits, for a scope.
class EnvironmentOverride {
public:
    EnvironmentOverride(const wchar_t* name, const std::wstring& value) : name_(name) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentOverride() { SetEnvironmentVariableW(name_, nullptr); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const wchar_t* name_;
};

// A copy of an exe at folder\fileName (the folder is made when missing), removed again with its
// folder however the test ends.
class ExeCopy {
public:
    ExeCopy(const std::wstring& source, std::wstring folderPath, const std::wstring& fileName = L"Vossel.exe");
    ~ExeCopy();
    ExeCopy(const ExeCopy&) = delete;
    ExeCopy& operator=(const ExeCopy&) = delete;

    std::wstring folder;
    std::wstring path;
    bool copied = false;
};

}  // namespace vossel::e2e
