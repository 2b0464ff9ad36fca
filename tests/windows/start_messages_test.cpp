// The message table in Vossel.exe, read as Event Viewer reads it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "start/start_record_format.h"

namespace vossel::platform {
namespace {

TEST(StartMessages, EveryIdHasItsTextInEveryLanguage) {
    // The built exe beside this one.
    wchar_t self[MAX_PATH] = {};
    std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Vossel.exe";
    HMODULE exe = ::LoadLibraryExW(path.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << "error " << ::GetLastError();
    const wchar_t* strings[StartRecordField::kCount] = {L"1", L"2345", L"full boot", L"no shell",
                                                        L"", L"", L"1.0.0.0", L"x64"};
    std::vector<DWORD_PTR> arguments;
    for (const wchar_t* text : strings) arguments.push_back(reinterpret_cast<DWORD_PTR>(text));
    constexpr WORD kEnglish = 0x0409, kChinese = 0x0804, kTraditional = 0x0404;
    const struct { DWORD id; WORD language; const wchar_t* text; } cases[] = {
        {kEventFullBoot, kEnglish, L"Start-up took 2345 ms (full boot)."},
        {kEventFullBoot, kChinese, L"开机用时 2345 毫秒（完整启动）。"},
        {kEventFullBoot, kTraditional, L"開機用時 2345 毫秒（完整啟動）。"},
        {kEventResume, kEnglish, L"Start-up took 2345 ms (resumed from Fast Startup, hibernation or sleep)."},
        {kEventResume, kChinese, L"开机用时 2345 毫秒（从快速启动、休眠或睡眠恢复）。"},
        {kEventResume, kTraditional, L"開機用時 2345 毫秒（從快速啟動、休眠或睡眠恢復）。"},
        {kEventNotMeasured, kEnglish, L"Start-up time not measured: no shell."},
        {kEventNotMeasured, kChinese, L"未能测量开机用时：no shell。"},
        {kEventNotMeasured, kTraditional, L"未能測量開機用時：no shell。"},
    };
    for (const auto& c : cases) {
        wchar_t text[512] = {};
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, c.id, c.language,
            text, 512, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments.data())));
        EXPECT_NE(length, 0u) << c.id << " in " << c.language << ": error " << ::GetLastError();
        EXPECT_EQ(std::wstring(text, length), c.text) << c.id << " in " << c.language;
    }
    ::FreeLibrary(exe);
}

}  // namespace
}  // namespace vossel::platform
