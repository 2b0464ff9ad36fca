#pragma once
// What decides whether ordinary users can change a file: its real path, the security of each
// file and folder on it, and who this process runs as.
#include <optional>
#include <string>

#include "platform/object_security.h"

namespace vossel::platform {

// The owner and DACL of the file or folder itself; a junction or link there is not followed.
// Nothing when it cannot be read, or when it holds an entry of a kind not judged here.
std::optional<ObjectSecurity> ReadObjectSecurity(const std::wstring& path);

// The path of the file that path reaches through every junction and link, as
// GetFinalPathNameByHandleW gives it ("\\?\C:\..."); empty when it cannot be had.
std::wstring FinalPathOf(const std::wstring& path);

// Under UAC an administrator's everyday token holds Administrators for denying only; the linked
// full token still shows the membership. Empty SID when the token cannot be read.
CurrentUser ThisProcessUser();

}  // namespace vossel::platform
