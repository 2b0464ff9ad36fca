// Where the auto-start entry goes, what the settings window's box shows when it opens again, and
// the elevated copy that makes a machine-wide change the window itself may not make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "stress_support.h"

namespace vossel::e2e {
namespace {

using namespace stress;

constexpr DWORD kExitTimeoutMs = 120000;  // a 32-bit start runs its Wine under emulation

bool IsX86(const std::wstring& exe) {
    const std::vector<uint8_t> bytes = ReadFileBytes(exe);
    if (bytes.size() < 0x40) return false;
    const size_t pe = bytes[0x3C] | bytes[0x3D] << 8;
    return pe + 6 <= bytes.size() && (bytes[pe + 4] | bytes[pe + 5] << 8) == IMAGE_FILE_MACHINE_I386;
}

REGSAM OwnView(const std::wstring& exe) { return IsX86(exe) ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

std::wstring Directory(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/"));
}

// A copy of an exe as <folder>\Vossel.exe, removed again with its folder.
// The Program Files folder that an installer of this exe would use.
std::wstring ProgramFilesFolder(const std::wstring& exe) {
    return IsX86(exe) ? L"C:\\Program Files (x86)\\Vossel E2E" : L"C:\\Program Files\\Vossel E2E";
}

std::wstring UserFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"Vossel E2E Downloads";
}

// Lets everyone add and remove files there: "chmod 777", which Wine shows as Everyone 0x1301ff.
bool LetEveryoneChange(const std::wstring& folder) {
    using UnixFileName = char*(CDECL*)(LPCWSTR);
    const auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixFileName ? unixFileName(folder.c_str()) : nullptr;
    const bool done = name && RunUnix("chmod 777 '" + std::string(name) + "'", 30000) == 0;
    HeapFree(GetProcessHeap(), 0, name);
    return done;
}

bool Ticked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool Answers(HWND window) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kStepTimeoutMs, &answer) != 0;
}

// Opens the settings window and returns its check box.
HWND OpenSettings(const Target& target) {
    const size_t from = target.Lines().size();
    HWND mainWindow = MainWindowOf(target);
    if (!mainWindow) return nullptr;
    ClickClient(mainWindow, kSettingsLink.x, kSettingsLink.y);
    if (!target.WaitForPrefix("Vossel: settings shown", kStepTimeoutMs, from)) return nullptr;
    return Control(SettingsWindowOf(target), 101);
}

bool CloseSettings(const Target& target) {
    const size_t from = target.Lines().size();
    PostMessageW(Control(SettingsWindowOf(target), 102), BM_CLICK, 0, 0);
    return target.WaitForPrefix("Vossel: settings unloaded", kStepTimeoutMs, from).has_value();
}

std::optional<std::wstring> MachineValue(const std::wstring& exe) {
    return RunValue(L"Vossel", OwnView(exe));
}
std::optional<std::wstring> UserValue() { return RunValue(L"Vossel", 0, HKEY_CURRENT_USER); }

struct ScopeCase {
    const char* name;
    bool inProgramFiles, everyoneMayChange;
    bool machine;
};

