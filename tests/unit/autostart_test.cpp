#include "settings/autostart.h"
#include "settings/autostart_scope.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vossel {
namespace {

using platform::CallStatus;
using platform::HresultFromWin32;

TEST(ComposeAutoStartEntry, NamesTheValueAfterTheBaseNameAndQuotesTheFullPath) {
    struct Case {
        const wchar_t* exePath;
        const wchar_t* valueName;
        const wchar_t* data;
    };
    const Case cases[] = {
        {L"C:\\Program Files\\Vossel\\Vossel.exe", L"Vossel",
         L"\"C:\\Program Files\\Vossel\\Vossel.exe\""},
        {L"C:\\Vossel.exe", L"Vossel", L"\"C:\\Vossel.exe\""},
        {L"D:\\Tools\\VOSSEL.EXE", L"VOSSEL", L"\"D:\\Tools\\VOSSEL.EXE\""},
        {L"C:\\My Apps\\boot.timer.exe", L"boot.timer", L"\"C:\\My Apps\\boot.timer.exe\""},
        {L"C:\\dir.with.dots\\Vossel", L"Vossel", L"\"C:\\dir.with.dots\\Vossel\""},
        {L"\\\\server\\share\\Vossel.exe", L"Vossel", L"\"\\\\server\\share\\Vossel.exe\""},
        {L"\\\\?\\C:\\Long Path\\Vossel.exe", L"Vossel", L"\"\\\\?\\C:\\Long Path\\Vossel.exe\""},
    };
    for (const Case& c : cases) {
        const AutoStartEntry entry = ComposeAutoStartEntry(c.exePath);
        EXPECT_EQ(entry.valueName, c.valueName) << c.exePath;
        EXPECT_EQ(entry.valuePath, L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\" +
                                       std::wstring(c.valueName))
            << c.exePath;
        EXPECT_EQ(entry.data, c.data) << c.exePath;
    }
    EXPECT_EQ(RunKeyPrefix.size(), 51u);
}

TEST(HresultFromWin32, MapsRegistryStatusCodes) {
    EXPECT_EQ(HresultFromWin32(0), platform::kHresultOk);
    EXPECT_EQ(HresultFromWin32(2), platform::kHresultFileNotFound);
    EXPECT_EQ(HresultFromWin32(3), platform::kHresultPathNotFound);
    EXPECT_EQ(HresultFromWin32(5), platform::kHresultAccessDenied);
    EXPECT_EQ(HresultFromWin32(5), -2147024891);
    EXPECT_EQ(HresultFromWin32(0x80070005u), platform::kHresultAccessDenied);  // already an HRESULT
}

// Records every call; counts the objects it made and the ones still alive.
class FakeShellObjects final : public ShellObjectFactory {
  public:
    CallStatus creation;
    CallStatus writeAnswer;
    CallStatus deleteAnswer;
    std::vector<std::wstring> calls;
    int created = 0;
    int alive = 0;

    ShellObjectCreation Create() override {
        calls.push_back(L"create");
        if (!creation.Succeeded()) {
            return {nullptr, creation};
        }
        ++created;
        return {std::make_unique<Object>(*this), {}};
    }

  private:
    class Object final : public ShellObject {
      public:
        explicit Object(FakeShellObjects& owner) : owner(owner) { ++owner.alive; }
        ~Object() override { --owner.alive; }
        CallStatus RegWrite(std::wstring_view valuePath, std::wstring_view data) override {
            owner.calls.push_back(L"RegWrite " + std::wstring(valuePath) + L" = " +
                                  std::wstring(data));
            return owner.writeAnswer;
        }
        CallStatus RegDelete(std::wstring_view valuePath) override {
            owner.calls.push_back(L"RegDelete " + std::wstring(valuePath));
            return owner.deleteAnswer;
        }

      private:
        FakeShellObjects& owner;
    };
};

class FakeRunKey final : public RunKeyStore {
  public:
    explicit FakeRunKey(const FakeShellObjects& shellObjects) : shellObjects(shellObjects) {}
    CallStatus answer;
    std::optional<std::wstring> value;
    std::vector<std::wstring> calls;
    int shellObjectsAliveAtCall = 0;

