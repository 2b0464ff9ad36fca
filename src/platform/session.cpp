#include "platform/session.h"

#include <windows.h>
#include <ntsecapi.h>
#include <wtsapi32.h>
#include <sddl.h>

#include <versionhelpers.h>

#include <cstring>

#include "platform/late_bound.h"
#include "platform/registry.h"
#include "platform/system_api.h"
#include "platform/unique_handle.h"

#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
#include <cwchar>

#include "platform/clocks.h"
#endif

namespace vossel::platform {
namespace {

// WTSSessionInfoEx and its structures, Windows 7 and later; mingw-w64's header lacks them.
constexpr auto kSessionInfoEx = static_cast<WTS_INFO_CLASS>(25);
constexpr LONG kSessionLocked = 0;  // WTS_SESSIONSTATE_LOCK
struct SessionInfoExLevel1 {
    ULONG SessionId;
    WTS_CONNECTSTATE_CLASS SessionState;
    LONG SessionFlags;
    WCHAR WinStationName[WINSTATIONNAME_LENGTH + 1];
    WCHAR UserName[USERNAME_LENGTH + 1];
    WCHAR DomainName[DOMAIN_LENGTH + 1];
    LARGE_INTEGER LogonTime;
    LARGE_INTEGER ConnectTime;
    LARGE_INTEGER DisconnectTime;
    LARGE_INTEGER LastInputTime;
    LARGE_INTEGER CurrentTime;
    DWORD IncomingBytes;
    DWORD OutgoingBytes;
    DWORD IncomingFrames;
    DWORD OutgoingFrames;
    DWORD IncomingCompressedBytes;
    DWORD OutgoingCompressedBytes;
};
struct SessionInfoEx {
    DWORD Level;
    union {
        SessionInfoExLevel1 WTSInfoExLevel1;
    } Data;
};

LateBound<decltype(&::WTSQuerySessionInformationW)> wtsQuerySessionInformation{
    L"wtsapi32.dll", "WTSQuerySessionInformationW"};
LateBound<decltype(&::WTSEnumerateSessionsW)> wtsEnumerateSessions{L"wtsapi32.dll",
                                                                   "WTSEnumerateSessionsW"};
LateBound<decltype(&::WTSFreeMemory)> wtsFreeMemory{L"wtsapi32.dll", "WTSFreeMemory"};
LateBound<decltype(&::LsaGetLogonSessionData)> lsaGetLogonSessionData{L"secur32.dll",
                                                                      "LsaGetLogonSessionData"};
LateBound<decltype(&::LsaFreeReturnBuffer)> lsaFreeReturnBuffer{L"secur32.dll",
                                                                "LsaFreeReturnBuffer"};
LateBound<decltype(&::OpenProcessToken)> openProcessToken{L"advapi32.dll", "OpenProcessToken"};
LateBound<decltype(&::GetTokenInformation)> getTokenInformation{L"advapi32.dll",
                                                                "GetTokenInformation"};

std::uint64_t Time(const LARGE_INTEGER& value) {
    return value.QuadPart > 0 ? static_cast<std::uint64_t>(value.QuadPart) : 0;
}

// The session manager's buffer, freed however the reading ends.
template <typename Info>
class WtsBuffer {
  public:
    WtsBuffer() = default;
    WtsBuffer(const WtsBuffer&) = delete;
    WtsBuffer& operator=(const WtsBuffer&) = delete;
    ~WtsBuffer() {
        if (data_) wtsFreeMemory(data_);
    }
    Info** Out() { return &data_; }
    Info* Get() const { return data_; }

