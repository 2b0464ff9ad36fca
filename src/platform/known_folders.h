#pragma once
// The folders where an installer puts programs for every user.
#include <string>
#include <vector>

namespace vossel::platform {

// The 64-bit and the 32-bit Program Files folder; on 32-bit Windows both are the same one.
// Folders that cannot be named are left out.
std::vector<std::wstring> ProgramFilesFolders();

}  // namespace vossel::platform