// Tick, reopen (ticked), clear: the entry in the scope that the exe's folder calls for, and
// nothing in the other one.
TEST(AutoStartScope, TheEntryFollowsTheExesFolderAndTheReopenedBoxShowsIt) {
    const ScopeCase cases[] = {{"Program Files", true, false, true}, {"a user's folder", false, false, false},
                               {"Program Files, open to everyone", true, true, false}};
    for (const ScopeCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunValueCleanup cleanup;
        ExeCopy copy(TargetExe(), c.inProgramFiles ? ProgramFilesFolder(TargetExe()) : UserFolder());
        ASSERT_TRUE(copy.copied) << Utf8(copy.path);
        ASSERT_TRUE(!c.everyoneMayChange || LetEveryoneChange(copy.folder));
        Target target(copy.path);
        ASSERT_TRUE(target.Started()) << target.StartError();
        ASSERT_TRUE(target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs)) << AllLines(target);

        HWND box = OpenSettings(target);
        ASSERT_NE(box, nullptr) << AllLines(target);
        EXPECT_FALSE(Ticked(box));
        const size_t from = target.Lines().size();
        PostMessageW(box, BM_CLICK, 0, 0);
        const std::string prefix = std::string("Vossel: autostart write \"") +
                                   (c.machine ? "HKLM" : "HKCU") +
                                   R"(\SOFTWARE\Microsoft\Windows\CurrentVersion\Run\Vossel" = )";
        ASSERT_TRUE(target.WaitForPrefix(prefix, kStepTimeoutMs, from)) << AllLines(target);
        ASSERT_TRUE(Answers(MainWindowOf(target)));
        const auto written = c.machine ? MachineValue(copy.path) : UserValue();
        ASSERT_TRUE(written) << "no entry in the expected scope; lines:\n" << AllLines(target);
        EXPECT_EQ(*written, L"\"" + copy.path + L"\"");
        EXPECT_FALSE(c.machine ? UserValue() : MachineValue(copy.path))
            << "an entry in the other scope too";
        EXPECT_FALSE(RunValue(L"Vossel", OwnView(copy.path) == KEY_WOW64_32KEY ? KEY_WOW64_64KEY
                                                                                : KEY_WOW64_32KEY))
            << "an entry in the other registry view";

        ASSERT_TRUE(CloseSettings(target)) << AllLines(target);
        box = OpenSettings(target);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(Ticked(box)) << "the reopened box does not show the entry";
        if (c.machine) SaveScreenshotPng(L"autostart-reopened-ticked");

        PostMessageW(box, BM_CLICK, 0, 0);
        ASSERT_TRUE(target.WaitForPrefix("Vossel: autostart delete ", kStepTimeoutMs, from))
            << AllLines(target);
        ASSERT_TRUE(Answers(MainWindowOf(target)));
        EXPECT_FALSE(UserValue());
        EXPECT_FALSE(MachineValue(copy.path));
        EXPECT_FALSE(Ticked(box));
        EXPECT_EQ(CountLines(target, std::regex("^Vossel: error")), 0u) << AllLines(target);
        target.Kill();
    }
}

// The test-only build whose own machine-wide writes are refused, installed in Program Files: the
// change goes to the elevated copy (Wine's "runas" just starts it), and the box shows the result.
TEST(AutoStartElevation, ARefusedMachineWideWriteIsMadeByTheElevatedCopy) {
    const std::wstring variant = Directory(TargetExe()) + L"\\fault-refuse-machine-write\\Vossel.exe";
    ASSERT_NE(GetFileAttributesW(variant.c_str()), INVALID_FILE_ATTRIBUTES)
        << "not built: " << Utf8(variant);
    RunValueCleanup cleanup;
    ExeCopy copy(variant, ProgramFilesFolder(TargetExe()));
    ASSERT_TRUE(copy.copied) << Utf8(copy.path);
    Target target(copy.path);
    ASSERT_TRUE(target.Started()) << target.StartError();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs)) << AllLines(target);

    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "tick" : "clear");
        HWND box = OpenSettings(target);
        ASSERT_NE(box, nullptr) << AllLines(target);
        EXPECT_EQ(Ticked(box), !on);
        const size_t from = target.Lines().size();
        PostMessageW(box, BM_CLICK, 0, 0);
        const std::string parameters = on ? "/autostart on" : "/autostart off";
        ASSERT_TRUE(target.WaitForLine(std::regex("^Vossel: autostart elevate \"" + parameters + "\"$"),
                                       kStepTimeoutMs, from))
            << AllLines(target);
        const auto exited = target.WaitForPrefix("Vossel: autostart elevated exit ", kExitTimeoutMs, from);
        ASSERT_TRUE(exited) << AllLines(target);
        EXPECT_EQ(exited->text, "Vossel: autostart elevated exit 0");
        ASSERT_TRUE(Answers(MainWindowOf(target)));
        EXPECT_EQ(MachineValue(copy.path).has_value(), on);
        if (on) {
            EXPECT_EQ(MachineValue(copy.path).value_or(L""), L"\"" + copy.path + L"\"");
        }
        EXPECT_FALSE(UserValue()) << "the elevated change landed in HKEY_CURRENT_USER";
        EXPECT_EQ(Ticked(box), on) << "the box does not show what the elevated copy did";
        EXPECT_TRUE(IsWindowEnabled(box));
        EXPECT_EQ(CountLines(target, std::regex("^Vossel: error")), 0u) << AllLines(target);
        EXPECT_EQ(WaitForMessageBox(target, 0), nullptr);
        ASSERT_TRUE(CloseSettings(target));
    }
    target.Kill();
}

