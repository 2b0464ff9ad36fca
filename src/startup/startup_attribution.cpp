#include "startup/startup_attribution.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>

namespace vossel {
namespace {

constexpr std::int64_t kTicksPerMs = 10'000;

std::wstring Lower(std::wstring_view text) {
    std::wstring lower(text);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return lower;
}

std::wstring_view FileName(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

// An entry starts a process when their paths are the same, or, for an entry that names no folder
// (left to the search path), their file names.
bool Starts(const std::wstring& entryImage, const std::wstring& processImage) {
    if (entryImage.empty() || processImage.empty()) return false;
    if (entryImage.find_first_of(L"\\/") == std::wstring::npos) {
        return entryImage == Lower(FileName(processImage)) ||
               entryImage + L".exe" == Lower(FileName(processImage));
    }
    return entryImage == processImage;
}

struct Owner {
    std::wstring entry;
    std::wstring image;
};

// The entry (or packaged app) that started this process itself; nothing when none did or when
// two entries start the same image, which cannot be told apart.
std::optional<Owner> OwnEntry(const WatchedProcess& process,
                              const std::vector<StartupEntry>& lowerEntries,
                              const std::vector<PackageName>& packages) {
    const std::wstring image = Lower(process.image);
    const StartupEntry* found = nullptr;
    for (const StartupEntry& entry : lowerEntries) {
        if (!Starts(entry.image, image)) continue;
        // The same entry read twice (the registry's two views of one key on 32-bit Windows) is
        // one entry; two of different names are two.
        if (found && Lower(found->name) != Lower(entry.name)) return std::nullopt;
        if (!found) found = &entry;
    }
    if (found) return Owner{found->name, process.image};
    if (process.packageFamily.empty()) return std::nullopt;
    const std::wstring family = Lower(process.packageFamily);
    for (const PackageName& package : packages) {
        if (!package.displayName.empty() && Lower(package.family) == family) {
            return Owner{package.displayName, process.image};
        }
    }
    return Owner{process.packageFamily, process.image};
}

}  // namespace

std::wstring ImageOfCommand(std::wstring_view command) {
    const std::size_t start = command.find_first_not_of(L" \t");
    if (start == std::wstring_view::npos) return {};
    command.remove_prefix(start);
    if (command.front() == L'"') {
        const std::size_t close = command.find(L'"', 1);
        return std::wstring(
            command.substr(1, close == std::wstring_view::npos ? close : close - 1));
    }
    const std::wstring lower = Lower(command);
    for (std::size_t at = lower.find(L".exe"); at != std::wstring::npos;
         at = lower.find(L".exe", at + 1)) {
        const std::size_t end = at + 4;
        if (end == lower.size() || lower[end] == L' ' || lower[end] == L'\t') {
            return std::wstring(command.substr(0, end));
        }
    }
    return std::wstring(command.substr(0, command.find_first_of(L" \t")));
}

std::wstring ImageOfTaskAction(std::wstring_view path) {
    const std::size_t start = path.find_first_not_of(L" \t");
    if (start == std::wstring_view::npos) return {};
    path = path.substr(start, path.find_last_not_of(L" \t") - start + 1);
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        path = path.substr(1, path.size() - 2);
    } else if (path.front() == L'"') {
        path.remove_prefix(1);
    }
    return std::wstring(path);
}

std::wstring PackageResourceReference(std::wstring_view fullName, std::wstring_view displayName) {
    constexpr std::wstring_view kScheme = L"ms-resource:";
    if (displayName.size() <= kScheme.size() ||
        Lower(displayName.substr(0, kScheme.size())) != kScheme) {
        return {};
    }
    const std::wstring_view name = fullName.substr(0, fullName.find(L'_'));
    if (name.empty() || name.size() == fullName.size()) return {};
    const std::wstring_view key = displayName.substr(kScheme.size());
    std::wstring uri;
    if (key.starts_with(L"//")) {
        uri = std::wstring(kScheme) + std::wstring(key);  // names its package itself
    } else if (key.starts_with(L"/")) {
        uri = std::wstring(kScheme) + L"//" + std::wstring(name) + std::wstring(key);
    } else if (key.find(L'/') != std::wstring_view::npos) {
        uri = std::wstring(kScheme) + L"//" + std::wstring(name) + L"/" + std::wstring(key);
    } else {
        uri =
            std::wstring(kScheme) + L"//" + std::wstring(name) + L"/resources/" + std::wstring(key);
    }
    return L"@{" + std::wstring(fullName) + L"?" + uri + L"}";
}

ProcessUsage SpentSince(const WatchedProcess& process, std::uint64_t sinceUtc) {
    if (process.createdUtc >= sinceUtc) return process.last;
    return {std::max<std::int64_t>(0, process.last.cpu100ns - process.first.cpu100ns),
            process.last.ioBytes >= process.first.ioBytes
                ? process.last.ioBytes - process.first.ioBytes
                : 0};
}

std::vector<StartupProgram> AttributeStartup(const std::vector<WatchedProcess>& processes,
                                             const std::vector<StartupEntry>& entries,
                                             std::uint64_t windowStartUtc,
                                             const std::vector<PackageName>& packages) {
    std::vector<StartupEntry> lowerEntries;
    for (const StartupEntry& entry : entries) {
        lowerEntries.push_back({entry.name, Lower(entry.image)});
    }
    // A parent is the latest process of its id created before the child: ids are reused.
    auto parentOf = [&](const WatchedProcess& child) -> const WatchedProcess* {
        const WatchedProcess* parent = nullptr;
        for (const WatchedProcess& candidate : processes) {
            if (candidate.id != child.parentId || &candidate == &child ||
                candidate.createdUtc >= child.createdUtc) {
                continue;
            }
            if (!parent || candidate.createdUtc > parent->createdUtc) parent = &candidate;
        }
        return parent;
    };

    struct Sum {
        StartupProgram program;
        bool hasOffset = false;
    };
    std::map<std::wstring, Sum> byName;  // keyed by the lower-case name, first spelling kept
    for (const WatchedProcess& process : processes) {
        std::optional<Owner> owner;
        const WatchedProcess* at = &process;
        // A chain is never longer than the processes seen; the bound also stops a cycle of
        // reused ids.
        for (std::size_t step = 0; at && !owner && step <= processes.size(); ++step) {
            owner = OwnEntry(*at, lowerEntries, packages);
            if (!owner) at = parentOf(*at);
        }
        if (!owner) owner = Owner{std::wstring(FileName(process.image)), process.image};
        if (owner->entry.empty()) continue;  // a process whose image could not be read

        Sum& sum = byName[Lower(owner->entry)];
        if (sum.program.entry.empty()) {
            sum.program.entry = owner->entry;
            sum.program.image = owner->image;
        }
        const ProcessUsage spent = SpentSince(process, windowStartUtc);
        sum.program.cpuMs += spent.cpu100ns / kTicksPerMs;
        sum.program.ioBytes += spent.ioBytes;
        const std::int64_t offsetMs = (static_cast<std::int64_t>(process.createdUtc) -
                                       static_cast<std::int64_t>(windowStartUtc)) /
                                      kTicksPerMs;
        if (!sum.hasOffset || offsetMs < sum.program.startOffsetMs) {
            sum.program.startOffsetMs = offsetMs;
            sum.hasOffset = true;
        }
    }
    std::vector<StartupProgram> programs;
    for (auto& [name, sum] : byName) programs.push_back(std::move(sum.program));
    std::sort(programs.begin(), programs.end(), SlowerThan);
    return programs;
}

std::int64_t WindowsAndServicesMs(std::uint64_t systemBusy100ns,
                                  const std::vector<WatchedProcess>& processes,
                                  std::uint64_t firstReadingUtc) {
    std::int64_t attributed = 0;
    for (const WatchedProcess& process : processes) {
        attributed += SpentSince(process, firstReadingUtc).cpu100ns;
    }
    const std::int64_t rest = static_cast<std::int64_t>(systemBusy100ns) - attributed;
    return rest > 0 ? rest / kTicksPerMs : 0;
}

}  // namespace vossel
