#include "platform/clocks.h"

#include "platform/system_api.h"

#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
#include <cwchar>
#endif

namespace vossel::platform {
namespace {

std::uint64_t FromFileTime(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

api::QueryInterruptTimeFunction FindQueryInterruptTime() {
    if (auto function = api::QueryInterruptTime.Find()) return function;
    return api::QueryInterruptTimeKernelBase.Find();
}

#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
// Test-only build: VOSSEL_TEST_CLOCKS="suspended=<100 ns>;sleep=<100 ns>;wake=<100 ns>" makes the
// real clocks look as after a resume. suspended is taken off the unbiased interrupt time; wake,
// when given, stands in for LastWakeTime, and sleep for LastSleepTime (0 when not given).
struct ClockOverride {
    std::uint64_t suspended = 0;
    std::uint64_t sleep = 0;
    std::optional<std::uint64_t> wake;
};

ClockOverride ReadClockOverride() {
    ClockOverride result;
    wchar_t text[256] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"VOSSEL_TEST_CLOCKS", text, 256);
    if (length == 0 || length >= 256) return result;
    if (const wchar_t* at = std::wcsstr(text, L"suspended=")) {
        result.suspended = std::wcstoull(at + 10, nullptr, 10);
    }
    if (const wchar_t* at = std::wcsstr(text, L"sleep=")) {
        result.sleep = std::wcstoull(at + 6, nullptr, 10);
    }
    if (const wchar_t* at = std::wcsstr(text, L"wake=")) {
        result.wake = std::wcstoull(at + 5, nullptr, 10);
    }
    return result;
}
#endif

}  // namespace

ClockReading ReadClocks() {
    const auto queryInterruptTime = FindQueryInterruptTime();
    const auto queryUnbiased = api::QueryUnbiasedInterruptTime.Find();
    api::GetSystemTimeAsFileTime.Get();
    api::GetTickCount64.Get();

    // Bound above, so that nothing but the readings lies between them.
    ClockReading reading;
    FILETIME now{};
    api::GetSystemTimeAsFileTime(&now);
    ULONGLONG interrupt = 0;
    if (queryInterruptTime) {
        queryInterruptTime(&interrupt);
        reading.interruptTime = interrupt;
    } else {
        reading.tickCountMs = api::GetTickCount64();
    }
    ULONGLONG unbiased = 0;
    if (queryUnbiased && queryUnbiased(&unbiased)) reading.unbiasedInterruptTime = unbiased;
    reading.systemTime = FromFileTime(now);

#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
    if (reading.unbiasedInterruptTime)
        *reading.unbiasedInterruptTime -= ReadClockOverride().suspended;
#endif
    return reading;
}

std::optional<SuspendReading> ReadSuspendTimes() {
#ifdef VOSSEL_FAULT_CLOCKS_FROM_ENVIRONMENT
    if (const ClockOverride override = ReadClockOverride(); override.wake) {
        return SuspendReading{override.sleep, *override.wake};
    }
#endif
    const auto callNtPowerInformation = api::CallNtPowerInformation.Find();
    if (!callNtPowerInformation) return std::nullopt;
    SuspendReading reading;
    // NTSTATUS results: 0 is success.
    if (callNtPowerInformation(LastSleepTime, nullptr, 0, &reading.lastSleep,
                               sizeof(reading.lastSleep)) != 0 ||
        callNtPowerInformation(LastWakeTime, nullptr, 0, &reading.lastWake,
                               sizeof(reading.lastWake)) != 0) {
        return std::nullopt;
    }
    return reading;
}

}  // namespace vossel::platform
