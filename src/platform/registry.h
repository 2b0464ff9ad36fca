#pragma once
// String values in the registry through the registry API, in this process's own view: a 32-bit
// process lands in WOW6432Node, as the in-process shell automation object does.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/call_status.h"

namespace vossel::platform {

// Creates the key when it is missing; REG_SZ.
CallStatus SetStringValue(HKEY root, std::wstring_view subkey, std::wstring_view name,
                          std::wstring_view data);
// An absent value answers kHresultFileNotFound. view: 0 for the process's own, or
// KEY_WOW64_64KEY / KEY_WOW64_32KEY.
CallStatus DeleteValue(HKEY root, std::wstring_view subkey, std::wstring_view name,
                       REGSAM view = 0);

// A REG_SZ value's data (REG_EXPAND_SZ unexpanded); nothing when absent or of another type.
std::optional<std::wstring> ReadStringValue(HKEY root, std::wstring_view subkey,
                                            std::wstring_view name, REGSAM view = 0);
// A REG_DWORD value; nothing when absent or of another type.
std::optional<std::uint32_t> ReadDwordValue(HKEY root, std::wstring_view subkey,
                                            std::wstring_view name, REGSAM view = 0);
// A REG_BINARY value's bytes; nothing when absent or of another type.
std::optional<std::vector<std::uint8_t>> ReadBinaryValue(HKEY root, std::wstring_view subkey,
                                                         std::wstring_view name, REGSAM view = 0);

// One value as read: 0 and its type and data, or the Win32 error of the reading (2 when absent).
struct RegistryValue {
    std::uint32_t error = 0;
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> bytes;
};
RegistryValue ReadRegistryValue(HKEY root, std::wstring_view subkey, std::wstring_view name,
                                REGSAM view = 0);

// The texts of a string value: one for REG_SZ and REG_EXPAND_SZ (unexpanded), each string of a
// REG_MULTI_SZ (none for an empty one); nothing for a value not read or of another type.
std::optional<std::vector<std::wstring>> StringsOf(const RegistryValue& value);

// A 32-bit process on 64-bit Windows, whose HKLM\SOFTWARE is redirected to WOW6432Node.
bool RunsUnderWow64();

}  // namespace vossel::platform
