#include "platform/known_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/late_bound.h"
#include "platform/registry.h"
#include "platform/system_api.h"

namespace vossel::platform {
namespace {

LateBound<decltype(&::SHGetKnownFolderPath)> GetKnownFolderPath{L"shell32.dll",
                                                                "SHGetKnownFolderPath"};

}  // namespace

std::vector<std::wstring> ProgramFilesFolders() {
    std::vector<std::wstring> folders;
    // A 32-bit process cannot ask for FOLDERID_ProgramFilesX64, but it can read the 64-bit
    // registry view, where the value names the native folder; only administrators can change it.
    const auto native =
        ReadStringValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                        L"ProgramFilesDir", KEY_WOW64_64KEY);
    if (native && !native->empty()) folders.push_back(*native);
    PWSTR path = nullptr;
    if (SUCCEEDED(
            GetKnownFolderPath(FOLDERID_ProgramFilesX86, KF_FLAG_DONT_VERIFY, nullptr, &path)) &&
        path) {
        folders.emplace_back(path);
    }
    if (path) api::CoTaskMemFree(path);
    return folders;
}

}  // namespace vossel::platform
