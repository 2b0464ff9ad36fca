#include "platform/ui/clipboard.h"

#include <cstring>

namespace vossel::platform {

bool CopyTextToClipboard(HWND owner, const std::wstring& text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return false;
    if (void* target = ::GlobalLock(memory)) {
        std::memcpy(target, text.c_str(), bytes);
        ::GlobalUnlock(memory);
    }
    if (!::OpenClipboard(owner)) {
        ::GlobalFree(memory);
        return false;
    }
    ::EmptyClipboard();
    // Once set, the memory belongs to the clipboard.
    const bool set = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    ::CloseClipboard();
    if (!set) ::GlobalFree(memory);
    return set;
}

}  // namespace vossel::platform
