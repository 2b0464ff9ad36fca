#pragma once
// Running this exe again, elevated, and learning when it ended.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/unique_handle.h"

namespace vossel::platform {

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using UniqueProcess = UniqueAny<HANDLE, CloseKernelHandle>;

struct ElevatedStart {
    UniqueProcess process;  // set when it started
    DWORD error = ERROR_SUCCESS;  // otherwise why not; ERROR_CANCELLED when the user declined
};

// ShellExecuteExW with the verb "runas", owner as the prompt's owner, and no window of its own.
// Returns at once after the prompt; the process runs on.
ElevatedStart StartElevated(HWND owner, const std::wstring& exe, const std::wstring& parameters);

// The exit code once the process has ended; nothing while it runs.
std::optional<DWORD> ExitCodeIfEnded(HANDLE process);

}  // namespace vossel::platform
