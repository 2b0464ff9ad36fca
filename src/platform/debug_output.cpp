#include "platform/debug_output.h"

#include <windows.h>

#include <string>

namespace vossel::platform {

void Report(std::wstring_view line) {
    std::wstring text = L"Vossel: ";
    text.append(line);
    ::OutputDebugStringW(text.c_str());
}

}  // namespace vossel::platform
