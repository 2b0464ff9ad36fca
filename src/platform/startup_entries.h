#pragma once
// The start-up entries of this user's log-on as Windows keeps them: the Run values (the machine's
// in both registry views, the user's), the items of the two Startup folders and the scheduled
// tasks that start at this user's log-on; and the names of packaged apps. Called on the
// start-up watcher's thread, inside the COM apartment that EnterThreadComApartment gives it.
#include <optional>
#include <string>
#include <vector>

namespace vossel::platform {

struct StartupItem {
    enum class Kind {
        kCommand,     // a Run value's data
        kPath,        // a shortcut's target, a program in the folder
        kTaskAction,  // a task's program, as its action names it (perhaps quoted)
    };
    // The value's name, the Startup item's name without its extension, or the task's name.
    std::wstring name;
    std::wstring command;  // environment variables expanded
    Kind kind = Kind::kCommand;
};

// Every item that can be read; what cannot (a task folder the user may not read, a Task Scheduler
// that does not answer) is left out. Tasks count when enabled, with an enabled logon trigger for
// any user or this one, and only their programs (exec actions) count.
std::vector<StartupItem> ReadStartupItems();

// A package of this user in the family: its full name and its manifest's display name, which may
// be a resource reference ("ms-resource:..."). Nothing on Windows before 8.1, or when unreadable.
struct PackageManifest {
    std::wstring fullName;
    std::wstring displayName;
};
std::optional<PackageManifest> ReadPackageManifest(const std::wstring& family);

// SHLoadIndirectString's text for an "@{...}" reference, or empty.
std::wstring LoadIndirectText(const std::wstring& source);

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
