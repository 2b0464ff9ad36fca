#pragma once
// What the start-up watcher reads of the processes and the processors: a snapshot's ids and
// parents, and the times and I/O counters of each process, through a handle kept open from its
// first sight so that a process that exits still answers. Limited query access only, which a user
// has on the processes of their own log-on.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/unique_handle.h"

namespace vossel::platform {

struct ProcessSighting {
    std::uint32_t id = 0;
    std::uint32_t parentId = 0;
};

// The processes of one snapshot; empty when there is none.
std::vector<ProcessSighting> SnapshotProcesses();

// The ids of the running processes into ids, reusing its storage: a cheaper look than a snapshot,
// without the parents. False when they cannot be listed.
bool ListProcessIds(std::vector<std::uint32_t>& ids);

struct ProcessTimesReading {
    std::uint64_t createdUtc = 0;  // FILETIMEs
    bool exited = false;
    std::int64_t cpu100ns = 0;  // kernel + user
    std::uint64_t ioBytes = 0;  // reads, writes and other I/O (devices, network, the cache)
};

class WatchedProcessHandle {
  public:
    // Nothing when the process cannot be opened or is not of this session.
    static std::optional<WatchedProcessHandle> Open(std::uint32_t processId,
                                                    std::uint32_t sessionId);

    // Nothing when the times cannot be read; I/O counters that cannot be read count 0.
    std::optional<ProcessTimesReading> Read() const;
    std::wstring Image() const;          // its full path; empty when unreadable
    std::wstring PackageFamily() const;  // empty for a process of no package, or before Windows 8

  private:
    UniqueHandle process_;
};

// This process's session.
std::uint32_t CurrentSessionId();

struct SystemTimesReading {
    std::uint64_t idle100ns = 0;
    std::uint64_t kernel100ns = 0;  // including the idle time
    std::uint64_t user100ns = 0;
};

// GetSystemTimes, over all processors; nothing when it fails.
std::optional<SystemTimesReading> ReadSystemTimes();

// The calling thread in background mode (lower CPU, I/O and memory priorities) for its lifetime:
// a watcher must not slow the start it watches.
void EnterBackgroundMode();

}  // namespace vossel::platform
