#pragma once
// Which start-up entry each process of the log-on belongs to, and what it spent inside the watched
// window. The readings come from the watcher; nothing here asks Windows.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "start/startup_record.h"

namespace vossel {

// What a start-up entry starts, as Task Manager names it: a Run value's name, a Startup-folder
// shortcut's name, a scheduled task's name.
struct StartupEntry {
    std::wstring name;
    std::wstring image;  // the program's path, environment variables expanded; may lack a folder
};

// Kernel + user time in 100 ns units, and the bytes of every kind of I/O (reads, writes, other).
struct ProcessUsage {
    std::int64_t cpu100ns = 0;
    std::uint64_t ioBytes = 0;
};

struct WatchedProcess {
    std::uint32_t id = 0;
    std::uint32_t parentId = 0;
    std::uint64_t createdUtc = 0;  // a FILETIME
    std::wstring image;            // its full path
    std::wstring packageFamily;    // empty for a process of no package
    ProcessUsage first;            // at its first sight
    ProcessUsage last;             // at its last reading: its end, for one that exited
};

// The program a command line starts: its first token, unquoted. An unquoted path with spaces
// ends after its first ".exe" that a space or the end follows, as CreateProcess would try it.
std::wstring ImageOfCommand(std::wstring_view commandLine);

// The program of a task's exec action: its path alone, so only spaces and the quotes around it
// go.
std::wstring ImageOfTaskAction(std::wstring_view path);

// What SHLoadIndirectString reads for a package manifest's "ms-resource:" display name: the
// resource in the package's own resources ("ms-resource:Name" is in its "resources" map).
// Empty for a display name that is not a resource reference, or a full name without a package name.
std::wstring PackageResourceReference(std::wstring_view fullName, std::wstring_view displayName);

// A packaged app's display name, by its family name.
struct PackageName {
    std::wstring family;
    std::wstring displayName;
};

// What a process spent after `since`: all of it for one created then or later, else what it spent
// after its first sight (what came before that cannot be told apart).
ProcessUsage SpentSince(const WatchedProcess& process, std::uint64_t sinceUtc);

// The programs of the log-on, by entry. Each process belongs to the entry of the nearest of its
// ancestors (itself first) whose image an entry starts, or that is a packaged app; a parent counts
// only when it was created before its child (process ids are reused). A process of no entry, or
// whose image two entries start, is listed by its image's file name. A packaged app is named by
// its display name, else by its family name. CPU and I/O are those spent after windowStart; the
// offset is the earliest creation among the entry's processes. Slowest first, all of them.
std::vector<StartupProgram> AttributeStartup(const std::vector<WatchedProcess>& processes,
                                             const std::vector<StartupEntry>& entries,
                                             std::uint64_t windowStartUtc,
                                             const std::vector<PackageName>& packages = {});

// The system's busy CPU since its first reading (kernel + user - idle, 100 ns) less what the
// processes spent since then, in ms; never below 0. It is what the watcher could not open.
std::int64_t WindowsAndServicesMs(std::uint64_t systemBusy100ns,
                                  const std::vector<WatchedProcess>& processes,
                                  std::uint64_t firstReadingUtc);

}  // namespace vossel
