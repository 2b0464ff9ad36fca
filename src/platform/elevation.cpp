#include "platform/elevation.h"

#include <objbase.h>
#include <shellapi.h>

#include <utility>

#include "platform/late_bound.h"
#include "platform/system_api.h"

namespace vossel::platform {
namespace {

LateBound<decltype(&::ShellExecuteExW)> ShellExecuteEx{L"shell32.dll", "ShellExecuteExW"};

struct BackgroundJob {
    std::shared_ptr<BackgroundElevation> elevation;
    HWND owner;
    std::wstring exe;
    std::wstring parameters;
};

DWORD WINAPI RunBackgroundElevation(void* parameter) noexcept {
    std::unique_ptr<BackgroundJob> job(static_cast<BackgroundJob*>(parameter));
    ElevatedStart start;
    try {
        // The shell may hand the verb to COM objects, which want an apartment on this thread.
        const HRESULT com =
            api::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        start = StartElevated(job->owner, job->exe, job->parameters);
        if (SUCCEEDED(com)) api::CoUninitialize();
    } catch (...) {
        start.error = ERROR_GEN_FAILURE;
    }
    job->elevation->Finish(std::move(start));
    return 0;
}

}  // namespace

std::shared_ptr<BackgroundElevation> StartElevatedInBackground(HWND owner, std::wstring exe,
                                                               std::wstring parameters) {
    // Bound here, so that a missing export is the run-time error on the window's thread, and the
    // worker only calls.
    ShellExecuteEx.Get();
    api::CoInitializeEx.Get();
    api::CoUninitialize.Get();
    auto elevation = std::make_shared<BackgroundElevation>();
    auto job = std::make_unique<BackgroundJob>(
        BackgroundJob{elevation, owner, std::move(exe), std::move(parameters)});
    if (HANDLE thread = ::CreateThread(nullptr, 0, &RunBackgroundElevation, job.get(), 0, nullptr)) {
        job.release();  // the worker's now
        ::CloseHandle(thread);
    } else {
        ElevatedStart failed;
        failed.error = ::GetLastError();
        if (failed.error == ERROR_SUCCESS) failed.error = ERROR_GEN_FAILURE;
        elevation->Finish(std::move(failed));
    }
    return elevation;
}

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
