#include "settings/autostart_scope.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>

namespace vossel {
namespace {

using platform::AccessEntry;

constexpr std::wstring_view kSystemSid = L"S-1-5-18";
constexpr std::wstring_view kAdministratorsSid = L"S-1-5-32-544";
constexpr std::wstring_view kTrustedInstallerSid =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The rights that let their holder put other code where the entry points. The bits mean the same
// for a file and a folder: write data or add a file, append or add a folder, delete a child; then
// delete (and so rename), change the permissions, take ownership, and the generic rights that map
// to writing. Attributes and extended attributes change neither the code nor who may change it.
constexpr std::uint32_t kWriteData = 0x2;
constexpr std::uint32_t kAppendData = 0x4;
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kChangeRights = kWriteData | kAppendData | kDeleteChild | kDelete |
                                        kWriteDac | kWriteOwner | kGenericAll | kGenericWrite;

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

// Any other SID may be an ordinary user's: Users, Authenticated Users, Everyone, INTERACTIVE, a
// user's own, or a group whose members cannot be known here.
bool IsAdministrative(std::wstring_view sid, const platform::CurrentUser& user) {
    return sid == kSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid ||
           (user.isAdministrator && !user.sid.empty() && sid == user.sid);
}

// folder itself, each folder below it on the way to path, and path.
std::vector<std::wstring> PathsDownTo(std::wstring_view path, std::wstring_view folder) {
    std::vector<std::wstring> paths{std::wstring(folder)};
    while (!folder.empty() && IsSeparator(folder.back())) folder.remove_suffix(1);
    for (std::size_t at = folder.size() + 1; at < path.size(); ++at) {
        if (IsSeparator(path[at]) && !IsSeparator(path[at - 1])) {
            paths.emplace_back(path.substr(0, at));
        }
    }
    paths.emplace_back(path);
    return paths;
}

}  // namespace

bool IsInsideFolder(std::wstring_view path, std::wstring_view folder) {
    while (!folder.empty() && IsSeparator(folder.back())) folder.remove_suffix(1);
    if (folder.empty() || path.size() <= folder.size() + 1) return false;
    if (ClimbsOut(path)) return false;
    return SameText(path.substr(0, folder.size()), folder) && IsSeparator(path[folder.size()]);
}

std::wstring PathFromFinalPath(std::wstring_view finalPath) {
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    constexpr std::wstring_view kLocal = L"\\\\?\\";
    if (finalPath.size() >= kUnc.size() && SameText(finalPath.substr(0, kUnc.size()), kUnc)) {
        return L"\\\\" + std::wstring(finalPath.substr(kUnc.size()));
    }
    if (finalPath.substr(0, kLocal.size()) == kLocal) {
        return std::wstring(finalPath.substr(kLocal.size()));
    }
    return std::wstring(finalPath);
}

bool OnlyAdministratorsCanChange(const platform::ObjectSecurity& security,
                                 const platform::CurrentUser& user) {
    // The owner may always change the permissions, so the owner counts as one who can write.
    if (!IsAdministrative(security.ownerSid, user)) return false;
    if (!security.hasDacl) return false;
    for (const AccessEntry& entry : security.dacl) {
        // A deny entry is not weighed: whether it names a group that holds every ordinary user
        // cannot be known here, so it never makes an object safer. An inherit-only entry has no
        // say over the object; the children it passes to are checked on their own.
        if (!entry.allows || entry.inheritOnly) continue;
        if ((entry.mask & kChangeRights) != 0 && !IsAdministrative(entry.sid, user)) return false;
    }
    return true;
}

AutoStartScope ChooseAutoStartScope(const ExeLocation& exe,
                                    const std::vector<std::wstring>& programFilesFolders,
                                    const SecurityReader& readSecurity,
                                    const platform::CurrentUser& user) {
    if (exe.path.empty() || exe.finalPath.empty()) return AutoStartScope::User;
    // The entry names the path as started; a junction on it that an ordinary user may re-point
    // is as bad as a file they may replace, so both paths and every step on them are checked.
    const bool samePath = SameText(exe.path, exe.finalPath);
    for (const std::wstring* path : {&exe.path, &exe.finalPath}) {
        if (path == &exe.finalPath && samePath) break;
        const auto folder = std::find_if(
            programFilesFolders.begin(), programFilesFolders.end(),
            [path](const std::wstring& candidate) { return IsInsideFolder(*path, candidate); });
        if (folder == programFilesFolders.end()) return AutoStartScope::User;
        for (const std::wstring& step : PathsDownTo(*path, *folder)) {
            const std::optional<platform::ObjectSecurity> security = readSecurity(step);
            if (!security || !OnlyAdministratorsCanChange(*security, user)) {
                return AutoStartScope::User;
            }
        }
    }
    return AutoStartScope::Machine;
}

}  // namespace vossel
