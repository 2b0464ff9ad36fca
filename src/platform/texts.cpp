#include "platform/texts.h"

#include <windows.h>

#include <vector>

#include "platform/number_text.h"

namespace vossel::platform {
namespace {

// The first of the user's preferred display languages, as GetUserPreferredUILanguages lists
// them (a double-null-terminated list of names).
std::wstring FirstPreferredLanguage() {
    ULONG count = 0;
    ULONG size = 0;
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0) {
        return {};
    }
    std::vector<wchar_t> names(size);
    if (!::GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &size)) return {};
    return names.data();
}

UiLanguage ReadDisplayLanguage() {
    std::wstring name = FirstPreferredLanguage();
    if (name.empty()) {
        wchar_t fallback[LOCALE_NAME_MAX_LENGTH] = {};
        if (::LCIDToLocaleName(MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT), fallback,
                               LOCALE_NAME_MAX_LENGTH, 0)) {
            name = fallback;
        }
    }
    wchar_t scripts[128] = {};
    if (name.empty() || !::GetLocaleInfoEx(name.c_str(), LOCALE_SSCRIPTS, scripts, 128)) {
        scripts[0] = L'\0';
    }
    return LanguageForScripts(scripts, name);
}

LANGID TableLanguage(UiLanguage language) {
    switch (language) {
        case UiLanguage::SimplifiedChinese:
            return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
        case UiLanguage::TraditionalChinese:
            return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
        case UiLanguage::English:
            break;
    }
    return MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

// A string table is stored in blocks of 16, each string counted by its length; FindResourceEx
// picks the block of the language asked for, whatever the thread's own UI language is.
std::wstring LoadTableText(int id, LANGID language) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC block = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), language);
    HGLOBAL loaded = block ? ::LoadResource(module, block) : nullptr;
    const auto* at = loaded ? static_cast<const wchar_t*>(::LockResource(loaded)) : nullptr;
    if (!at) return {};
    for (int i = 0; i < (id & 15); ++i) at += 1 + static_cast<std::size_t>(*at);
    return std::wstring(at + 1, *at);
}

}  // namespace

UiLanguage DisplayLanguage() {
    static const UiLanguage language = ReadDisplayLanguage();
    return language;
}

std::wstring Text(int id, std::initializer_list<std::wstring_view> inserts) {
    std::wstring text = LoadTableText(id, TableLanguage(DisplayLanguage()));
    // The build checks every table, so only a damaged exe gets here; it still says which text.
    if (text.empty()) {
        text = L"[text " + NumberText(id) + L"]";
        for (std::wstring_view insert : inserts) (text += L' ') += insert;
        return text;
    }
    return inserts.size() == 0 ? text : FillIn(text, inserts);
}

TextLookup DisplayTexts() {
    return [](int id) { return Text(id); };
}

}  // namespace vossel::platform
