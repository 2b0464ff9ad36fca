#pragma once
// Which of the program's text tables a user gets, and how a text takes its inserts. Platform-free
// so the unit tests can call it.
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vossel::platform {

// The order is that of the tables in cmake/check_texts.cmake.
enum class UiLanguage { SimplifiedChinese, TraditionalChinese, English };

namespace language_detail {

inline bool SameLetters(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Whether one of the separated parts of list is the script.
inline bool Names(std::wstring_view list, wchar_t separator, std::wstring_view script) {
    while (!list.empty()) {
        const std::size_t end = list.find(separator);
        if (SameLetters(list.substr(0, end), script)) return true;
        if (end == std::wstring_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace language_detail

// By the script the user's display language is written in, not by a list of its ids: scripts is
// the language's LOCALE_SSCRIPTS ("Hani;Hans;"), name the language's name ("zh-Hant-TW"), whose
// script subtag counts where the scripts cannot be read. Chinese in simplified characters (zh-CN,
// zh-SG) and in traditional ones (zh-TW, zh-HK, zh-MO) have tables of their own; every other
// language, Japanese and Korean with their Han characters among them, reads English.
inline UiLanguage LanguageForScripts(std::wstring_view scripts, std::wstring_view name) {
    using language_detail::Names;
    if (Names(scripts, L';', L"Hans")) return UiLanguage::SimplifiedChinese;
    if (Names(scripts, L';', L"Hant")) return UiLanguage::TraditionalChinese;
    if (scripts.empty() && Names(name, L'-', L"Hans")) return UiLanguage::SimplifiedChinese;
    if (scripts.empty() && Names(name, L'-', L"Hant")) return UiLanguage::TraditionalChinese;
    return UiLanguage::English;
}

// The text with %1 .. %9 replaced by the inserts; a % before anything else stays as it is, and an
// insert the pattern names but the caller lacks is left out.
inline std::wstring FillIn(std::wstring_view pattern,
                           std::initializer_list<std::wstring_view> inserts) {
    std::wstring text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size() && pattern[i + 1] >= L'1' &&
            pattern[i + 1] <= L'9') {
            const std::size_t n = static_cast<std::size_t>(pattern[i + 1] - L'1');
            if (n < inserts.size()) text += inserts.begin()[n];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

// A text of the program's tables by its IDS_ id, in the language of the one who reads it.
using TextLookup = std::function<std::wstring(int id)>;

inline std::wstring FillIn(const TextLookup& texts, int id,
                           std::initializer_list<std::wstring_view> inserts) {
    return FillIn(texts(id), inserts);
}

}  // namespace vossel::platform
