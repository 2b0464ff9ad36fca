#pragma once
// The system functions that the program calls directly, each bound by name at its first call.
// GetWindowLongA and SetWindowLongA keep their single-byte forms on purpose.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
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
using ProcessWalkFunction = BOOL(WINAPI*)(HANDLE snapshot, ProcessEntry* entry);
inline LateBound<ProcessWalkFunction> Process32First{L"kernel32.dll", "Process32FirstW"};
inline LateBound<ProcessWalkFunction> Process32Next{L"kernel32.dll", "Process32NextW"};
inline LateBound<decltype(&::CloseHandle)> CloseHandle{L"kernel32.dll", "CloseHandle"};
inline LateBound<decltype(&::OpenProcess)> OpenProcess{L"kernel32.dll", "OpenProcess"};
inline LateBound<decltype(&::GetProcessTimes)> GetProcessTimes{L"kernel32.dll", "GetProcessTimes"};
inline LateBound<decltype(&::GetTickCount64)> GetTickCount64{L"kernel32.dll", "GetTickCount64"};
inline LateBound<decltype(&::GetSystemTimeAsFileTime)> GetSystemTimeAsFileTime{
    L"kernel32.dll", "GetSystemTimeAsFileTime"};
inline LateBound<decltype(&::GetWindowThreadProcessId)> GetWindowThreadProcessId{
    L"user32.dll", "GetWindowThreadProcessId"};
inline LateBound<decltype(&::ProcessIdToSessionId)> ProcessIdToSessionId{L"kernel32.dll",
                                                                         "ProcessIdToSessionId"};

// The history window's way to Windows' start-up apps.
inline LateBound<decltype(&::ShellExecuteExW)> ShellExecuteExW{L"shell32.dll", "ShellExecuteExW"};
inline LateBound<decltype(&::VerifyVersionInfoW)> VerifyVersionInfoW{L"kernel32.dll",
                                                                     "VerifyVersionInfoW"};
inline LateBound<decltype(&::VerSetConditionMask)> VerSetConditionMask{L"kernel32.dll",
                                                                       "VerSetConditionMask"};

// The start record. A missing one is a failed record, never the end of the program.
inline LateBound<decltype(&::RegisterEventSourceW)> RegisterEventSourceW{L"advapi32.dll",
                                                                         "RegisterEventSourceW"};
inline LateBound<decltype(&::ReportEventW)> ReportEventW{L"advapi32.dll", "ReportEventW"};
inline LateBound<decltype(&::DeregisterEventSource)> DeregisterEventSource{
    L"advapi32.dll", "DeregisterEventSource"};
// COM and automation, which the first paint does not need: the settings window's shell automation
// object and the accessible object use them later, so start-up does not load ole32 and oleaut32.
inline LateBound<decltype(&::CoInitializeEx)> CoInitializeEx{L"ole32.dll", "CoInitializeEx"};
inline LateBound<decltype(&::CoUninitialize)> CoUninitialize{L"ole32.dll", "CoUninitialize"};
inline LateBound<decltype(&::CLSIDFromProgID)> CLSIDFromProgID{L"ole32.dll", "CLSIDFromProgID"};
inline LateBound<decltype(&::CoCreateInstance)> CoCreateInstance{L"ole32.dll", "CoCreateInstance"};
inline LateBound<decltype(&::CoDisconnectObject)> CoDisconnectObject{L"ole32.dll",
                                                                     "CoDisconnectObject"};
inline LateBound<decltype(&::CoTaskMemFree)> CoTaskMemFree{L"ole32.dll", "CoTaskMemFree"};
inline LateBound<decltype(&::SysAllocStringLen)> SysAllocStringLen{L"oleaut32.dll",
                                                                   "SysAllocStringLen"};
inline LateBound<decltype(&::SysFreeString)> SysFreeString{L"oleaut32.dll", "SysFreeString"};
inline LateBound<decltype(&::SysStringLen)> SysStringLen{L"oleaut32.dll", "SysStringLen"};
inline LateBound<decltype(&::VariantInit)> VariantInit{L"oleaut32.dll", "VariantInit"};
inline LateBound<decltype(&::VariantClear)> VariantClear{L"oleaut32.dll", "VariantClear"};

// Optional: bound with Find(), each with the fallback its caller takes where it is absent.
// Absent: the shell is looked for among the processes of this session, as with no shell window.
inline LateBound<decltype(&::GetShellWindow)> GetShellWindow{L"user32.dll", "GetShellWindow"};
// Windows 10 and later only; looked for in kernel32, then in KernelBase, which implements it.
// Absent from both: GetTickCount64 x 10 000, the same biased clock in milliseconds.
using QueryInterruptTimeFunction = VOID(WINAPI*)(PULONGLONG interruptTime);
inline LateBound<QueryInterruptTimeFunction> QueryInterruptTime{L"kernel32.dll",
                                                                "QueryInterruptTime"};
inline LateBound<QueryInterruptTimeFunction> QueryInterruptTimeKernelBase{L"kernelbase.dll",
                                                                          "QueryInterruptTime"};
// Windows 7 and later. Absent: the suspended time is unknown, and the start is not measured.
using QueryUnbiasedInterruptTimeFunction = BOOL(WINAPI*)(PULONGLONG unbiasedTime);
inline LateBound<QueryUnbiasedInterruptTimeFunction> QueryUnbiasedInterruptTime{
    L"kernel32.dll", "QueryUnbiasedInterruptTime"};
// Absent (or failing): no wake time, so a start after a sleep or hibernation is not measured.
using CallNtPowerInformationFunction = LONG(WINAPI*)(POWER_INFORMATION_LEVEL level, PVOID input,
                                                     ULONG inputLength, PVOID output,
                                                     ULONG outputLength);
inline LateBound<CallNtPowerInformationFunction> CallNtPowerInformation{L"powrprof.dll",
                                                                        "CallNtPowerInformation"};

}  // namespace vossel::platform::api
