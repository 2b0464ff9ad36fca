#include "mainwindow/start_recorder.h"

#include <string>
#include <string_view>

#include "start/start_record.h"
#include "platform/debug_output.h"
#include "platform/event_log.h"
#include "version_numbers.h"

namespace vossel {
namespace {

constexpr std::wstring_view kArchitecture = sizeof(void*) == 8 ? L"x64" : L"x86";

}  // namespace

StartRecorder::StartRecorder(UINT_PTR timerId) : writeTimer_(timerId, 1, false) {
    writeTimer_.Tick = [this] {
        writeTimer_.SetEnabled(false);
        if (pending_) Write(*pending_);
    };
}

void StartRecorder::OnCaption(const StartMeasurement& measurement, bool settled) {
    if (done_ || pending_) return;
    painted_ = true;
    last_ = measurement;
    if (measurement.kind == StartKind::NotMeasured || !settled) return;
    // The caption is drawn after the paint handler returns; the timer's message comes after it.
    pending_ = measurement;
    writeTimer_.SetEnabled(true);
}

void StartRecorder::OnEnd() {
    if (done_) return;
    if (pending_) {
        Write(*pending_);
    } else {
        Write(painted_ ? last_ : StartMeasurement::NotMeasured(kNoPaint));
    }
}

void StartRecorder::Write(const StartMeasurement& measurement) {
    done_ = true;
    pending_.reset();
    if (!platform::StartRecordsAllowed()) return;
    const StartRecord record = ComposeStartRecord(measurement, VOSSEL_VERSION_FULL, kArchitecture);
    platform::WriteEventRecordReported(record.eventId, record.strings);
    if (Recorded) Recorded(measurement);
}

}  // namespace vossel