    CallStatus SetValue(std::wstring_view valueName, std::wstring_view data) override {
        shellObjectsAliveAtCall += shellObjects.alive;
        calls.push_back(L"SetValue " + std::wstring(valueName) + L" = " + std::wstring(data));
        return answer;
    }
    CallStatus DeleteValue(std::wstring_view valueName) override {
        shellObjectsAliveAtCall += shellObjects.alive;
        calls.push_back(L"DeleteValue " + std::wstring(valueName));
        return answer;
    }
    std::optional<std::wstring> ReadValue(std::wstring_view) override { return value; }
    std::optional<std::vector<std::uint8_t>> ReadApproval(std::wstring_view) override {
        return std::nullopt;
    }
    CallStatus DeleteApproval(std::wstring_view valueName) override {
        calls.push_back(L"DeleteApproval " + std::wstring(valueName));
        return approvalAnswer;
    }
    CallStatus approvalAnswer{platform::kHresultFileNotFound, L"no record"};

  private:
    const FakeShellObjects& shellObjects;
};

constexpr std::int32_t kHresultFail = static_cast<std::int32_t>(0x80004005);
constexpr std::int32_t kHresultOutOfMemory = static_cast<std::int32_t>(0x8007000E);

const CallStatus kOk{};
const CallStatus kNotRegistered{platform::kHresultClassNotRegistered, L"Class not registered"};
const CallStatus kBadProgId{platform::kHresultInvalidClassString, L"Invalid class string"};
const CallStatus kModuleMissing{platform::kHresultModuleNotFound,
                                L"The specified module was not found."};
const CallStatus kNotImpl{platform::kHresultNotImplemented, L"Not implemented"};
const CallStatus kUnknownName{platform::kHresultUnknownName, L"Unknown name."};
const CallStatus kNoMember{platform::kHresultMemberNotFound, L"Member not found."};
const CallStatus kNoFile{platform::kHresultFileNotFound, L"Unable to remove registry key"};
const CallStatus kNoPath{platform::kHresultPathNotFound,
                         L"The system cannot find the path specified."};
const CallStatus kDenied{platform::kHresultAccessDenied, L"Invalid root in registry key"};
const CallStatus kApiDenied{HresultFromWin32(5), L"Access is denied."};
const CallStatus kApiNoFile{HresultFromWin32(2), L"The system cannot find the file specified."};
const CallStatus kFail{kHresultFail, L"Unspecified error"};
const CallStatus kNoMemory{kHresultOutOfMemory, L"Not enough memory"};

const std::wstring kPath = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Vossel";
const std::wstring kData = L"\"C:\\Program Files\\Vossel\\Vossel.exe\"";
const std::wstring kWrite = L"RegWrite " + kPath + L" = " + kData;
const std::wstring kDelete = L"RegDelete " + kPath;
const std::wstring kSet = L"SetValue Vossel = " + kData;
const std::wstring kRemove = L"DeleteValue Vossel";
// The StartupApproved record goes with the entry, whether there is one or not.
const std::wstring kForget = L"DeleteApproval Vossel";

struct ApplyCase {
    const char* name;
    int boxValue;
    CallStatus creation, writeAnswer, deleteAnswer, storeAnswer;
    std::vector<std::wstring> shellCalls;
    std::vector<std::wstring> storeCalls;
    const CallStatus* failure;  // null: success
};

// clang-format off
const ApplyCase kApplyCases[] = {
    // name                                   box  create          RegWrite      RegDelete  registry API  shell calls            API calls  failure
    {"ticked writes",                          1,  kOk,            kOk,          kFail,     kFail,        {L"create", kWrite},   {},        nullptr},
    {"cleared deletes",                        0,  kOk,            kFail,        kOk,       kFail,        {L"create", kDelete},  {kForget}, nullptr},
    {"grayed deletes",                         2,  kOk,            kFail,        kOk,       kFail,        {L"create", kDelete},  {kForget}, nullptr},
    {"negative deletes",                      -1,  kOk,            kFail,        kOk,       kFail,        {L"create", kDelete},  {kForget}, nullptr},

    {"no class: write via the registry",       1,  kNotRegistered, kFail,        kFail,     kOk,          {L"create"},           {kSet},    nullptr},
    {"bad ProgID: delete via the registry",    0,  kBadProgId,     kFail,        kFail,     kOk,          {L"create"},           {kRemove, kForget}, nullptr},
    {"server missing: write via the registry", 1,  kModuleMissing, kFail,        kFail,     kOk,          {L"create"},           {kSet},    nullptr},
    {"RegDelete not implemented",              0,  kOk,            kFail,        kNotImpl,  kOk,          {L"create", kDelete},  {kRemove, kForget}, nullptr},
    {"RegWrite not implemented",               1,  kOk,            kNotImpl,     kFail,     kOk,          {L"create", kWrite},   {kSet},    nullptr},
    {"RegWrite unknown name",                  1,  kOk,            kUnknownName, kFail,     kOk,          {L"create", kWrite},   {kSet},    nullptr},
    {"RegDelete member not found",             0,  kOk,            kFail,        kNoMember, kOk,          {L"create", kDelete},  {kRemove, kForget}, nullptr},

    {"absent value on delete",                 0,  kOk,            kFail,        kNoFile,   kFail,        {L"create", kDelete},  {kForget}, nullptr},
    {"absent key on delete",                   0,  kOk,            kFail,        kNoPath,   kFail,        {L"create", kDelete},  {kForget}, nullptr},
    {"absent value via the registry API",      0,  kOk,            kFail,        kNotImpl,  kApiNoFile,   {L"create", kDelete},  {kRemove, kForget}, nullptr},

    {"write refused",                          1,  kOk,            kDenied,      kFail,     kOk,          {L"create", kWrite},   {},        &kDenied},
    {"delete refused",                         0,  kOk,            kFail,        kDenied,   kOk,          {L"create", kDelete},  {},        &kDenied},
    {"creation refused",                       1,  kDenied,        kOk,          kOk,       kOk,          {L"create"},           {},        &kDenied},
    {"write refused by the registry API",      1,  kNotRegistered, kFail,        kFail,     kApiDenied,   {L"create"},           {kSet},    &kApiDenied},
    {"delete refused by the registry API",     0,  kOk,            kFail,        kNotImpl,  kApiDenied,   {L"create", kDelete},  {kRemove}, &kApiDenied},
    {"absent is no excuse for a write",        1,  kOk,            kNoFile,      kFail,     kOk,          {L"create", kWrite},   {},        &kNoFile},
    {"other write failure",                    1,  kOk,            kFail,        kOk,       kOk,          {L"create", kWrite},   {},        &kFail},
    {"other creation failure",                 0,  kNoMemory,      kOk,          kOk,       kOk,          {L"create"},           {},        &kNoMemory},
};
// clang-format on

TEST(ApplyAutoStart, CarriesOutTheBoxChangeAndClassifiesFailures) {
    const AutoStartEntry entry = ComposeAutoStartEntry(L"C:\\Program Files\\Vossel\\Vossel.exe");
    for (const ApplyCase& c : kApplyCases) {
        FakeShellObjects shellObjects;
        shellObjects.creation = c.creation;
        shellObjects.writeAnswer = c.writeAnswer;
        shellObjects.deleteAnswer = c.deleteAnswer;
        FakeRunKey runKey(shellObjects);
        runKey.answer = c.storeAnswer;
        std::vector<std::wstring> log;

        const AutoStartResult result =
            ApplyAutoStart(c.boxValue, entry, shellObjects, runKey,
                           [&log](std::wstring_view line) { log.emplace_back(line); });

        EXPECT_EQ(shellObjects.calls, c.shellCalls) << c.name;
        EXPECT_EQ(runKey.calls, c.storeCalls) << c.name;
        EXPECT_LE(shellObjects.created, 1) << c.name;
        EXPECT_EQ(shellObjects.alive, 0) << c.name;
        EXPECT_EQ(runKey.shellObjectsAliveAtCall, 0) << c.name << ": object held over fallback";

        std::vector<std::wstring> expectedLog = {
            c.boxValue == 1 ? L"autostart write \"" + kPath + L"\" = " + kData
                               : L"autostart delete \"" + kPath + L"\""};
        if (c.failure == nullptr) {
            EXPECT_TRUE(result.succeeded) << c.name;
        } else {
            EXPECT_FALSE(result.succeeded) << c.name;
            EXPECT_EQ(result.errorNumber, c.failure->code) << c.name;
            EXPECT_EQ(result.description, c.failure->description) << c.name;
        }
        EXPECT_EQ(log, expectedLog) << c.name;
    }
}

TEST(ComposeAutoStartEntry, TheUserScopeNamesTheCurrentUsersRunKey) {
    const AutoStartEntry entry =
        ComposeAutoStartEntry(L"C:\\Users\\Ann\\Downloads\\Vossel.exe", AutoStartScope::User);
    EXPECT_EQ(entry.valuePath, L"HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Vossel");
    EXPECT_EQ(entry.data, L"\"C:\\Users\\Ann\\Downloads\\Vossel.exe\"");
}

// "/autostart off" for a portable copy: only an entry that names this copy goes, with its record;
// a record that is already gone is no failure, a refused deletion is.
TEST(RemoveOwnUserEntry, RemovesOnlyThisCopysEntryAndItsRecord) {
    const CallStatus kAbsent{platform::kHresultFileNotFound, L"absent"};
    const CallStatus kDenied{platform::kHresultAccessDenied, L"Access is denied."};
    const std::vector<std::wstring> both{L"DeleteValue Vossel", L"DeleteApproval Vossel"};
    const struct {
        const wchar_t* value;
        CallStatus answer;
        std::vector<std::wstring> calls;
        std::int32_t error;
    } cases[] = {{L"this", kOk, both, 0},
                 {L"this", kAbsent, both, 0},
                 {L"this", kDenied, {L"DeleteValue Vossel"}, platform::kHresultAccessDenied},
                 {L"C:\\Tools\\Vossel.exe", kOk, {}, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakeShellObjects shellObjects;
        FakeRunKey runKey(shellObjects);
        runKey.value = c.value;
        runKey.answer = c.answer;
        const AutoStartResult result = RemoveOwnUserEntry(
            ComposeAutoStartEntry(L"C:\\Vossel.exe", AutoStartScope::User), runKey,
            [](std::wstring_view data) { return data == L"this"; }, [](std::wstring_view) {});
        EXPECT_EQ(runKey.calls, c.calls);
        EXPECT_EQ(result.errorNumber, c.error);
    }
}

TEST(ApplyAutoStart, MakesOneObjectPerCall) {
    FakeShellObjects shellObjects;
    shellObjects.deleteAnswer = kNotImpl;
    FakeRunKey runKey(shellObjects);
    const AutoStartEntry entry = ComposeAutoStartEntry(L"C:\\Vossel.exe");
    for (int value : {1, 0, 1, 0}) {
        ApplyAutoStart(value, entry, shellObjects, runKey, [](std::wstring_view) {});
    }
    EXPECT_EQ(shellObjects.created, 4);
    EXPECT_EQ(shellObjects.alive, 0);
    // The two deletes fell back, each with its record.
    EXPECT_EQ(runKey.calls, (std::vector<std::wstring>{kRemove, kForget, kRemove, kForget}));
}

// ---- who may change a file or folder under Program Files ----

constexpr const wchar_t* kAdmins = L"S-1-5-32-544";
constexpr const wchar_t* kUsers = L"S-1-5-32-545";
constexpr const wchar_t* kEveryone = L"S-1-1-0";
constexpr const wchar_t* kAnn = L"S-1-5-21-0-0-0-1000";  // the current user
constexpr std::uint32_t kFull = 0x1f01ff, kReadRun = 0x1200a9;

platform::AccessEntry Allow(const wchar_t* sid, std::uint32_t mask, bool inheritOnly = false) {
    return {true, sid, mask, inheritOnly};
}
// As an installer leaves it: SYSTEM and Administrators may do all, Users read and run; and extra.
platform::ObjectSecurity Installed(platform::AccessEntry extra = Allow(kUsers, kReadRun),
                                   const wchar_t* owner = kAdmins) {
    return {owner,
            true,
            {Allow(L"S-1-5-18", kFull), Allow(kAdmins, kFull), Allow(kUsers, kReadRun), extra}};
}

TEST(OnlyAdministratorsCanChange, JudgesTheOwnerAndEveryEntryThatApplies) {
    const wchar_t* installer = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    // clang-format off
    const struct { const char* name; platform::ObjectSecurity security; bool annIsAdmin, safe; }
    cases[] = {
        {"an installed file", Installed(), false, true},
        {"Program Files itself", {installer, true, {Allow(installer, kFull),
            Allow(kAdmins, 0x1301bf), Allow(L"S-1-3-0", 0x10000000, true),
            Allow(kUsers, 0xa0000000, true)}}, false, true},
        {"Ann's, as in Wine, Ann an admin", Installed(Allow(kAnn, kFull), kAnn), true, true},
        {"Ann's, Ann a standard user", Installed(Allow(kAnn, kFull), kAnn), false, false},
        {"chmod 777 under Wine", Installed(Allow(kEveryone, 0x1301ff), kAnn), true, false},
        {"owned by Users", Installed(Allow(kUsers, kReadRun), kUsers), true, false},
        {"no owner named", Installed(Allow(kUsers, kReadRun), L""), true, false},
        {"a NULL DACL", {kAdmins, false, {}}, true, false},
        {"Users GENERIC_READ | GENERIC_EXECUTE", Installed(Allow(kUsers, 0xa0000000)), false, true},
        {"inherit-only full access for Users", Installed(Allow(kUsers, kFull, true)), false, true},
        {"a deny does not cancel a later allow", {kAdmins, true,
            {{false, kEveryone, kFull, false}, Allow(kUsers, kFull)}}, false, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(OnlyAdministratorsCanChange(c.security, {kAnn, c.annIsAdmin}), c.safe) << c.name;
    }
    // Every right that lets its holder change the object, for anyone but administrators.
    for (const std::uint32_t right :
         {0x2u, 0x4u, 0x40u, 0x10000u, 0x40000u, 0x80000u, 0x40000000u, 0x10000000u}) {
        for (const wchar_t* sid :
             {kUsers, L"S-1-5-11", kEveryone, L"S-1-5-4", L"S-1-5-21-0-0-0-1001", L""}) {
            EXPECT_FALSE(OnlyAdministratorsCanChange(Installed(Allow(sid, right)), {kAnn, true}))
                << sid << " " << right;
        }
        EXPECT_FALSE(OnlyAdministratorsCanChange(Installed(Allow(kAnn, right)), {kAnn, false}));
        EXPECT_TRUE(OnlyAdministratorsCanChange(Installed(Allow(kAnn, right)), {kAnn, true}));
    }
}

// Every step from Program Files down, on the path as started and at the real file, must be safe.
TEST(ChooseAutoStartScope, EveryStepOnBothPathsMustBeAdministratorsOnly) {
    const std::wstring programFiles = L"C:\\Program Files", folder = programFiles + L"\\Vossel";
    const std::wstring exe = folder + L"\\Vossel.exe", other = programFiles + L"\\B\\Vossel.exe";
    const std::optional<platform::ObjectSecurity> open = Installed(Allow(kEveryone, 0x1301ff));
    using Scope = AutoStartScope;
    // clang-format off
    const struct { std::wstring finalPath, badStep; std::optional<platform::ObjectSecurity> bad;
                   AutoStartScope scope; } cases[] = {
        {exe, L"", open, Scope::Machine},   {exe, programFiles, open, Scope::User},
        {exe, exe, open, Scope::User},      {exe, folder, std::nullopt, Scope::User},
        {L"", L"", open, Scope::User},      {L"C:\\Users\\Ann\\Vossel.exe", L"", open, Scope::User},
        {other, L"", open, Scope::Machine}, {other, folder, open, Scope::User},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::vector<std::wstring> read;
        const auto reader = [&](const std::wstring& path) {
            read.push_back(path);
            return path == c.badStep ? c.bad : Installed();
        };
        EXPECT_EQ(ChooseAutoStartScope({exe, c.finalPath}, {programFiles}, reader, {}), c.scope)
            << c.finalPath << " with " << c.badStep;
        if (&c == &cases[0]) {
            EXPECT_EQ(read, (std::vector<std::wstring>{programFiles, folder, exe}));
        }
    }
}

TEST(PathFromFinalPath, DropsTheLongPathPrefix) {
    EXPECT_EQ(PathFromFinalPath(L"\\\\?\\C:\\Vossel\\Vossel.exe"), L"C:\\Vossel\\Vossel.exe");
    EXPECT_EQ(PathFromFinalPath(L"\\\\?\\UNC\\server\\share\\V.exe"), L"\\\\server\\share\\V.exe");
}

}  // namespace
}  // namespace vossel
