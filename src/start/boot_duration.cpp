#include "start/boot_duration.h"

#include "platform/number_text.h"

namespace vossel {

bool HoldsShellName(std::string_view exeName) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t at = 0; at + ShellProcessName.size() <= exeName.size(); ++at) {
        std::size_t i = 0;
        while (i < ShellProcessName.size() && lower(exeName[at + i]) == ShellProcessName[i]) ++i;
        if (i == ShellProcessName.size()) return true;
    }
    return false;
}

void ShellProcessMatcher::Examine(std::uint32_t id, std::string_view exeName) {
    if (HoldsShellName(exeName) && (!inCurrentSession_ || inCurrentSession_(id))) {
        processId = id;
    }
}

std::wstring DurationText(std::int64_t milliseconds, std::wstring_view decimalSeparator) {
    // Unsigned magnitude, so that even the most negative value has one.
    const std::uint64_t magnitude = milliseconds < 0 ? 0 - static_cast<std::uint64_t>(milliseconds)
                                                     : static_cast<std::uint64_t>(milliseconds);
    std::wstring text = milliseconds < 0 ? L"-" : L"";
    text += platform::NumberText(magnitude / 1000);
    std::uint64_t fraction = magnitude % 1000;
    if (fraction != 0) {
        int digits = 3;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        text += decimalSeparator;
        text += platform::NumberText(fraction, digits);
    }
    return text;
}

}  // namespace vossel
