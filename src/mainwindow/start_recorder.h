#pragma once
// The one start record of a run: right after the first paint whose caption is a number, or, when
// the run ends without one, a not-measured record with the last reason just before the end.
#include <functional>
#include <optional>

#include "start/start_measurement.h"
#include "platform/ui/timer.h"

namespace vossel {

class StartRecorder {
  public:
    explicit StartRecorder(UINT_PTR timerId);
    StartRecorder(const StartRecorder&) = delete;
    StartRecorder& operator=(const StartRecorder&) = delete;

    // The owner window adds it: the record goes out once the painted caption is on the screen.
    platform::Timer& Timer() { return writeTimer_; }

    // The measurement of each paint. A number is recorded once settled: once it is known which
    // log-on this is.
    void OnCaption(const StartMeasurement& measurement, bool settled);
    // Just before the program ends, by any way but the run-time error.
    void OnEnd();

    // Once the record is out, where records are allowed at all, with its measurement.
    std::function<void(const StartMeasurement& measurement)> Recorded;

  private:
    void Write(const StartMeasurement& measurement);

    platform::Timer writeTimer_;
    std::optional<StartMeasurement> pending_;  // measured, not yet written
    StartMeasurement last_;                    // of the last paint
    bool painted_ = false;
    bool done_ = false;
};

}  // namespace vossel
