#pragma once
// The clipboard, for text.
#include <windows.h>

#include <string>

namespace vossel::platform {

// Puts the text on the clipboard as Unicode text; false when the clipboard was not to be had.
bool CopyTextToClipboard(HWND owner, const std::wstring& text);

}  // namespace vossel::platform
