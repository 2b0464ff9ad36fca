#pragma once
// The program's texts, from the string table of the user's display language in the exe's
// resources (resources/texts/). Debug lines and /diagnose do not use them: they stay English.
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/language.h"
#include "resource_ids.h"

namespace vossel::platform {

// The user's Windows display language as the program's tables know it, read once.
UiLanguage DisplayLanguage();

// The text of an IDS_ id in the display language, with %1 .. %9 filled in.
std::wstring Text(int id, std::initializer_list<std::wstring_view> inserts = {});

// Text as a lookup, for the platform-free code that composes texts.
TextLookup DisplayTexts();

}  // namespace vossel::platform
