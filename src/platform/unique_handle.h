#pragma once
// Owners for the raw Windows handles the program takes: each is closed exactly once, on every path.
#include <windows.h>

#include <utility>

namespace vossel::platform {

template <typename Handle, typename Close, Handle Invalid = Handle{}>
class UniqueAny {
  public:
    UniqueAny() = default;
    explicit UniqueAny(Handle handle) : handle_(handle) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : handle_(std::exchange(other.handle_, Invalid)) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, Invalid));
        return *this;
    }
    ~UniqueAny() { Reset(); }

    void Reset(Handle handle = Invalid) {
        if (handle_ != Invalid) Close{}(handle_);
        handle_ = handle;
    }
    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }

  private:
    Handle handle_ = Invalid;
};

struct CloseKernelHandle {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
struct CloseGdiObject {
    void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
};
struct DeleteMemoryDc {
    void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct DestroyIconHandle {
    void operator()(HICON icon) const { ::DestroyIcon(icon); }
};
struct RemoveMemoryFont {
    void operator()(HANDLE font) const { ::RemoveFontMemResourceEx(font); }
};

// Processes, tokens and snapshots, all closed with CloseHandle.
using UniqueHandle = UniqueAny<HANDLE, CloseKernelHandle>;
using UniqueFont = UniqueAny<HFONT, CloseGdiObject>;
using UniqueBitmap = UniqueAny<HBITMAP, CloseGdiObject>;
using UniqueMemoryDc = UniqueAny<HDC, DeleteMemoryDc>;
using UniqueIcon = UniqueAny<HICON, DestroyIconHandle>;
using UniqueMemoryFont = UniqueAny<HANDLE, RemoveMemoryFont>;

// Selects an object into a DC for a scope and puts the old one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() { ::SelectObject(dc_, old_); }

  private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace vossel::platform
