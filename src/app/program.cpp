#include "app/program.h"

#include <windows.h>

#include <string>

#include "platform/debug_output.h"
#include "platform/number_text.h"

namespace vossel {

void EndProgram(std::wstring_view reason) {
    platform::Report(L"end " + std::wstring(reason));
    ::ExitProcess(0);
}

void ReportRuntimeError(const platform::RuntimeError& error) noexcept {
    const std::wstring number = platform::NumberText(error.Number());
    platform::Report(L"error " + number + L" " + error.Description());
    platform::ShowErrorMessage(nullptr, error.Number(), error.Description());
    platform::Report(L"end error " + number);
    // The exit code carries the error number where it fits, and is never 0.
    const int number32 = error.Number();
    ::ExitProcess(number32 > 0 && number32 < 0x10000 ? static_cast<UINT>(number32) : 1u);
}

}  // namespace vossel
