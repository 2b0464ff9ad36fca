#include "platform/late_bound.h"

#include <string>

#include "platform/runtime_error.h"
#include "platform/texts.h"

namespace vossel::platform {
namespace {

HMODULE LoadSystemLibrary(const wchar_t* library) {
    if (HMODULE loaded = ::GetModuleHandleW(library)) return loaded;
#ifdef VOSSEL_FAULT_NO_DLL_RESTRICTION  // test-only build: the planted-DLL test's control
    return ::LoadLibraryW(library);
#else
    // Never from the program's own folder: a planted DLL there must not be picked up.
    return ::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
#endif
}

}  // namespace

FARPROC ResolveExport(const wchar_t* library, const char* name) {
    HMODULE module = LoadSystemLibrary(library);
    if (!module) {
        throw RuntimeError(kErrorDllNotFound, Text(IDS_ERROR_DLL, {library}));
    }
    FARPROC address = ::GetProcAddress(module, name);
    if (!address) {
        throw RuntimeError(kErrorEntryPointNotFound,
                           Text(IDS_ERROR_ENTRY_POINT, {WidenAscii(name), library}));
    }
    return address;
}

FARPROC FindExport(const wchar_t* library, const char* name) noexcept {
    if (HMODULE loaded = ::GetModuleHandleW(library)) return ::GetProcAddress(loaded, name);
    HMODULE module = LoadSystemLibrary(library);
    if (!module) return nullptr;
    FARPROC address = ::GetProcAddress(module, name);
    // A Windows without the function: the library, loaded only to ask, goes again with all that
    // it brought, rather than staying for the rest of the run.
    if (!address) ::FreeLibrary(module);
    return address;
}

}  // namespace vossel::platform
