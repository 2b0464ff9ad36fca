#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell_automation.h"
#include "settings/autostart.h"
#include "settings/autostart_system.h"

namespace vossel {
namespace {

using platform::CallStatus;

// The registry value as it really is, read past both the shell object and RegistryRunKey.
struct StoredValue {
    DWORD type;
    std::wstring data;
    DWORD bytes;
};

std::optional<StoredValue> ReadRunValue(const std::wstring& valueName) {
    const std::wstring subkey(RunSubkey);
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), valueName.c_str(),
                     RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = bytes;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), valueName.c_str(),
                     RRF_RT_ANY | RRF_NOEXPAND, &type, buffer.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return StoredValue{type, std::wstring(buffer.data()), bytes};
}

class AutoStartPlatform : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    static void TearDownTestSuite() {
        if (comInitialised) {
            CoUninitialize();
        }
    }

    void SetUp() override {
        // A name no real entry has, so the test can neither clobber nor mistake one.
        const std::wstring valueName = L"VosselPlatformTest-" +
                                       std::to_wstring(GetCurrentProcessId()) + L"-" +
                                       std::to_wstring(GetTickCount64());
        entry = ComposeAutoStartEntry(L"C:\\Program Files\\Vossel Test\\" + valueName + L".exe");
        ASSERT_EQ(entry.valueName, valueName);
    }

    void TearDown() override {
        const std::wstring subkey(RunSubkey);
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), entry.valueName.c_str());
    }

    AutoStartResult Apply(int boxValue, ShellObjectFactory& shellObjects) {
        return ApplyAutoStart(boxValue, entry, shellObjects, runKey,
                              [this](std::wstring_view line) { log.emplace_back(line); });
    }

    static bool comInitialised;
    AutoStartEntry entry;
    RegistryRunKey runKey;
    std::vector<std::wstring> log;
};

bool AutoStartPlatform::comInitialised = false;

void ExpectQuotedEntry(const std::optional<StoredValue>& value, const AutoStartEntry& entry) {
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->data, entry.data);
    EXPECT_EQ(value->bytes, (entry.data.size() + 1) * sizeof(wchar_t));
}

TEST_F(AutoStartPlatform, ShellObjectWritesTheQuotedPathAsAString) {
    WshShellObjects shellObjects;
    ShellObjectCreation creation = shellObjects.Create();
    ASSERT_NE(creation.object, nullptr) << creation.status.code;

    const CallStatus status = creation.object->RegWrite(entry.valuePath, entry.data);
    ASSERT_TRUE(status.Succeeded()) << status.code;
    ExpectQuotedEntry(ReadRunValue(entry.valueName), entry);

    // Wine's RegDelete is not implemented; whatever this one answers must be handled.
    const CallStatus deleted = creation.object->RegDelete(entry.valuePath);
    EXPECT_TRUE(deleted.Succeeded() || IsShellObjectUnavailable(deleted.code)) << deleted.code;
}

TEST_F(AutoStartPlatform, TickClearTickThroughTheWholeChain) {
    WshShellObjects shellObjects;
    for (int round = 0; round < 2; ++round) {
        const AutoStartResult written = Apply(1, shellObjects);
        ASSERT_TRUE(written.succeeded) << written.errorNumber << " " << written.description.size();
        ExpectQuotedEntry(ReadRunValue(entry.valueName), entry);

        const AutoStartResult deleted = Apply(0, shellObjects);
        ASSERT_TRUE(deleted.succeeded) << deleted.errorNumber;
        EXPECT_FALSE(ReadRunValue(entry.valueName).has_value());
    }
    // Clearing again, with the value already gone, is no failure.
    EXPECT_TRUE(Apply(0, shellObjects).succeeded);
    for (const std::wstring& line : log) {
        EXPECT_NE(line.rfind(L"autostart ", 0), std::wstring::npos) << "unexpected error line";
    }
    EXPECT_EQ(log.size(), 5u);
}

TEST_F(AutoStartPlatform, MissingShellObjectFallsBackToTheRegistryApi) {
    WshShellObjects missing(L"Vossel.NoSuchAutomationObject");
    const ShellObjectCreation creation = missing.Create();
    EXPECT_EQ(creation.object, nullptr);
    EXPECT_TRUE(IsShellObjectUnavailable(creation.status.code)) << creation.status.code;

    ASSERT_TRUE(Apply(1, missing).succeeded);
    ExpectQuotedEntry(ReadRunValue(entry.valueName), entry);
    ASSERT_TRUE(Apply(0, missing).succeeded);
    EXPECT_FALSE(ReadRunValue(entry.valueName).has_value());
}

TEST_F(AutoStartPlatform, RegistryRunKeyReportsAnAbsentValueAsFileNotFound) {
    ASSERT_TRUE(runKey.SetValue(entry.valueName, entry.data).Succeeded());
    ExpectQuotedEntry(ReadRunValue(entry.valueName), entry);
    EXPECT_TRUE(runKey.DeleteValue(entry.valueName).Succeeded());

    const CallStatus again = runKey.DeleteValue(entry.valueName);
    EXPECT_EQ(again.code, platform::kHresultFileNotFound);
    EXPECT_FALSE(again.description.empty());
}

TEST(SystemErrorText, GivesTheSystemTextWithoutTheLineBreak) {
    for (const std::int32_t code : {platform::kHresultAccessDenied, platform::kHresultFileNotFound,
                                    platform::kHresultNotImplemented}) {
        const std::wstring text = platform::SystemErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_FALSE(std::iswspace(text.back())) << code;
    }
    EXPECT_EQ(platform::SystemErrorText(platform::kHresultAccessDenied),
              platform::SystemErrorText(platform::HresultFromWin32(5)));
}

}  // namespace
}  // namespace vossel
