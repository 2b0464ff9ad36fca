#include "platform/known_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/late_bound.h"
#include "platform/system_api.h"

namespace vossel::platform {
namespace {

LateBound<decltype(&::SHGetKnownFolderPath)> GetKnownFolderPath{L"shell32.dll",
                                                               "SHGetKnownFolderPath"};

}  // namespace

std::vector<std::wstring> AdminOnlyFolders() {
    // FOLDERID_ProgramFilesX64 is not available to a 32-bit process; FOLDERID_ProgramFiles then
    // names the 32-bit folder, so the 64-bit one is missed and such an exe counts as a user's.
    const KNOWNFOLDERID* const ids[] = {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX64,
                                        &FOLDERID_ProgramFilesX86, &FOLDERID_Windows};
    std::vector<std::wstring> folders;
    for (const KNOWNFOLDERID* id : ids) {
        PWSTR path = nullptr;
        if (SUCCEEDED(GetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) {
            folders.emplace_back(path);
        }
        if (path) api::CoTaskMemFree(path);
    }
    return folders;
}

}  // namespace vossel::platform