  private:
    Info* data_ = nullptr;
};

struct SessionDetails {
    std::uint64_t connectUtc = 0;
    std::uint64_t logonUtc = 0;
    bool hasUser = false;
    bool locked = false;
};

// Wine answers FALSE with a stale last error and no buffer: only the buffer and its size count.
std::optional<SessionDetails> ReadSession(DWORD sessionId) {
    if (!wtsQuerySessionInformation.Find() || !wtsFreeMemory.Find()) return std::nullopt;
    {
        WtsBuffer<SessionInfoEx> info;
        DWORD size = 0;
        if (wtsQuerySessionInformation(WTS_CURRENT_SERVER_HANDLE, sessionId, kSessionInfoEx,
                                       reinterpret_cast<LPWSTR*>(info.Out()), &size) &&
            info.Get() && size >= sizeof(SessionInfoEx) && info.Get()->Level == 1) {
            const SessionInfoExLevel1& level1 = info.Get()->Data.WTSInfoExLevel1;
            // The lock flags of Windows 7 are the wrong way round.
            return SessionDetails{Time(level1.ConnectTime), Time(level1.LogonTime),
                                  level1.UserName[0] != L'\0',
                                  ::IsWindows8OrGreater() && level1.SessionFlags == kSessionLocked};
        }
    }
    WtsBuffer<WTSINFOW> info;
    DWORD size = 0;
    if (wtsQuerySessionInformation(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSSessionInfo,
                                   reinterpret_cast<LPWSTR*>(info.Out()), &size) &&
        info.Get() && size >= sizeof(WTSINFOW)) {
        return SessionDetails{Time(info.Get()->ConnectTime), Time(info.Get()->LogonTime),
                              info.Get()->UserName[0] != L'\0', false};
    }
    return std::nullopt;
}

DWORD OwnSessionId() {
    DWORD session = 0;
    if (!api::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return WTS_CURRENT_SESSION;
    return session;
}

#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
// Test-only build:
// VOSSEL_TEST_SESSION="connect=<ms>;logon=<ms>;other=<ms>;lsa=<ms>;locked;remote;glass; automatic"
// stands in for what the session manager and LSA tell, each time in ms after the kernel's start.
bool SessionOverridden(const wchar_t* key, std::uint64_t* time = nullptr) {
    wchar_t text[256] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"VOSSEL_TEST_SESSION", text, 256);
    if (length == 0 || length >= 256) return false;
    const wchar_t* at = std::wcsstr(text, key);
    if (!at) return false;
    if (time) {
        const ClockReading clocks = ReadClocks();
        const std::uint64_t start =
            clocks.systemTime - clocks.interruptTime.value_or(clocks.tickCountMs * 10'000);
        *time = start + std::wcstoull(at + std::wcslen(key), nullptr, 10) * 10'000;
    }
    return true;
}
#endif

}  // namespace

std::optional<SessionTimes> ReadOwnSession() {
#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
    SessionTimes fake;
    if (SessionOverridden(L"connect=", &fake.connectUtc) |
        SessionOverridden(L"logon=", &fake.logonUtc)) {
        fake.locked = SessionOverridden(L"locked");
        fake.remote = SessionOverridden(L"remote");
        return fake;
    }
#endif
    const std::optional<SessionDetails> details = ReadSession(OwnSessionId());
    if (!details) return std::nullopt;
    return SessionTimes{details->connectUtc, details->logonUtc,
                        ::GetSystemMetrics(SM_REMOTESESSION) != 0, details->locked};
}

std::optional<std::vector<std::uint64_t>> ReadOtherSessionLogons() {
#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
    if (std::uint64_t other = 0; SessionOverridden(L"other=", &other)) {
        return std::vector<std::uint64_t>{other};
    }
#endif
    if (!wtsEnumerateSessions.Find() || !wtsFreeMemory.Find()) return std::nullopt;
    WtsBuffer<WTS_SESSION_INFOW> sessions;
    DWORD count = 0;
    if (!wtsEnumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, sessions.Out(), &count) ||
        !sessions.Get()) {
        return std::nullopt;
    }
    const DWORD own = OwnSessionId();
    std::vector<std::uint64_t> logons;
    for (DWORD i = 0; i < count; ++i) {
        const WTS_SESSION_INFOW& session = sessions.Get()[i];
        // Session 0 holds the services, never a user; listeners and idle sessions hold none.
        if (session.SessionId == 0 || session.SessionId == own ||
            (session.State != WTSActive && session.State != WTSDisconnected)) {
            continue;
        }
        const std::optional<SessionDetails> details = ReadSession(session.SessionId);
        if (!details) return std::nullopt;
        if (details->hasUser && details->logonUtc != 0) logons.push_back(details->logonUtc);
    }
    return logons;
}

std::uint64_t ReadLogonSessionTime(std::uint32_t processId) {
#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
    if (std::uint64_t lsa = 0; SessionOverridden(L"lsa=", &lsa)) return lsa;
#endif
    if (!lsaGetLogonSessionData.Find() || !lsaFreeReturnBuffer.Find() || !openProcessToken.Find() ||
        !getTokenInformation.Find()) {
        return 0;
    }
    const UniqueHandle process(
        api::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return 0;
    HANDLE rawToken = nullptr;
    if (!openProcessToken(process.Get(), TOKEN_QUERY, &rawToken)) return 0;
    const UniqueHandle token(rawToken);
    TOKEN_STATISTICS statistics{};
    DWORD size = 0;
    if (!getTokenInformation(token.Get(), TokenStatistics, &statistics, sizeof(statistics),
                             &size)) {
        return 0;
    }
    PSECURITY_LOGON_SESSION_DATA data = nullptr;
    if (lsaGetLogonSessionData(&statistics.AuthenticationId, &data) != 0 || !data) return 0;
    const std::uint64_t logon = Time(data->LogonTime);
    lsaFreeReturnBuffer(data);
    return logon;
}

std::vector<LegalNoticeValue> ReadLegalNotice() {
    static constexpr const wchar_t* kPolicy =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    static constexpr const wchar_t* kWinlogon =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    std::vector<LegalNoticeValue> values;
    for (const wchar_t* key : {kPolicy, kWinlogon}) {
        for (const wchar_t* name : {L"LegalNoticeCaption", L"LegalNoticeText"}) {
            values.push_back(
                {key, name, ReadRegistryValue(HKEY_LOCAL_MACHINE, key, name, KEY_WOW64_64KEY)});
        }
    }
    return values;
}

RegistryValue ReadAutoAdminLogon() {
#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
    if (SessionOverridden(L"automatic")) return {0, REG_SZ, {'1', 0, 0, 0}};
#endif
    return ReadRegistryValue(HKEY_LOCAL_MACHINE,
                             L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                             L"AutoAdminLogon", KEY_WOW64_64KEY);
}

SessionIdReading ReadGlassSessionId() {
#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
    if (SessionOverridden(L"glass")) return {0, OwnSessionId() + 1};
#endif
    const RegistryValue value = ReadRegistryValue(
        HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server",
        L"GlassSessionId", KEY_WOW64_64KEY);
    if (value.error != ERROR_SUCCESS) return {value.error, 0};
    if (value.type != REG_DWORD || value.bytes.size() != sizeof(DWORD))
        return {ERROR_INVALID_DATA, 0};
    SessionIdReading read;
    std::memcpy(&read.id, value.bytes.data(), sizeof(DWORD));
    return read;
}

SessionIdReading ReadOwnSessionId() {
    DWORD session = 0;
    if (!api::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
        const DWORD error = ::GetLastError();
        return {error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION, 0};
    }
    return {0, session};
}

bool RemoteSessionMetric() { return ::GetSystemMetrics(SM_REMOTESESSION) != 0; }

std::uint32_t ReadOwnUserSid(std::wstring& sid) {
    sid.clear();
    const auto lastError = [] {
        const DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION;
    };
    if (!openProcessToken.Find() || !getTokenInformation.Find()) return ERROR_PROC_NOT_FOUND;
    HANDLE rawToken = nullptr;
    if (!openProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return lastError();
    const UniqueHandle token(rawToken);
    DWORD size = 0;
    getTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return lastError();
    std::vector<std::uint8_t> buffer(size);
    if (!getTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size))
        return lastError();
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return lastError();
    }
    sid = text;
    ::LocalFree(text);
    return 0;
}

std::uint64_t OwnCreationTime() {
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (!api::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user)) return 0;
    return (std::uint64_t{creation.dwHighDateTime} << 32) | creation.dwLowDateTime;
}

std::uint32_t ParentProcessId() {
    api::CloseHandle.Get();
    HANDLE taken = api::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (taken == INVALID_HANDLE_VALUE) return 0;
    const UniqueHandle snapshot(taken);
    ProcessEntry entry{};
    entry.dwSize = sizeof(entry);
    const DWORD self = ::GetCurrentProcessId();
    if (!api::Process32First(snapshot.Get(), &entry)) return 0;
    do {
        if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
    } while (api::Process32Next(snapshot.Get(), &entry));
    return 0;
}

}  // namespace vossel::platform
