#pragma once
// The sign-in as the session manager and LSA saw it, for this program's own session and log-on.
// Every call here is one a standard user may make, and none of them waits on anything but a local
// service. Times are FILETIMEs (UTC); 0 stands for unknown.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace vossel::platform {

struct SessionTimes {
    std::uint64_t connectUtc = 0;  // ConnectTime
    std::uint64_t logonUtc = 0;    // LogonTime
    bool remote = false;           // a remote desktop session
    bool locked = false;           // locked when read
};

// This process's session (WTSSessionInfoEx, or WTSSessionInfo where that fails); nothing when the
// session manager answers neither (Wine, Remote Desktop Services stopped).
std::optional<SessionTimes> ReadOwnSession();

// The LogonTime of every other session that has a user signed in; nothing when any of them cannot
// be read, which is no evidence either way.
std::optional<std::vector<std::uint64_t>> ReadOtherSessionLogons();

// The LogonTime of the logon session of the process's token, through LsaGetLogonSessionData,
// which the owner of that logon session may ask; 0 when unknown (Wine answers 0).
std::uint64_t ReadLogonSessionTime(std::uint32_t processId);

// The legal notice's values, each as read: LegalNoticeCaption and LegalNoticeText under the policy
// key, then under the older Winlogon key. A notice stops an automatic sign-in until it is clicked.
struct LegalNoticeValue {
    const wchar_t* key;  // the path under HKLM
    const wchar_t* name;
    RegistryValue value;
};
std::vector<LegalNoticeValue> ReadLegalNotice();

// Winlogon's AutoAdminLogon as read.
RegistryValue ReadAutoAdminLogon();

// A session id, or the Win32 error that kept it.
struct SessionIdReading {
    std::uint32_t error = 0;
    std::uint32_t id = 0;
};
// GlassSessionId under HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server: the session at
// the physical console. A RemoteFX vGPU session is remote although SM_REMOTESESSION says local.
SessionIdReading ReadGlassSessionId();
// ProcessIdToSessionId of this process.
SessionIdReading ReadOwnSessionId();
// GetSystemMetrics(SM_REMOTESESSION).
bool RemoteSessionMetric();

// This process's user as "S-1-...", or the Win32 error that kept it (sid left empty).
std::uint32_t ReadOwnUserSid(std::wstring& sid);

// This process's creation time, and its parent's process id (0 when it cannot be told).
std::uint64_t OwnCreationTime();
std::uint32_t ParentProcessId();

}  // namespace vossel::platform
