#include "platform/event_log.h"

#include <windows.h>

#include "platform/debug_output.h"
#include "platform/number_text.h"
#include "platform/registry.h"
#include "platform/runtime_error.h"
#include "platform/system_api.h"
#include "platform/unique_handle.h"

namespace vossel::platform {
namespace {

struct DeregisterSource {
    // Find(), not the call that throws: a destructor must not.
    void operator()(HANDLE source) const {
        if (const auto deregister = api::DeregisterEventSource.Find()) deregister(source);
    }
};
using UniqueEventSource = UniqueAny<HANDLE, DeregisterSource>;

}  // namespace

std::uint32_t WriteEventRecord(std::uint32_t eventId, const std::vector<std::wstring>& strings) {
    try {
        // Unregistered, the source still writes: the strings are kept, only the text is missing.
        const UniqueEventSource source(api::RegisterEventSourceW(nullptr, kEventSource));
        if (!source) return ::GetLastError();
        std::vector<LPCWSTR> pointers;
        for (const std::wstring& text : strings) pointers.push_back(text.c_str());
        if (!api::ReportEventW(source.Get(), EVENTLOG_INFORMATION_TYPE, 0, eventId, nullptr,
                               static_cast<WORD>(pointers.size()), 0, pointers.data(), nullptr)) {
            return ::GetLastError();
        }
        return 0;
    } catch (const RuntimeError& error) {
        return static_cast<std::uint32_t>(error.Number());
    }
}

void WriteEventRecordReported(std::uint32_t eventId, const std::vector<std::wstring>& strings) {
    const std::uint32_t error = WriteEventRecord(eventId, strings);
    if (error != 0) {
        Report(L"event log error " + NumberText(error));
    } else {
        Report(L"event " + NumberText(eventId));
    }
}

bool StartRecordsAllowed() {
    const auto value = ReadDwordValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Vossel",
                                      L"RecordStarts", KEY_WOW64_64KEY);
    return !value || *value != 0;
}

}  // namespace vossel::platform
