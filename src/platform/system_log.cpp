#include "platform/system_log.h"

#include <windows.h>

#include <cwchar>

#include "platform/event_log_query.h"

namespace vossel::platform {

std::wstring EventTimeFilter(std::uint64_t sinceUtc) {
    const FILETIME time{static_cast<DWORD>(sinceUtc), static_cast<DWORD>(sinceUtc >> 32)};
    SYSTEMTIME utc{};
    if (!::FileTimeToSystemTime(&time, &utc)) utc = SYSTEMTIME{1601, 1, 0, 1, 0, 0, 0, 0};
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"TimeCreated[@SystemTime>='%04u-%02u-%02uT%02u:%02u:%02u.%03uZ']",
                  utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond,
                  utc.wMilliseconds);
    return text;
}

std::uint32_t ReadClockChanges(std::uint64_t sinceUtc, int maxRecords,
                               std::vector<ClockChangeEvent>& changes) {
    const std::wstring query =
        L"*[System[Provider[@Name='Microsoft-Windows-Kernel-General'] and EventID=1 and " +
        EventTimeFilter(sinceUtc) + L"]]";
    int examined = 0;
    return QueryEventFieldsNewestFirst(
        L"System", query.c_str(),
        {L"Event/EventData/Data[@Name='OldTime']", L"Event/EventData/Data[@Name='NewTime']",
         L"Event/EventData/Data[@Name='Reason']"},
        [&](const EventRecordFields& record) {
            if (record.eventId == 1 && record.fields.size() == 3) {
                changes.push_back({record.systemTime, record.fields[0].number,
                                   record.fields[1].number,
                                   static_cast<std::uint32_t>(record.fields[2].number)});
            }
            return ++examined < maxRecords;
        });
}

std::uint32_t ReadWinlogonEvents(std::uint64_t sinceUtc, int maxRecords,
                                 std::vector<WinlogonEvent>& events) {
    const std::wstring query =
        L"*[System[Provider[@Name='Microsoft-Windows-Winlogon'] and (EventID=7001 or "
        L"EventID=7002) and " +
        EventTimeFilter(sinceUtc) + L"]]";
    int examined = 0;
    return QueryEventFieldsNewestFirst(
        L"System", query.c_str(),
        {L"Event/EventData/Data[@Name='TSId']", L"Event/EventData/Data[@Name='UserSid']"},
        [&](const EventRecordFields& record) {
            if ((record.eventId == 7001 || record.eventId == 7002) && record.fields.size() == 2) {
                WinlogonEvent event;
                event.eventId = record.eventId;
                event.eventUtc = record.systemTime;
                // Some versions write the id as a text of digits.
                const EventField& id = record.fields[0];
                if (id.present && id.text.empty()) {
                    event.hasSessionId = true;
                    event.sessionId = static_cast<std::uint32_t>(id.number);
                } else if (id.present && !id.text.empty() &&
                           id.text.find_first_not_of(L"0123456789") == std::wstring::npos &&
                           id.text.size() < 10) {
                    event.hasSessionId = true;
                    event.sessionId =
                        static_cast<std::uint32_t>(std::wcstoul(id.text.c_str(), nullptr, 10));
                }
                event.userSid = record.fields[1].text;
                events.push_back(std::move(event));
            }
            return ++examined < maxRecords;
        });
}

}  // namespace vossel::platform
