#include "platform/event_log_query.h"

#include <windows.h>
#include <winevt.h>

#include <iterator>

#include "platform/late_bound.h"

#ifdef VOSSEL_FAULT_HISTORY_FROM_ENVIRONMENT
#include <cwchar>
#endif

namespace vossel::platform {
namespace {

LateBound<decltype(&::EvtQuery)> evtQuery{L"wevtapi.dll", "EvtQuery"};
LateBound<decltype(&::EvtNext)> evtNext{L"wevtapi.dll", "EvtNext"};
LateBound<decltype(&::EvtCreateRenderContext)> evtCreateRenderContext{L"wevtapi.dll",
                                                                      "EvtCreateRenderContext"};
LateBound<decltype(&::EvtRender)> evtRender{L"wevtapi.dll", "EvtRender"};
LateBound<decltype(&::EvtClose)> evtClose{L"wevtapi.dll", "EvtClose"};

// A failure that the system left without a reason (Wine's EvtQuery does that): the function
// cannot do what was asked of it here.
std::uint32_t LastErrorOr(std::uint32_t fallback) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

class EventHandle {
  public:
    explicit EventHandle(EVT_HANDLE handle = nullptr) : handle_(handle) {}
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;
    ~EventHandle() {
        if (handle_) evtClose(handle_);
    }
    EVT_HANDLE Get() const { return handle_; }

