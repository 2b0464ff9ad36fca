#include "platform/registry.h"

#include <cstring>
#include <string>

#include "platform/unique_handle.h"

#include "platform/shell_automation.h"

namespace vossel::platform {
namespace {

CallStatus StatusOf(LSTATUS status) {
    if (status == ERROR_SUCCESS) return {};
    const std::int32_t hresult = HresultFromWin32(static_cast<std::uint32_t>(status));
    return {hresult, SystemErrorText(hresult)};
}

struct CloseKey {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = UniqueAny<HKEY, CloseKey>;

std::optional<std::vector<std::uint8_t>> ReadValueBytes(HKEY root, std::wstring_view subkey,
                                                        std::wstring_view name, REGSAM view,
                                                        DWORD wantedType) {
    const std::wstring key(subkey);
    const std::wstring value(name);
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueKey owner(opened);
    std::vector<std::uint8_t> bytes(256);
    for (;;) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(bytes.size());
        const LSTATUS status =
            ::RegQueryValueExW(opened, value.c_str(), nullptr, &type, bytes.data(), &size);
        if (status == ERROR_MORE_DATA) {
            bytes.resize(size);
            continue;
        }
        if (status != ERROR_SUCCESS || type != wantedType) return std::nullopt;
        bytes.resize(size);
        return bytes;
    }
}

}  // namespace

CallStatus SetStringValue(HKEY root, std::wstring_view subkey, std::wstring_view name,
                          std::wstring_view data) {
    const std::wstring key(subkey);
    const std::wstring value(name);
    const std::wstring text(data);
    // REG_SZ counts its terminating NUL.
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return StatusOf(
        ::RegSetKeyValueW(root, key.c_str(), value.c_str(), REG_SZ, text.c_str(), bytes));
}

CallStatus DeleteValue(HKEY root, std::wstring_view subkey, std::wstring_view name, REGSAM view) {
    const std::wstring key(subkey);
    const std::wstring value(name);
    if (view == 0) return StatusOf(::RegDeleteKeyValueW(root, key.c_str(), value.c_str()));
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | view, &opened);
    if (status != ERROR_SUCCESS) return StatusOf(status);
    const UniqueKey owner(opened);
    return StatusOf(::RegDeleteValueW(opened, value.c_str()));
}

std::optional<std::wstring> ReadStringValue(HKEY root, std::wstring_view subkey,
                                            std::wstring_view name, REGSAM view) {
    const auto bytes = ReadValueBytes(root, subkey, name, view, REG_SZ);
    if (!bytes) return std::nullopt;
    std::wstring text(bytes->size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes->data(), text.size() * sizeof(wchar_t));
    // Stored data need not end in its NUL, or may carry more than one.
    if (const std::size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
    return text;
}

std::optional<std::vector<std::uint8_t>> ReadBinaryValue(HKEY root, std::wstring_view subkey,
                                                         std::wstring_view name, REGSAM view) {
    return ReadValueBytes(root, subkey, name, view, REG_BINARY);
}

std::optional<std::uint32_t> ReadDwordValue(HKEY root, std::wstring_view subkey,
                                            std::wstring_view name, REGSAM view) {
    const auto bytes = ReadValueBytes(root, subkey, name, view, REG_DWORD);
    if (!bytes || bytes->size() != sizeof(std::uint32_t)) return std::nullopt;
    std::uint32_t value = 0;
    std::memcpy(&value, bytes->data(), sizeof value);
    return value;
}

RegistryValue ReadRegistryValue(HKEY root, std::wstring_view subkey, std::wstring_view name,
                                REGSAM view) {
    const std::wstring key(subkey);
    const std::wstring value(name);
    RegistryValue read;
    HKEY opened = nullptr;
    read.error = static_cast<std::uint32_t>(
        ::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened));
    if (read.error != ERROR_SUCCESS) return read;
    const UniqueKey owner(opened);
    read.bytes.resize(256);
    for (;;) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(read.bytes.size());
        const LSTATUS status =
            ::RegQueryValueExW(opened, value.c_str(), nullptr, &type, read.bytes.data(), &size);
        if (status == ERROR_MORE_DATA) {
            read.bytes.resize(size);
            continue;
        }
        read.error = static_cast<std::uint32_t>(status);
        read.type = status == ERROR_SUCCESS ? type : REG_NONE;
        read.bytes.resize(status == ERROR_SUCCESS ? size : 0);
        return read;
    }
}

std::optional<std::vector<std::wstring>> StringsOf(const RegistryValue& value) {
    if (value.error != ERROR_SUCCESS ||
        (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ)) {
        return std::nullopt;
    }
    std::wstring text(value.bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), value.bytes.data(), text.size() * sizeof(wchar_t));
    std::vector<std::wstring> strings;
    if (value.type != REG_MULTI_SZ) {
        // Stored data need not end in its NUL, or may carry more than one.
        strings.push_back(text.substr(0, text.find(L'\0')));
        return strings;
    }
    // Strings each ended by a NUL, the list by an empty one; a last string may lack its NUL.
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(L'\0', at);
        if (end == std::wstring::npos) end = text.size();
        if (end == at) break;
        strings.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return strings;
}

bool RunsUnderWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace vossel::platform
