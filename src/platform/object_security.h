#pragma once
// The owner and the access entries of one file or folder, and the account this process runs as,
// in a form that the platform-free logic can judge: SIDs as strings ("S-1-5-32-545"), access masks
// as the numbers stored. No Windows types.
#include <cstdint>
#include <string>
#include <vector>

namespace vossel::platform {

struct AccessEntry {
    bool allows = true;  // access-allowed; false for access-denied
    std::wstring sid;
    std::uint32_t mask = 0;    // as stored: generic rights are not mapped
    bool inheritOnly = false;  // for the children only; no say over the object itself
};

struct ObjectSecurity {
    std::wstring ownerSid;  // empty when the descriptor names none
    bool hasDacl = true;    // false for a NULL DACL, which lets everyone do everything
    std::vector<AccessEntry> dacl;
};

struct CurrentUser {
    std::wstring sid;
    bool isAdministrator = false;  // a member of BUILTIN\Administrators, elevated or not
};

}  // namespace vossel::platform
