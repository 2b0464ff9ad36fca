#include "platform/elevation.h"

#include <shellapi.h>

#include "platform/late_bound.h"

namespace vossel::platform {
namespace {

LateBound<decltype(&::ShellExecuteExW)> ShellExecuteEx{L"shell32.dll", "ShellExecuteExW"};

}  // namespace

ElevatedStart StartElevated(HWND owner, const std::wstring& exe, const std::wstring& parameters) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // No error box of the shell's own: the caller reports, or stays silent on ERROR_CANCELLED.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = exe.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    ElevatedStart start;
    if (!ShellExecuteEx(&info)) {
        start.error = ::GetLastError();
        if (start.error == ERROR_SUCCESS) start.error = ERROR_GEN_FAILURE;
        return start;
    }
    if (!info.hProcess) {
        start.error = ERROR_INVALID_HANDLE;
        return start;
    }
    start.process = UniqueProcess(info.hProcess);
    return start;
}

std::optional<DWORD> ExitCodeIfEnded(HANDLE process) {
    if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(process, &code)) return static_cast<DWORD>(ERROR_GEN_FAILURE);
    return code;
}

}  // namespace vossel::platform
