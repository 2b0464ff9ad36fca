#pragma once
// The program's real text tables, as the build's check wrote them out (texts_table.inc), for the
// platform-free code that composes texts.
#include <string>

#include "platform/language.h"
#include "resource_ids.h"

namespace vossel {

struct TableRow {
    int language;
    int id;
    const wchar_t* text;
};

inline constexpr TableRow kTableRows[] = {
#include "texts_table.inc"
};

inline platform::TextLookup TableTexts(platform::UiLanguage language) {
    return [language](int id) {
        for (const TableRow& row : kTableRows) {
            if (row.language == static_cast<int>(language) && row.id == id)
                return std::wstring(row.text);
        }
        return std::wstring();
    };
}

}  // namespace vossel