  private:
    EVT_HANDLE handle_;
};

// Renders the values of one record with the context into buffer; 0 or the error.
std::uint32_t RenderValues(EVT_HANDLE context, EVT_HANDLE event, std::vector<BYTE>& buffer,
                           DWORD& count) {
    DWORD used = 0;
    if (evtRender(context, event, EvtRenderEventValues, static_cast<DWORD>(buffer.size()),
                  buffer.data(), &used, &count)) {
        return 0;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return LastErrorOr(ERROR_INVALID_DATA);
    buffer.resize(used);
    if (evtRender(context, event, EvtRenderEventValues, static_cast<DWORD>(buffer.size()),
                  buffer.data(), &used, &count)) {
        return 0;
    }
    return LastErrorOr(ERROR_INVALID_DATA);
}

// Types compared whole: the mask would drop EVT_VARIANT_TYPE_ARRAY, and an array's value is a
// pointer to its elements, not an element.
std::uint64_t FileTimeOf(const EVT_VARIANT& value) {
    return value.Type == EvtVarTypeFileTime ? value.FileTimeVal : 0;
}

std::uint32_t EventIdOf(const EVT_VARIANT& value) {
    return value.Type == EvtVarTypeUInt16 ? value.UInt16Val : 0;
}

[[maybe_unused]] std::uint32_t QueryLog(const wchar_t* channel, const wchar_t* query,
                       const std::function<bool(const EventRecordValues& record)>& visit) {
    if (!evtQuery.Find() || !evtNext.Find() || !evtCreateRenderContext.Find() ||
        !evtRender.Find() || !evtClose.Find()) {
        return LastErrorOr(ERROR_PROC_NOT_FOUND);
    }
    ::SetLastError(ERROR_SUCCESS);
    EventHandle results(
        evtQuery(nullptr, channel, query, EvtQueryChannelPath | EvtQueryReverseDirection));
    if (!results.Get()) return LastErrorOr(ERROR_NOT_SUPPORTED);

    EventHandle userValues(evtCreateRenderContext(0, nullptr, EvtRenderContextUser));
    LPCWSTR systemPaths[] = {L"Event/System/EventID", L"Event/System/TimeCreated/@SystemTime"};
    EventHandle systemValues(evtCreateRenderContext(static_cast<DWORD>(std::size(systemPaths)),
                                                    systemPaths, EvtRenderContextValues));
    if (!userValues.Get() || !systemValues.Get()) return LastErrorOr(ERROR_NOT_SUPPORTED);

    std::vector<BYTE> userBuffer(4096);
    std::vector<BYTE> systemBuffer(256);
    // A small batch: the reading usually stops after a few dozen records.
    EVT_HANDLE batch[16] = {};
    for (;;) {
        DWORD returned = 0;
        if (!evtNext(results.Get(), static_cast<DWORD>(std::size(batch)), batch, INFINITE, 0,
                     &returned)) {
            const DWORD error = ::GetLastError();
            return error == ERROR_NO_MORE_ITEMS ? 0 : LastErrorOr(ERROR_INVALID_DATA);
        }
        bool more = true;
        std::uint32_t failure = 0;
        for (DWORD i = 0; i < returned; ++i) {
            EventHandle event(batch[i]);
            if (!more || failure) continue;
            DWORD userCount = 0;
            DWORD systemCount = 0;
            failure = RenderValues(systemValues.Get(), event.Get(), systemBuffer, systemCount);
            if (!failure) failure = RenderValues(userValues.Get(), event.Get(), userBuffer, userCount);
            if (failure || systemCount < 2) continue;
            const auto* system = reinterpret_cast<const EVT_VARIANT*>(systemBuffer.data());
            const auto* user = reinterpret_cast<const EVT_VARIANT*>(userBuffer.data());
            EventRecordValues record;
            record.eventId = EventIdOf(system[0]);
            record.systemTime = FileTimeOf(system[1]);
            for (DWORD v = 0; v < userCount; ++v) {
                const bool text = user[v].Type == EvtVarTypeString && user[v].StringVal != nullptr;
                record.values.emplace_back(text ? user[v].StringVal : L"");
            }
            more = visit(record);
        }
        if (failure) return failure;
        if (!more) return 0;
    }
}

#ifdef VOSSEL_FAULT_HISTORY_FROM_ENVIRONMENT
// Test-only build: VOSSEL_TEST_HISTORY holds the records instead of the log, newest first, as
// "<event id>|<system time, 100 ns>|<value>|<value>...", separated by ";". "error=<n>" in place of
// a record fails the reading there with that error, after the records before it.
std::uint32_t QueryEnvironment(const std::function<bool(const EventRecordValues& record)>& visit) {
    const DWORD length = ::GetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", nullptr, 0);
    std::wstring text(length, L'\0');
    if (length == 0 ||
        ::GetEnvironmentVariableW(L"VOSSEL_TEST_HISTORY", text.data(), length) != length - 1) {
        return 0;
    }
    text.resize(length - 1);
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find(L';', at);
        if (end == std::wstring::npos) end = text.size();
        if (text.compare(at, 6, L"error=") == 0) {
            return static_cast<std::uint32_t>(std::wcstoul(&text[at + 6], nullptr, 10));
        }
        std::vector<std::wstring> fields;
        for (std::size_t field = at; field <= end;) {
            std::size_t bar = text.find(L'|', field);
            if (bar == std::wstring::npos || bar > end) bar = end;
            fields.push_back(text.substr(field, bar - field));
            field = bar + 1;
        }
        if (fields.size() >= 2) {
            EventRecordValues record;
            record.eventId = static_cast<std::uint32_t>(std::wcstoul(fields[0].c_str(), nullptr, 10));
            record.systemTime = std::wcstoull(fields[1].c_str(), nullptr, 10);
            record.values.assign(fields.begin() + 2, fields.end());
            if (!visit(record)) return 0;
        }
        at = end + 1;
    }
    return 0;
}
#endif

}  // namespace

std::uint32_t QueryEventRecordsNewestFirst(
    const wchar_t* channel, const wchar_t* query,
    const std::function<bool(const EventRecordValues& record)>& visit) {
#ifdef VOSSEL_FAULT_HISTORY_FROM_ENVIRONMENT
    (void)channel;
    (void)query;
    return QueryEnvironment(visit);
#else
    return QueryLog(channel, query, visit);
#endif
}

}  // namespace vossel::platform
