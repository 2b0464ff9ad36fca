#pragma once
// Faces: whether one is installed, and a face shipped inside the exe for this process only.
#include <windows.h>

#include <string>

#include "platform/unique_handle.h"

namespace vossel::platform {

bool IsFontFamilyInstalled(const std::wstring& family);

// Registers the font file stored as an RCDATA resource privately for this process (nothing is
// installed on the machine). The registration lasts as long as the returned owner.
UniqueMemoryFont RegisterEmbeddedFont(int resourceId);

}  // namespace vossel::platform
