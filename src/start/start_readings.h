#pragma once
// Everything one measurement reads, as read, and the decision on it: the window shows and records
// the decision, and a report can print exactly what it saw.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "start/sign_in.h"
#include "start/start_measurement.h"

namespace vossel {

// One string value of the registry as read: its texts (one for REG_SZ and REG_EXPAND_SZ, each of
// a REG_MULTI_SZ), nothing where it is absent, unreadable or of another type.
using RegistryTexts = std::optional<std::vector<std::wstring>>;

struct StartReadings {
    std::uint32_t shellProcessId = 0;              // 0: none found
    std::optional<std::uint64_t> shellCreatedUtc;  // the shell's creation; nothing: not readable
    std::uint64_t selfCreatedUtc = 0;
    // The Explorer that started this run: read only when the shell found will not do.
    bool parentShellRead = false;
    std::uint64_t parentShellUtc = 0;
    std::optional<StartClocks> clocks;         // read once a shell is known
    std::optional<SuspendTimes> suspendTimes;  // asked only when suspended since the start
    // The session, LSA, the settings, as read. The session's remote flag is decided from the
    // three readings below; its lock flag is the run's first reading (the caller keeps it).
    SignInEvidence evidence;
    bool remoteMetric = false;                    // SM_REMOTESESSION
    std::optional<std::uint32_t> glassSessionId;  // nothing: unreadable
    std::optional<std::uint32_t> ownSessionId;
    RegistryTexts autoAdminLogon;
    std::vector<RegistryTexts> legalNotice;  // caption and text, policy key and Winlogon key
};

// SM_REMOTESESSION, or else the console's session (GlassSessionId) is not this one; a reading
// that cannot be had is no evidence of remoteness.
bool IsRemoteSession(bool remoteMetric, const std::optional<std::uint32_t>& glassSessionId,
                     const std::optional<std::uint32_t>& ownSessionId);

// AutoAdminLogon is "1" and no legal notice (caption or text, in any of its places) holds a
// non-empty text: a notice waits for a click.
bool SignsInAutomatically(const RegistryTexts& autoAdminLogon,
                          const std::vector<RegistryTexts>& legalNotice);

// The session's lock flag is the run's first reading's: a lock later (Win+L within the window's
// life) is the user's, not Windows signing itself in. firstLocked keeps it across the readings.
void KeepFirstLock(std::optional<bool>& firstLocked, StartReadings& readings);

// The measurement that the readings make.
StartMeasurement DecideStart(const StartReadings& readings);

}  // namespace vossel
