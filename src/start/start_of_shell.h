#pragma once
// The measurement as the running program makes it: the shell of this log-on, its creation, the
// clocks, the session's sign-in, and what the logs tell of earlier log-ons in this start.
#include <cstdint>

#include "start/sign_in.h"
#include "start/start_measurement.h"
#include "start/start_readings.h"

namespace vossel {

// The process that owns the shell window; without one, the last process of this session in one
// snapshot whose name holds "explorer.exe". 0 if none.
std::uint32_t FindShellProcessId();

// Everything one measurement reads, as each paint reads it. earlier holds what has been read so
// far of the earlier log-ons of this start and of the clock's changes (ReadOtherSessions,
// ReadEarlierLogons); its session fields are ignored.
StartReadings ReadStartOfShell(const SignInEvidence& earlier);

// DecideStart(ReadStartOfShell(earlier)).
StartMeasurement MeasureStartOfShell(const SignInEvidence& earlier);

// The sign-ins of the other sessions: one question to the session manager, asked before the first
// caption so that a later log-on never shows the hours since the start.
void ReadOtherSessions(SignInEvidence& earlier);

// The changes of the system time, Winlogon's log-on and log-off events in the System log, and this
// program's own records of first log-ons that pass the history's plausibility rule, since the
// start at startUtc. It waits on the event log service: call it off the window's thread.
SignInEvidence ReadEarlierLogons(std::uint64_t startUtc);

}  // namespace vossel
