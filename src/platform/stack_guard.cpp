// The stack protector's guard value and its failure, in place of GCC's own (libssp). libssp seeds
// the guard through CryptAcquireContext, which loads bcrypt, crypt32 and rsaenh at start-up and
// unloads them again: megabytes of peak working set for eight bytes. The seed here is the one the
// Microsoft compiler's /GS cookie takes: the clocks and the ids, mixed with where the system placed
// the image and the stack, and no library. Defining both names keeps libssp's object out of the
// link altogether.
#include <windows.h>

#include <cstdint>

extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" {

void* __stack_chk_guard = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x2F9E6A1DC3B54807ULL));

[[noreturn]] void __stack_chk_fail() {
    // What /GS does on a broken cookie: end at once, past every handler of the process's own, with
    // the status that Windows Error Reporting shows for an overrun.
    EXCEPTION_RECORD record{};
    record.ExceptionCode = STATUS_STACK_BUFFER_OVERRUN;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    ::RaiseFailFastException(&record, nullptr, FAIL_FAST_GENERATE_EXCEPTION_ADDRESS);
    ::TerminateProcess(::GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

}  // extern "C"

namespace {

std::uint64_t Mix(std::uint64_t value) {
    value ^= value >> 30;
    value *= 0xBF58476D1CE4E5B9ULL;
    value ^= value >> 27;
    value *= 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

// Before every other constructor: a guarded function that is running while the value changes
// would see its own frame as broken. Nothing guarded is on the stack yet at this point (only the
// C runtime's start-up), and this function itself is not guarded.
__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    const std::uintptr_t stackAddress = reinterpret_cast<std::uintptr_t>(&now);
    std::uint64_t seed = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    seed = Mix(seed ^ static_cast<std::uint64_t>(counter.QuadPart));
    seed = Mix(seed ^ ((std::uint64_t{::GetCurrentProcessId()} << 32) | ::GetCurrentThreadId()));
    seed = Mix(seed ^ ::GetTickCount64() ^ (std::uint64_t{stackAddress} << 12));
    seed = Mix(seed ^ reinterpret_cast<std::uintptr_t>(&__ImageBase));
    // A zero byte at the bottom, as libssp's: a string copy that runs over stops at it.
    __stack_chk_guard = reinterpret_cast<void*>(static_cast<std::uintptr_t>(seed) &
                                                ~static_cast<std::uintptr_t>(0xFF));
}

}  // namespace
