#include "settings/autostart_scope.h"

#include <cwctype>

namespace vossel {
namespace {

bool SameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    }
    return true;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool ClimbsOut(std::wstring_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (path.substr(start, end - start) == L"..") return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool IsInsideFolder(std::wstring_view path, std::wstring_view folder) {
    while (!folder.empty() && IsSeparator(folder.back())) folder.remove_suffix(1);
    if (folder.empty() || path.size() <= folder.size() + 1) return false;
    if (ClimbsOut(path)) return false;
    return SameText(path.substr(0, folder.size()), folder) && IsSeparator(path[folder.size()]);
}

AutoStartScope ChooseAutoStartScope(std::wstring_view exePath,
                                    const std::vector<std::wstring>& adminFolders) {
    for (const std::wstring& folder : adminFolders) {
        if (IsInsideFolder(exePath, folder)) return AutoStartScope::Machine;
    }
    return AutoStartScope::User;
}

}  // namespace vossel