// The 15 s end comes while the elevated copy is still at work (as it may while the UAC prompt is
// up): it waits for the copy and for the box to show what the copy did, then ends as ever.
TEST(AutoStartElevation, TheTimedEndWaitsForAPendingElevatedChange) {
    const std::wstring variant = Directory(TargetExe()) + L"\\fault-refuse-machine-write\\Vossel.exe";
    RunValueCleanup cleanup;
    ExeCopy copy(variant, ProgramFilesFolder(TargetExe()));
    ASSERT_TRUE(copy.copied) << Utf8(copy.path);
    // Longer than the whole life of the program.
    EnvironmentOverride slow(L"VOSSEL_TEST_ELEVATED_DELAY_MS", L"20000");
    Target target(copy.path);
    ASSERT_TRUE(target.Started()) << target.StartError();
    ASSERT_TRUE(target.WaitForPrefix("Vossel: Label2 = ", kStartTimeoutMs)) << AllLines(target);
    HWND box = OpenSettings(target);
    ASSERT_NE(box, nullptr) << AllLines(target);
    PostMessageW(box, BM_CLICK, 0, 0);
    ASSERT_TRUE(target.WaitForPrefix("Vossel: autostart elevate ", kStepTimeoutMs)) << AllLines(target);
    ASSERT_TRUE(target.WaitForPrefix("Vossel: timed end held", kExitTimeoutMs)) << AllLines(target);
    EXPECT_TRUE(Answers(MainWindowOf(target))) << "the windows stopped while the change was pending";
    const auto exited = target.WaitForPrefix("Vossel: autostart elevated exit ", kExitTimeoutMs);
    ASSERT_TRUE(exited) << "the program ended before the elevated copy; lines:\n" << AllLines(target);
    ASSERT_TRUE(target.WaitForExit(kExitTimeoutMs)) << AllLines(target);
    const auto end = target.WaitForPrefix("Vossel: end ", 0);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->text, "Vossel: end timer");
    EXPECT_GE(end->seconds, exited->seconds);
    EXPECT_EQ(MachineValue(copy.path).value_or(L""), L"\"" + copy.path + L"\"");
}

// Started as the elevated copy directly: only the two forms do anything, and only for an exe in
// an administrators' folder; it ends by itself, with no window to close.
TEST(AutoStartElevation, TheElevatedCopyTakesOnlyItsTwoFormsAndShowsNoWindow) {
    RunValueCleanup cleanup;
    ExeCopy installed(TargetExe(), ProgramFilesFolder(TargetExe()));
    ExeCopy downloaded(TargetExe(), UserFolder());
    ASSERT_TRUE(installed.copied && downloaded.copied);
    struct Case {
        const ExeCopy* copy;
        const wchar_t* arguments;
        DWORD exitCode;
        bool written;
    };
    const Case cases[] = {
        {&installed, L"/autostart on", 0, true},
        {&installed, L"/autostart off", 0, false},
        {&installed, L"/autostart ON", 1, false},
        {&installed, L"/autostart on C:\\evil.exe", 1, false},
        {&downloaded, L"/autostart on", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.copy->path + L" " + c.arguments));
        std::wstring commandLine = L"\"" + c.copy->path + L"\" " + c.arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(c.copy->path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                   0, nullptr, nullptr, &startup, &process));
        const DWORD waited = WaitForSingleObject(process.hProcess, kExitTimeoutMs);
        DWORD exitCode = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &exitCode);
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        ASSERT_EQ(waited, WAIT_OBJECT_0) << "the elevated copy did not end by itself";
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_EQ(MachineValue(c.copy->path).has_value(), c.written);
        EXPECT_FALSE(UserValue());
    }
}

}  // namespace
}  // namespace vossel::e2e
