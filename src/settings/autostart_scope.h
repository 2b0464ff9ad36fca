#pragma once
// Where the auto-start entry goes. A machine-wide entry runs its file in every user's session,
// administrators' included, so it may only point to a file in Program Files that nobody but
// administrators can change, down a line of folders that only they can change; anywhere else
// the entry is this user's own.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/object_security.h"
#include "settings/autostart.h"

namespace vossel {

// Whether path lies inside folder (at any depth), ignoring case. "C:\Program Files Evil\x.exe" is
// not inside "C:\Program Files", and a path that climbs out with ".." is inside nothing.
bool IsInsideFolder(std::wstring_view path, std::wstring_view folder);

// A path as GetFinalPathNameByHandleW gives it, in the form the folders are named in:
// "\\?\C:\x" becomes "C:\x", "\\?\UNC\server\share\x" becomes "\\server\share\x".
std::wstring PathFromFinalPath(std::wstring_view finalPath);

// Whether nobody but administrators, SYSTEM and TrustedInstaller (and the current user, when an
// administrator) can write the object, delete or rename it, add or remove files in it, change its
// permissions or take it over. Other users and groups may read and run it.
bool OnlyAdministratorsCanChange(const platform::ObjectSecurity& security,
                                 const platform::CurrentUser& user);

struct ExeLocation {
    std::wstring path;       // as the process was started, and as the entry names it
    std::wstring finalPath;  // the file reached through every junction and link
};

// The security of one file or folder; nothing when it cannot be read.
using SecurityReader =
    std::function<std::optional<platform::ObjectSecurity>(const std::wstring& path)>;

// programFilesFolders: the Program Files folders as the system names them and as they are reached.
// Machine-wide only when both of the exe's paths lie inside one of them and that folder, every
// folder below it down to the exe, and the exe itself can be changed by administrators alone.
// Whatever cannot be read counts as changeable.
AutoStartScope ChooseAutoStartScope(const ExeLocation& exe,
                                    const std::vector<std::wstring>& programFilesFolders,
                                    const SecurityReader& readSecurity,
                                    const platform::CurrentUser& user);

}  // namespace vossel
