#pragma once
// Folders that, on a stock Windows, only administrators can change.
#include <string>
#include <vector>

namespace vossel::platform {

// The Program Files folders (64-bit and 32-bit, as far as this process can name them) and the
// Windows folder, from SHGetKnownFolderPath. Folders that cannot be named are left out.
std::vector<std::wstring> AdminOnlyFolders();

}  // namespace vossel::platform
