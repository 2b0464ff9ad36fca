#include "platform/event_log_query.h"

#include <windows.h>
#include <winevt.h>
#include <sddl.h>

#include <iterator>
#include <optional>
#include <type_traits>

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

bool Bound() {
    return evtQuery.Find() && evtNext.Find() && evtCreateRenderContext.Find() && evtRender.Find() &&
           evtClose.Find();
}

// Runs the query newest first and hands each record to take, which answers 0 or the error that
// ends the reading, and clears more to stop it.
// prepare runs once the query stands (Wine's EvtQuery fails, and its EvtCreateRenderContext
// aborts the process when called).
std::uint32_t ForEachEvent(const wchar_t* channel, const wchar_t* query,
                           const std::function<std::uint32_t()>& prepare,
                           const std::function<std::uint32_t(EVT_HANDLE event, bool& more)>& take) {
    ::SetLastError(ERROR_SUCCESS);
    EventHandle results(
        evtQuery(nullptr, channel, query, EvtQueryChannelPath | EvtQueryReverseDirection));
    if (!results.Get()) return LastErrorOr(ERROR_NOT_SUPPORTED);
    if (const std::uint32_t failure = prepare()) return failure;
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
            failure = take(event.Get(), more);
        }
        if (failure) return failure;
        if (!more) return 0;
    }
}

LPCWSTR kSystemPaths[] = {L"Event/System/EventID", L"Event/System/TimeCreated/@SystemTime"};

[[maybe_unused]] std::uint32_t QueryLog(
    const wchar_t* channel, const wchar_t* query,
    const std::function<bool(const EventRecordValues& record)>& visit) {
    if (!Bound()) return LastErrorOr(ERROR_PROC_NOT_FOUND);
    std::optional<EventHandle> userValues;
    std::optional<EventHandle> systemValues;
    const auto prepare = [&]() -> std::uint32_t {
        userValues.emplace(evtCreateRenderContext(0, nullptr, EvtRenderContextUser));
        systemValues.emplace(evtCreateRenderContext(static_cast<DWORD>(std::size(kSystemPaths)),
                                                    kSystemPaths, EvtRenderContextValues));
        return userValues->Get() && systemValues->Get() ? 0 : LastErrorOr(ERROR_NOT_SUPPORTED);
    };
    std::vector<BYTE> userBuffer(4096);
    std::vector<BYTE> systemBuffer(256);
    return ForEachEvent(channel, query, prepare, [&](EVT_HANDLE event, bool& more) -> std::uint32_t {
        DWORD userCount = 0;
        DWORD systemCount = 0;
        std::uint32_t failure = RenderValues(systemValues->Get(), event, systemBuffer, systemCount);
        if (!failure) failure = RenderValues(userValues->Get(), event, userBuffer, userCount);
        if (failure || systemCount < 2) return failure;
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
        return 0;
    });
}

// A whole number of any width; a negative one reads as none.
template <typename Number>
std::optional<std::uint64_t> Whole(Number n) {
    if constexpr (std::is_signed_v<Number>) {
        if (n < 0) return std::nullopt;
    }
    return static_cast<std::uint64_t>(n);
}

std::optional<std::uint64_t> WholeNumberOf(const EVT_VARIANT& value) {
    switch (value.Type) {
        case EvtVarTypeByte:
            return Whole(value.ByteVal);
        case EvtVarTypeUInt16:
            return Whole(value.UInt16Val);
        case EvtVarTypeUInt32:
        case EvtVarTypeHexInt32:
            return Whole(value.UInt32Val);
        case EvtVarTypeUInt64:
        case EvtVarTypeHexInt64:
            return Whole(value.UInt64Val);
        case EvtVarTypeFileTime:
            return Whole(value.FileTimeVal);
        case EvtVarTypeSByte:
            return Whole(value.SByteVal);
        case EvtVarTypeInt16:
            return Whole(value.Int16Val);
        case EvtVarTypeInt32:
            return Whole(value.Int32Val);
        case EvtVarTypeInt64:
            return Whole(value.Int64Val);
        default:
            return std::nullopt;
    }
}

