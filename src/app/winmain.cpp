// Vossel: shows how long this computer took to start, then goes away by itself.
#include <windows.h>

#include <cstdlib>

#include "app/program.h"
#include "diagnose/diagnose_run.h"
#include "history/history_window.h"
#include "mainwindow/main_window.h"
#include "platform/runtime_error.h"
#include "platform/ui/window.h"
#include "settings/autostart_system.h"
#include "settings/elevated_autostart.h"

namespace {

#ifndef VOSSEL_FAULT_NO_DLL_RESTRICTION
// Before anything else is loaded: DLLs come from the system directory only, never from the
// folder the exe was started from (a Downloads folder may hold anything).
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault) {
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    } else {
        ::SetDllDirectoryW(L"");
    }
}
#endif

}  // namespace

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler prints the uncaught exception's demangled type name to a
// console this program never has, and brings the whole demangler into the exe for it. Errors are
// reported through ReportCurrentException; anything that still reaches std::terminate ends here.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifndef VOSSEL_FAULT_NO_DLL_RESTRICTION  // test-only build: the planted-DLL test's control
    RestrictDllSearch();
#endif
    // "/history" alone opens the history window. Any other argument at all: the copy that
    // changes the auto-start entry with no window, either elevated by the settings window or
    // run as "/autostart off" before a portable copy is deleted.
    const wchar_t* commandLine = ::GetCommandLineW();
    const std::vector<std::wstring> arguments = vossel::CommandLineArguments(commandLine);
    const bool history = vossel::IsHistoryCommand(arguments);
    // "/diagnose": the report of what a run reads and decides; no record, no window of the run.
    if (vossel::IsDiagnoseCommand(arguments)) return vossel::RunDiagnose();
    if (!arguments.empty() && !history) return vossel::RunElevatedAutoStart(commandLine);
    vossel::platform::SetRuntimeErrorReport(&vossel::ReportRuntimeError);
    try {
        if (history) return vossel::RunHistoryWindow();
        vossel::MainWindow mainWindow(&vossel::EndProgram);
        mainWindow.Show();
        return vossel::platform::RunMessageLoop();
    } catch (...) {
        vossel::platform::ReportCurrentException();
    }
}
