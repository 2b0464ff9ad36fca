#pragma once
#include <windows.h>

#include <cstddef>

namespace vossel::platform {

// The record the walk fills: PROCESSENTRY32's leading fields in the platform's own layout, with
// the name field widened to 1024 bytes. Only the id and the name are read.
struct ProcessEntry {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    ULONG_PTR th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    char szExeFile[1024];
};
#if !defined(_WIN64)
static_assert(sizeof(ProcessEntry) == 1060, "nine 32-bit fields and a 1024-byte name");
#endif
static_assert(offsetof(ProcessEntry, th32ProcessID) == 8);

}  // namespace vossel::platform