EventField FieldOf(const EVT_VARIANT& value) {
    EventField field;
    const auto number = [&](std::uint64_t n) {
        field.present = true;
        field.number = n;
    };
    if (const std::optional<std::uint64_t> whole = WholeNumberOf(value)) {
        number(*whole);
        return field;
    }
    switch (value.Type) {
        case EvtVarTypeString:
            if (value.StringVal) {
                field.present = true;
                field.text = value.StringVal;
            }
            break;
        case EvtVarTypeSysTime:
            if (FILETIME time{};
                value.SysTimeVal && ::SystemTimeToFileTime(value.SysTimeVal, &time)) {
                number((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
            }
            break;
        case EvtVarTypeSid:
            if (LPWSTR text = nullptr;
                value.SidVal && ::ConvertSidToStringSidW(value.SidVal, &text)) {
                field.present = true;
                field.text = text;
                ::LocalFree(text);
            }
            break;
        default:
            break;
    }
    return field;
}

[[maybe_unused]] std::uint32_t QueryLogFields(
    const wchar_t* channel, const wchar_t* query, const std::vector<std::wstring>& paths,
    const std::function<bool(const EventRecordFields& record)>& visit) {
    if (!Bound()) return LastErrorOr(ERROR_PROC_NOT_FOUND);
    std::vector<LPCWSTR> allPaths(std::begin(kSystemPaths), std::end(kSystemPaths));
    for (const std::wstring& path : paths) allPaths.push_back(path.c_str());
    std::optional<EventHandle> values;
    const auto prepare = [&]() -> std::uint32_t {
        values.emplace(evtCreateRenderContext(static_cast<DWORD>(allPaths.size()), allPaths.data(),
                                              EvtRenderContextValues));
        return values->Get() ? 0 : LastErrorOr(ERROR_NOT_SUPPORTED);
    };
    std::vector<BYTE> buffer(1024);
    return ForEachEvent(channel, query, prepare, [&](EVT_HANDLE event, bool& more) -> std::uint32_t {
        DWORD count = 0;
        if (const std::uint32_t failure = RenderValues(values->Get(), event, buffer, count)) {
            return failure;
        }
        if (count < allPaths.size()) return 0;
        const auto* rendered = reinterpret_cast<const EVT_VARIANT*>(buffer.data());
        EventRecordFields record;
        record.eventId = EventIdOf(rendered[0]);
        record.systemTime = FileTimeOf(rendered[1]);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            record.fields.push_back(FieldOf(rendered[std::size(kSystemPaths) + i]));
        }
        more = visit(record);
        return 0;
    });
}

#ifdef VOSSEL_FAULT_HISTORY_FROM_ENVIRONMENT
// Test-only build: VOSSEL_TEST_HISTORY holds the records instead of the log, newest first, as
// "<event id>|<system time, 100 ns>|<value>|<value>...", separated by ";". "error=<n>" in place of
// a record fails the reading there with that error, after the records before it.
std::uint32_t QueryEnvironment(const wchar_t* variable,
                               const std::function<bool(const EventRecordValues& record)>& visit) {
    const DWORD length = ::GetEnvironmentVariableW(variable, nullptr, 0);
    std::wstring text(length, L'\0');
    if (length == 0 || ::GetEnvironmentVariableW(variable, text.data(), length) != length - 1) {
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
            record.eventId =
                static_cast<std::uint32_t>(std::wcstoul(fields[0].c_str(), nullptr, 10));
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
    return QueryEnvironment(L"VOSSEL_TEST_HISTORY", visit);
#else
    return QueryLog(channel, query, visit);
#endif
}

std::uint32_t QueryEventFieldsNewestFirst(
    const wchar_t* channel, const wchar_t* query, const std::vector<std::wstring>& paths,
    const std::function<bool(const EventRecordFields& record)>& visit) {
#ifdef VOSSEL_FAULT_HISTORY_FROM_ENVIRONMENT
    // VOSSEL_TEST_SYSTEM_LOG, in the same form: a value of digits is a number, else a text.
    (void)channel;
    (void)query;
    return QueryEnvironment(L"VOSSEL_TEST_SYSTEM_LOG", [&](const EventRecordValues& values) {
        EventRecordFields record{values.eventId, values.systemTime, {}};
        for (std::size_t i = 0; i < paths.size(); ++i) {
            EventField field;
            if (i < values.values.size() && !values.values[i].empty()) {
                field.present = true;
                if (values.values[i].find_first_not_of(L"0123456789") == std::wstring::npos) {
                    field.number = std::wcstoull(values.values[i].c_str(), nullptr, 10);
                } else {
                    field.text = values.values[i];
                }
            }
            record.fields.push_back(std::move(field));
        }
        return visit(record);
    });
#else
    return QueryLogFields(channel, query, paths, visit);
#endif
}

}  // namespace vossel::platform
