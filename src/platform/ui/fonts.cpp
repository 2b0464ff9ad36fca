#include "platform/ui/fonts.h"

namespace vossel::platform {
namespace {

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

}  // namespace

bool IsFontFamilyInstalled(const std::wstring& family) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(query.lfFaceName, family.c_str(), LF_FACESIZE);
    bool found = false;
    HDC screen = ::GetDC(nullptr);
    ::EnumFontFamiliesExW(screen, &query, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, screen);
    return found;
}

UniqueMemoryFont RegisterEmbeddedFont(int resourceId) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    if (!resource) return UniqueMemoryFont();
    HGLOBAL loaded = ::LoadResource(module, resource);
    void* data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, resource);
    if (!data || !size) return UniqueMemoryFont();
    DWORD fonts = 0;
    return UniqueMemoryFont(::AddFontMemResourceEx(data, size, nullptr, &fonts));
}

}  // namespace vossel::platform
