#include "start/start_readings.h"

#include <algorithm>

namespace vossel {

bool IsRemoteSession(bool remoteMetric, const std::optional<std::uint32_t>& glassSessionId,
                     const std::optional<std::uint32_t>& ownSessionId) {
    if (remoteMetric) return true;
    // A RemoteFX vGPU session reports itself local; the console's session id tells it apart.
    return glassSessionId && ownSessionId && *glassSessionId != *ownSessionId;
}

bool SignsInAutomatically(const RegistryTexts& autoAdminLogon,
                          const std::vector<RegistryTexts>& legalNotice) {
    if (!autoAdminLogon || autoAdminLogon->size() != 1 || autoAdminLogon->front() != L"1") {
        return false;
    }
    // The policy leaves its values in place and empty by default: empty is unset.
    return std::none_of(legalNotice.begin(), legalNotice.end(), [](const RegistryTexts& value) {
        return value && std::any_of(value->begin(), value->end(),
                                    [](const std::wstring& text) { return !text.empty(); });
    });
}

void KeepFirstLock(std::optional<bool>& firstLocked, StartReadings& readings) {
    if (!readings.evidence.session) return;
    if (!firstLocked) firstLocked = readings.evidence.session->locked;
    readings.evidence.session->locked = *firstLocked;
}

StartMeasurement DecideStart(const StartReadings& readings) {
    if (readings.shellProcessId == 0) return StartMeasurement::NotMeasured(kNoShell);
    if (!readings.shellCreatedUtc) return StartMeasurement::NotMeasured(kShellNotReadable);
    SignInEvidence evidence = readings.evidence;
    const std::uint64_t signedIn = evidence.session ? evidence.session->logonUtc : 0;
    ShellCandidates candidates{*readings.shellCreatedUtc, readings.selfCreatedUtc,
                               readings.parentShellUtc, signedIn};
    const std::optional<std::uint64_t> shellCreated = ShellOfThisLogon(candidates);
    if (!shellCreated || !readings.clocks) return StartMeasurement::NotMeasured(kShellRestarted);

    const std::optional<SuspendTimes> suspendTimes = readings.suspendTimes;
    StartMeasurement span = MeasureStart(
        *shellCreated, *readings.clocks, [&suspendTimes] { return suspendTimes; },
        evidence.clockChanges);
    if (span.shellCreatedUtc == 0) span.shellCreatedUtc = *shellCreated;
    if (evidence.session) {
        evidence.session->remote =
            IsRemoteSession(readings.remoteMetric, readings.glassSessionId, readings.ownSessionId);
        if (!evidence.session->sessionId) evidence.session->sessionId = readings.ownSessionId;
    }
    // Both only bear on a sign-in instant that the session told: without one the wait stays in.
    evidence.automaticSignIn =
        signedIn != 0 && SignsInAutomatically(readings.autoAdminLogon, readings.legalNotice);
    return ApplySignIn(span, evidence);
}

}  // namespace vossel
