#pragma once
// The system functions that the program calls directly, each bound by name at its first call.
// GetWindowLongA and SetWindowLongA keep their single-byte forms on purpose.
#include <windows.h>
#include <tlhelp32.h>

#include "platform/late_bound.h"
#include "platform/process_entry.h"

namespace vossel::platform::api {

#ifdef VOSSEL_FAULT_MISSING_EXPORT
// A test-only build: user32 has no such export, so the first call reports error 453.
inline constexpr char kSetWindowPosExport[] = "SetWindowPosMissingExport";
#else
inline constexpr char kSetWindowPosExport[] = "SetWindowPos";
#endif
inline LateBound<decltype(&::SetWindowPos)> SetWindowPos{L"user32.dll", kSetWindowPosExport};
inline LateBound<decltype(&::SetLayeredWindowAttributes)> SetLayeredWindowAttributes{
    L"user32.dll", "SetLayeredWindowAttributes"};
inline LateBound<decltype(&::GetWindowLongA)> GetWindowLongA{L"user32.dll", "GetWindowLongA"};
inline LateBound<decltype(&::SetWindowLongA)> SetWindowLongA{L"user32.dll", "SetWindowLongA"};

inline LateBound<decltype(&::CreateToolhelp32Snapshot)> CreateToolhelp32Snapshot{
    L"kernel32.dll", "CreateToolhelp32Snapshot"};
// The single-byte walk, named without a suffix in kernel32; the header maps the plain names to the
// wide forms under UNICODE, so the type is spelled out here.
using ProcessWalkFunction = BOOL(WINAPI*)(HANDLE snapshot, ProcessEntry* entry);
inline LateBound<ProcessWalkFunction> Process32First{L"kernel32.dll", "Process32First"};
inline LateBound<ProcessWalkFunction> Process32Next{L"kernel32.dll", "Process32Next"};
inline LateBound<decltype(&::CloseHandle)> CloseHandle{L"kernel32.dll", "CloseHandle"};
inline LateBound<decltype(&::OpenProcess)> OpenProcess{L"kernel32.dll", "OpenProcess"};
inline LateBound<decltype(&::GetProcessTimes)> GetProcessTimes{L"kernel32.dll", "GetProcessTimes"};
inline LateBound<decltype(&::GetTickCount64)> GetTickCount64{L"kernel32.dll", "GetTickCount64"};
inline LateBound<decltype(&::GetSystemTime)> GetSystemTime{L"kernel32.dll", "GetSystemTime"};
inline LateBound<decltype(&::FileTimeToSystemTime)> FileTimeToSystemTime{L"kernel32.dll",
                                                                         "FileTimeToSystemTime"};

}  // namespace vossel::platform::api
