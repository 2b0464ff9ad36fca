// What the soak, monkey and fault tests share: the Run value that the check box writes, and
// counts of the kernel and GDI objects that a process holds.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace vossel::e2e::stress {

// Beyond this after its first line, the program has not ended by itself.
inline constexpr double kHangSeconds = 16.0;

// Client points of the other labels at 96 dpi (their centres).
inline constexpr POINT kPromptLabel{66, 74};
inline constexpr POINT kDurationLabel{184, 80};
inline constexpr POINT kSecondsLabel{240, 72};

// ---- the Run value ----

inline constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// The Run value's data in the view that a 64- or 32-bit program writes to, or nothing.
inline std::optional<std::wstring> RunValue(const wchar_t* name, REGSAM view,
                                           HKEY root = HKEY_LOCAL_MACHINE) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return std::wstring(data);
}

// Either scope: an exe in a user's folder writes HKEY_CURRENT_USER.
inline std::optional<std::wstring> RunValueAnyView(const wchar_t* name) {
    if (auto value = RunValue(name, 0, HKEY_CURRENT_USER)) return value;
    for (REGSAM view : kViews) {
        if (auto value = RunValue(name, view)) return value;
    }
    return std::nullopt;
}

inline void DeleteRunValue(const wchar_t* name) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, name);
    for (REGSAM view : kViews) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE | view, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, name);
            RegCloseKey(key);
        }
    }
}

// Removes the value "Vossel" before and after a launch that may tick the box, on every way out.
class RunValueCleanup {
public:
    RunValueCleanup() { DeleteRunValue(L"Vossel"); }
    ~RunValueCleanup() { DeleteRunValue(L"Vossel"); }
    RunValueCleanup(const RunValueCleanup&) = delete;
    RunValueCleanup& operator=(const RunValueCleanup&) = delete;
};

// ---- object counts ----

// SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX, as SystemExtendedHandleInformation (64) returns it.
struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT backTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};

// The process's kernel handles, counted in the system-wide table; nothing if it cannot be read.
// GetProcessHandleCount answers 0 under Wine, so it would prove nothing.
inline std::optional<size_t> KernelHandleCount(DWORD processId) {
    constexpr auto kExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
    constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(kExtendedHandleInformation, buffer.data(),
                                                         static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status < 0) return std::nullopt;
        ULONG_PTR count = 0;
        std::memcpy(&count, buffer.data(), sizeof count);
        const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + 2 * sizeof(ULONG_PTR));
        size_t mine = 0;
        for (ULONG_PTR i = 0; i < count; ++i) mine += entries[i].processId == processId ? 1 : 0;
        return mine;
    }
    return std::nullopt;
}

// The process's GDI objects. Wine keeps them in a per-process handle table whose address is in the
// PEB (GdiSharedHandleTable); an entry is in use while its type byte is not zero. GetGuiResources
// answers 0 under Wine, so the table is read from outside instead.
inline std::optional<size_t> GdiObjectCount(DWORD processId) {
    constexpr size_t kEntrySize = 24;    // GDI_HANDLE_ENTRY: 64-bit object, owner, unique, type...
    constexpr size_t kEntries = 0x10000;
    constexpr size_t kTypeOffset = 14;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return std::nullopt;
    std::vector<ULONG_PTR> tables;
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) >= 0 &&
        basic.PebBaseAddress) {
        ULONG_PTR table = 0;
        if (ReadProcessMemory(process, reinterpret_cast<const char*>(basic.PebBaseAddress) + 0xF8, &table,
                              sizeof table, nullptr)) {
            tables.push_back(table);
        }
    }
    ULONG_PTR peb32 = 0;
    if (NtQueryInformationProcess(process, ProcessWow64Information, &peb32, sizeof peb32, nullptr) >= 0 &&
        peb32) {
        ULONG table = 0;
        if (ReadProcessMemory(process, reinterpret_cast<const void*>(peb32 + 0x94), &table, sizeof table, nullptr)) {
            tables.insert(tables.begin(), table);
        }
    }
    std::optional<size_t> result;
    std::vector<unsigned char> entries(kEntries * kEntrySize);
    for (ULONG_PTR table : tables) {
        if (!table) continue;
        SIZE_T got = 0;
        if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(), entries.size(), &got) ||
            got != entries.size()) {
            continue;
        }
        size_t used = 0;
        for (size_t i = 0; i < kEntries; ++i) used += entries[i * kEntrySize + kTypeOffset] != 0 ? 1 : 0;
        if (used > 0) {
            result = used;
            break;
        }
    }
    CloseHandle(process);
    return result;
}

}  // namespace vossel::e2e::stress
