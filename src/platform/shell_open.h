#pragma once
// Opening a URI or a program as Explorer's "open" does, and telling the Windows build.
#include <windows.h>

#include <cstdint>
#include <string>

namespace vossel::platform {

// Whether Windows' build number is at least `build`. The manifest names Windows 10 as supported,
// so the answer is the real build, not Windows 8's.
bool WindowsBuildAtLeast(unsigned long build);

// Opens target on a thread of its own, since the shell may take a while to hand a URI to its app,
// then posts `message` to `window` with wparam 0 when opened, else the error.
void OpenWithShellInBackground(const std::wstring& target, HWND window, UINT message);

}  // namespace vossel::platform
