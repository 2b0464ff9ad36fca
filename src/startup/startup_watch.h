#pragma once
// The watching of one start: a thread of its own, in background mode, that looks at the processes
// of this log-on once a second and at the processors every 100 ms until the watched window closes,
// then writes what it saw (the debug lines and the record) and tells the owner window.
#include <windows.h>

#include <memory>

#include "platform/unique_handle.h"
#include "startup/watch_plan.h"

namespace vossel {

class StartupWatch {
  public:
    StartupWatch();
    StartupWatch(const StartupWatch&) = delete;
    StartupWatch& operator=(const StartupWatch&) = delete;
    // Ends a watching still running, as at the session's end.
    ~StartupWatch();

    // Starts watching; once done, `message` is posted to `owner`. Nothing starts when a watching
    // has started before, when another copy of the program is watching this session, or when no
    // thread can be had.
    void Start(const WatchPlan& plan, HWND owner, UINT message);
    // Whether the watching has started and not yet written its record.
    bool Running() const;
    // At log-off or shut-down: the watching stops now and writes what it has, marked partial.
    // Returns once it has, or after a few seconds.
    void EndNow();

    struct State;

  private:
    platform::UniqueHandle thread_;
    platform::UniqueHandle stop_;     // an event: end now
    platform::UniqueHandle oneCopy_;  // the session's mutex that says a copy is watching
    std::unique_ptr<State> state_;
};

}  // namespace vossel
