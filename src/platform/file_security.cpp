#include "platform/file_security.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdint>
#include <vector>

#include "platform/late_bound.h"
#include "platform/unique_handle.h"

namespace vossel::platform {
namespace {

LateBound<decltype(&::GetSecurityInfo)> GetSecurityInfoApi{L"advapi32.dll", "GetSecurityInfo"};
LateBound<decltype(&::GetAce)> GetAceApi{L"advapi32.dll", "GetAce"};
LateBound<decltype(&::ConvertSidToStringSidW)> ConvertSidToStringSidApi{L"advapi32.dll",
                                                                        "ConvertSidToStringSidW"};
LateBound<decltype(&::OpenProcessToken)> OpenProcessTokenApi{L"advapi32.dll", "OpenProcessToken"};
LateBound<decltype(&::GetTokenInformation)> GetTokenInformationApi{L"advapi32.dll",
                                                                   "GetTokenInformation"};
LateBound<decltype(&::CreateWellKnownSid)> CreateWellKnownSidApi{L"advapi32.dll",
                                                                 "CreateWellKnownSid"};
LateBound<decltype(&::CheckTokenMembership)> CheckTokenMembershipApi{L"advapi32.dll",
                                                                     "CheckTokenMembership"};
LateBound<decltype(&::GetFinalPathNameByHandleW)> GetFinalPathNameByHandleApi{
    L"kernel32.dll", "GetFinalPathNameByHandleW"};

struct FreeLocalMemory {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using UniqueLocalMemory = UniqueAny<void*, FreeLocalMemory>;

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !ConvertSidToStringSidApi(sid, &text) || !text) return {};
    const UniqueLocalMemory owner(text);
    return text;
}

// FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too.
UniqueHandle Open(const std::wstring& path, DWORD access, DWORD flags) {
    HANDLE file =
        ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    return file == INVALID_HANDLE_VALUE ? UniqueHandle() : UniqueHandle(file);
}

bool HoldsAdministrators(HANDLE token) {
    alignas(SID) BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(administrators);
    if (!CreateWellKnownSidApi(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
        return false;
    }
    BOOL member = FALSE;
    return CheckTokenMembershipApi(token, administrators, &member) && member;
}

}  // namespace

std::optional<ObjectSecurity> ReadObjectSecurity(const std::wstring& path) {
    // A junction or link is opened itself: whoever may change it may point it elsewhere.
    const UniqueHandle file = Open(path, READ_CONTROL, FILE_FLAG_OPEN_REPARSE_POINT);
    if (!file) return std::nullopt;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfoApi(file.Get(), SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                           &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueLocalMemory descriptorOwner(descriptor);
    ObjectSecurity security;
    security.ownerSid = SidText(owner);
    // No DACL at all reads as a null pointer too, and means the same: no restriction.
    security.hasDacl = dacl != nullptr;
    if (!dacl) return security;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAceApi(dacl, index, &ace) || !ace) return std::nullopt;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        AccessEntry entry;
        switch (header->AceType) {
            case ACCESS_ALLOWED_ACE_TYPE:
            case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:  // conditional: taken as if it always applied
                entry.allows = true;
                break;
            case ACCESS_DENIED_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_ACE_TYPE:
                entry.allows = false;
                break;
            default:
                // Object entries (a directory service's kind) and anything newer: not judged.
                return std::nullopt;
        }
        // These four kinds share ACCESS_ALLOWED_ACE's layout: the header, the mask, the SID.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        entry.mask = allowed->Mask;
        entry.sid = SidText(&allowed->SidStart);
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        security.dacl.push_back(std::move(entry));
    }
    return security;
}

std::wstring FinalPathOf(const std::wstring& path) {
    const UniqueHandle file = Open(path, FILE_READ_ATTRIBUTES, 0);
    if (!file) return {};
    std::wstring finalPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleApi(file.Get(), finalPath.data(),
                                                         static_cast<DWORD>(finalPath.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < finalPath.size()) {
            finalPath.resize(length);
            return finalPath;
        }
        finalPath.resize(length);  // the size asked for counts the NUL
    }
}

CurrentUser ThisProcessUser() {
    CurrentUser user;
    HANDLE token = nullptr;
    if (!OpenProcessTokenApi(::GetCurrentProcess(), TOKEN_QUERY, &token)) return user;
    const UniqueHandle tokenOwner(token);
    DWORD size = 0;
    GetTokenInformationApi(token, TokenUser, nullptr, 0, &size);
    std::vector<std::uint8_t> buffer(size);
    if (size > 0 && GetTokenInformationApi(token, TokenUser, buffer.data(), size, &size)) {
        user.sid = SidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
    }
    // Null: the thread's own token, which CheckTokenMembership duplicates as the impersonation
    // token it needs. The linked token of a limited one is an impersonation token already.
    user.isAdministrator = HoldsAdministrators(nullptr);
    if (!user.isAdministrator) {
        TOKEN_LINKED_TOKEN linked{};
        if (GetTokenInformationApi(token, TokenLinkedToken, &linked, sizeof(linked), &size)) {
            const UniqueHandle linkedOwner(linked.LinkedToken);
            user.isAdministrator = HoldsAdministrators(linked.LinkedToken);
        }
    }
    return user;
}

}  // namespace vossel::platform
