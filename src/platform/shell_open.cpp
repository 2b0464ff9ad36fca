#include "platform/shell_open.h"

#include <memory>

#include "platform/system_api.h"

namespace vossel::platform {
namespace {

struct OpenJob {
    std::wstring target;
    HWND window;
    UINT message;
};

DWORD WINAPI RunOpen(void* parameter) noexcept {
    std::unique_ptr<OpenJob> job(static_cast<OpenJob*>(parameter));
    DWORD error = ERROR_SUCCESS;
    try {
        // The shell hands a URI to COM objects, which want an apartment on this thread.
        const HRESULT com =
            api::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof(info);
        // No error box of the shell's own: the window says what failed.
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.hwnd = job->window;
        info.lpVerb = L"open";
        info.lpFile = job->target.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (!api::ShellExecuteExW(&info)) {
            error = ::GetLastError();
            if (error == ERROR_SUCCESS) error = ERROR_NO_ASSOCIATION;
        }
        if (SUCCEEDED(com)) api::CoUninitialize();
    } catch (...) {
        error = ERROR_GEN_FAILURE;
    }
    ::PostMessageW(job->window, job->message, error, 0);
    return 0;
}

}  // namespace

bool WindowsBuildAtLeast(unsigned long build) {
    // Every build before Windows 10's first, 10240, is below any build asked here.
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwBuildNumber = build;
    const ULONGLONG condition = api::VerSetConditionMask(0, VER_BUILDNUMBER, VER_GREATER_EQUAL);
    return api::VerifyVersionInfoW(&version, VER_BUILDNUMBER, condition) != FALSE;
}

void OpenWithShellInBackground(const std::wstring& target, HWND window, UINT message) {
    // Bound here, so that a missing export is the run-time error on the window's thread.
    api::ShellExecuteExW.Get();
    api::CoInitializeEx.Get();
    api::CoUninitialize.Get();
    auto job = std::make_unique<OpenJob>(OpenJob{target, window, message});
    if (HANDLE thread = ::CreateThread(nullptr, 0, &RunOpen, job.get(), 0, nullptr)) {
        job.release();  // the thread's now
        ::CloseHandle(thread);
    } else {
        const DWORD error = ::GetLastError();
        ::PostMessageW(window, message, error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE, 0);
    }
}

}  // namespace vossel::platform
