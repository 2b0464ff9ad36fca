#pragma once
// Where the auto-start entry goes. A machine-wide entry runs its file in every user's session,
// administrators' included, so it may only point into a folder that only administrators can
// change; anywhere else the entry is this user's own.
#include <string>
#include <string_view>
#include <vector>

#include "settings/autostart.h"

namespace vossel {

// Whether path lies inside folder (at any depth), ignoring case. "C:\Program Files Evil\x.exe" is
// not inside "C:\Program Files", and a path that climbs out with ".." is inside nothing.
bool IsInsideFolder(std::wstring_view path, std::wstring_view folder);

// adminFolders: the Program Files folders and the Windows folder as the system names them.
AutoStartScope ChooseAutoStartScope(std::wstring_view exePath,
                                    const std::vector<std::wstring>& adminFolders);

}  // namespace vossel
