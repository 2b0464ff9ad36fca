#include "platform/runtime_error.h"

#include <windows.h>

#include <cstdlib>
#include <exception>

#include "platform/number_text.h"
#include "platform/texts.h"
#include "platform/ui/window.h"

namespace vossel::platform {
namespace {

RuntimeErrorReport installedReport = nullptr;

}  // namespace

void ShowErrorMessage(void* owner, std::int32_t number, const std::wstring& description) {
    const std::wstring text = Text(IDS_RUNTIME_ERROR, {NumberText(number), description});
    UINT flags = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    if (!owner) flags |= MB_TASKMODAL;
    // Never under the topmost main window: owned by it when no owner is given (an owned window
    // stays above its owner), and topmost in any case.
    HWND ownerWindow = owner ? static_cast<HWND>(owner) : VisibleTopmostWindow();
    ::MessageBoxW(ownerWindow, text.c_str(), L"Vossel", flags | MB_TOPMOST);
}

std::wstring WidenAscii(const char* text) {
    std::wstring wide;
    for (; text && *text; ++text) wide.push_back(static_cast<unsigned char>(*text));
    return wide;
}

void SetRuntimeErrorReport(RuntimeErrorReport report) { installedReport = report; }

namespace {

[[noreturn]] void Report(const RuntimeError& error) noexcept {
    if (installedReport) installedReport(error);
    ::ExitProcess(1);
}

}  // namespace

void ReportCurrentException() noexcept {
    // From here on no handler runs and no timer fires, so the message box's own loop cannot
    // re-enter the program.
    StopAllHandlers();
    // Reported from within each handler: assigning the error would pull in the whole of the
    // runtime's copy-on-write string for std::runtime_error's assignment.
    try {
        throw;
    } catch (const RuntimeError& e) {
        Report(e);
    } catch (const std::bad_alloc&) {
        Report(RuntimeError(7, Text(IDS_ERROR_OUT_OF_MEMORY)));
    } catch (const std::exception& e) {
        Report(
            RuntimeError(kErrorInternal, Text(IDS_ERROR_INTERNAL_DETAIL, {WidenAscii(e.what())})));
    } catch (...) {
    }
    Report(RuntimeError(kErrorInternal, Text(IDS_ERROR_INTERNAL)));
}

}  // namespace vossel::platform
