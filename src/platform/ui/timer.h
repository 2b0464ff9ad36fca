#pragma once
// A window timer: it runs exactly while it is enabled and its interval is above zero.
#include <windows.h>

#include <functional>

namespace vossel::platform {

class Timer {
  public:
    Timer(UINT_PTR id, int intervalMs, bool enabled)
        : id_(id), interval_(intervalMs), enabled_(enabled) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    bool Enabled() const { return enabled_; }
    // A new interval takes effect at once: the count starts again from now.
    void SetInterval(int intervalMs);
    void SetEnabled(bool enabled);

    std::function<void()> Tick;

    // For the owner window.
    UINT_PTR Id() const { return id_; }
    void Attach(HWND owner);
    void Detach();

  private:
    void Apply();

    UINT_PTR id_;
    int interval_;
    bool enabled_;
    HWND owner_ = nullptr;
};

}  // namespace vossel::platform
