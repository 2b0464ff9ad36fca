// The choice of the text table by the display language's script, and the texts' inserts.
#include <gtest/gtest.h>

#include <string>

#include "platform/language.h"
#include "table_texts.h"

namespace vossel::platform {
namespace {

TEST(Language, ChosenByScriptNotById) {
    struct Case {
        const wchar_t* scripts;  // LOCALE_SSCRIPTS
        const wchar_t* name;
        UiLanguage language;
    };
    const Case cases[] = {
        {L"Hani;Hans;", L"zh-CN", UiLanguage::SimplifiedChinese},
        {L"Hani;Hans;", L"zh-SG", UiLanguage::SimplifiedChinese},
        {L"Hani;Hant;", L"zh-TW", UiLanguage::TraditionalChinese},
        {L"Hani;Hant;", L"zh-HK", UiLanguage::TraditionalChinese},
        {L"Hant;", L"zh-MO", UiLanguage::TraditionalChinese},
        // Han characters alone do not make Chinese: Japanese and Korean read English.
        {L"Hani;Hira;Jpan;Kana;", L"ja-JP", UiLanguage::English},
        {L"Hang;Hani;Kore;", L"ko-KR", UiLanguage::English},
        {L"Latn;", L"en-US", UiLanguage::English},
        {L"Latn;", L"de-DE", UiLanguage::English},
        // A script is a whole part of the list, in any case.
        {L"Hansx;Latn;", L"xx", UiLanguage::English},
        {L"hant", L"zh-TW", UiLanguage::TraditionalChinese},
        // Scripts unreadable: the name's script subtag, else English.
        {L"", L"zh-Hant-HK", UiLanguage::TraditionalChinese},
        {L"", L"zh-Hans", UiLanguage::SimplifiedChinese},
        {L"", L"zh-TW", UiLanguage::English},
        {L"", L"", UiLanguage::English},
        // Readable scripts win over the name.
        {L"Latn;", L"zh-Hans", UiLanguage::English},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageForScripts(c.scripts, c.name), c.language) << c.name;
    }
}

TEST(Language, InsertsFillTheirPlacesInAnyOrder) {
    EXPECT_EQ(FillIn(L"%1 ms", {L"27"}), L"27 ms");
    EXPECT_EQ(FillIn(L"%2 / %1 / %2", {L"a", L"b"}), L"b / a / b");
    EXPECT_EQ(FillIn(L"100% %1", {L"x"}), L"100% x");
    EXPECT_EQ(FillIn(L"%1%", {L"%2"}), L"%2%") << "an insert is not read again";
    EXPECT_EQ(FillIn(L"%3 end", {L"a"}), L" end");
    EXPECT_EQ(FillIn(L"trailing %", {}), L"trailing %");
}

// The build's check keeps the tables whole; this reads what the program reads.
TEST(Language, EveryTableSaysTheMainWindowsSentenceInItsOwnWords) {
    const auto hans = TableTexts(UiLanguage::SimplifiedChinese);
    const auto hant = TableTexts(UiLanguage::TraditionalChinese);
    const auto english = TableTexts(UiLanguage::English);
    EXPECT_EQ(hans(IDS_MAIN_PROMPT), L"您本次开机共用:");
    EXPECT_EQ(hans(IDS_MAIN_UNIT), L"秒");
    EXPECT_EQ(hant(IDS_MAIN_SETTINGS_LINK), L"設定");
    EXPECT_EQ(english(IDS_MAIN_UNIT), L"s");
    EXPECT_EQ(FillIn(english, IDS_RUNTIME_ERROR, {L"453", L"x"}), L"Run-time error '453':\n\nx");
}

}  // namespace
}  // namespace vossel::platform
