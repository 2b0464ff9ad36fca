#pragma once
// System functions bound by their exported names at their first call. A name that the library does
// not export raises the run-time error at that call, not at start-up; Find() is for the optional
// ones, where an older Windows has a fallback instead.
#include <windows.h>

#include <utility>

namespace vossel::platform {

// Looks the export up, loading the library from the system directory only. Throws RuntimeError
// (48 when the library cannot be loaded, 453 when the name is not exported).
FARPROC ResolveExport(const wchar_t* library, const char* name);
// The same lookup for a function that older Windows versions lack: null instead of an error.
FARPROC FindExport(const wchar_t* library, const char* name) noexcept;

template <typename Function>
class LateBound {
  public:
    constexpr LateBound(const wchar_t* library, const char* name)
        : library_(library), name_(name) {}
    LateBound(const LateBound&) = delete;
    LateBound& operator=(const LateBound&) = delete;

    Function Get() {
        if (!address_) {
            // Through void*: FARPROC's own signature says nothing about the real one.
            address_ =
                reinterpret_cast<Function>(reinterpret_cast<void*>(ResolveExport(library_, name_)));
        }
        return address_;
    }

    // The function, or nullptr when this Windows lacks it; the answer is kept either way.
    Function Find() {
        if (!address_ && !absent_) {
            address_ =
                reinterpret_cast<Function>(reinterpret_cast<void*>(FindExport(library_, name_)));
            absent_ = address_ == nullptr;
        }
        return address_;
    }

    template <typename... Args>
    auto operator()(Args&&... args) {
        return Get()(std::forward<Args>(args)...);
    }

    bool IsBound() const { return address_ != nullptr; }

  private:
    const wchar_t* library_;
    const char* name_;
    Function address_ = nullptr;
    bool absent_ = false;
};

}  // namespace vossel::platform
