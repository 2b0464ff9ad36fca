#pragma once
// The start-up entries of this user's log-on as Windows keeps them: the Run values (the machine's
// in both registry views, the user's) and the items of the two Startup folders. Called on the
// start-up watcher's thread, inside the COM apartment that EnterThreadComApartment gives it.
#include <string>
#include <vector>

namespace vossel::platform {

struct StartupItem {
    std::wstring name;     // the Run value's name, or the Startup item's name without its extension
    std::wstring command;  // the Run value's data, environment variables expanded
    bool isPath = false;   // command is a path (a shortcut's target, a program in the folder)
};

// Every item that can be read; what cannot is left out.
std::vector<StartupItem> ReadStartupItems();

// Binds, on the calling thread, the late-bound COM functions that ReadStartupItems and
// ThreadComApartment use on another thread.
void BindStartupReadingFunctions();

// A single-threaded apartment for the calling thread for the object's lifetime.
class ThreadComApartment {
  public:
    ThreadComApartment();
    ~ThreadComApartment();
    ThreadComApartment(const ThreadComApartment&) = delete;
    ThreadComApartment& operator=(const ThreadComApartment&) = delete;

  private:
    bool entered_ = false;
};

}  // namespace vossel::platform
