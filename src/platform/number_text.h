#pragma once
// Whole numbers as text, for captions, records and diagnostic lines. Platform-free.
//
// std::to_wstring and swprintf format through the C library's printf, which brings all of its
// formatted output (floating point included) into the exe for a few integers; std::to_chars
// writes the digits without it.

#include <charconv>
#include <concepts>
#include <cstdint>
#include <string>

namespace vossel::platform {

// `value` in `base` (lower-case letters above 9), with zeros after any sign up to `minimumDigits`.
template <std::integral Number>
std::wstring NumberText(Number value, int minimumDigits = 1, int base = 10) {
    char digits[8 * sizeof(Number) + 1];
    const char* end = std::to_chars(digits, digits + sizeof digits, value, base).ptr;
    const char* first = digits;
    std::wstring text;
    if (first != end && *first == '-') {
        text += L'-';
        ++first;
    }
    for (int width = static_cast<int>(end - first); width < minimumDigits; ++width) text += L'0';
    text.append(first, end);  // ASCII, the same code points in UTF-16
    return text;
}

// "0x" and eight upper-case hexadecimal digits: how Windows writes an HRESULT or an error code.
inline std::wstring HexCode(std::uint32_t value) {
    std::wstring text = L"0x" + NumberText(value, 8, 16);
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'f') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

}  // namespace vossel::platform
