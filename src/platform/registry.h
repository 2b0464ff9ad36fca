#pragma once
// String values in the registry through the registry API, in this process's own view: a 32-bit
// process lands in WOW6432Node, as the in-process shell automation object does.
#include <windows.h>

#include <string_view>

#include "platform/call_status.h"

namespace vossel::platform {

// Creates the key when it is missing; REG_SZ.
CallStatus SetStringValue(HKEY root, std::wstring_view subkey, std::wstring_view name,
                          std::wstring_view data);
// An absent value answers kHresultFileNotFound.
CallStatus DeleteValue(HKEY root, std::wstring_view subkey, std::wstring_view name);

}  // namespace vossel::platform
