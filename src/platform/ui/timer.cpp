#include "platform/ui/timer.h"

namespace vossel::platform {

void Timer::SetInterval(int intervalMs) {
    interval_ = intervalMs;
    Apply();
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Apply();
}

void Timer::Attach(HWND owner) {
    owner_ = owner;
    Apply();
}

void Timer::Detach() {
    if (owner_) ::KillTimer(owner_, id_);
    owner_ = nullptr;
}

void Timer::Apply() {
    if (!owner_) return;
    if (enabled_ && interval_ > 0) {
        ::SetTimer(owner_, id_, static_cast<UINT>(interval_), nullptr);
    } else {
        ::KillTimer(owner_, id_);
    }
}

}  // namespace vossel::platform
