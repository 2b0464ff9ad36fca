#pragma once
// Line breaking for the labels. A break is a space and nothing else: a run of text without spaces
// is never split, only clipped at its box (so "您本次开机共用:" keeps its colon on the same line).
// Platform-free: the unit tests call it with a fake measure.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vossel::platform {

// measure(text) gives the width of a run in pixels.
inline std::vector<std::wstring> WrapAtSpaces(
    std::wstring_view text, int width, const std::function<int(std::wstring_view)>& measure) {
    std::vector<std::wstring> lines;
    std::wstring line;
    bool lineHasWord = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t next = text.find(L' ', pos);
        if (next == std::wstring_view::npos) next = text.size();
        const std::wstring_view word = text.substr(pos, next - pos);
        std::wstring candidate = line;
        if (lineHasWord) candidate.push_back(L' ');
        candidate.append(word);
        if (lineHasWord && measure(candidate) > width) {
            lines.push_back(line);
            line.assign(word);
        } else {
            line = std::move(candidate);
        }
        lineHasWord = true;
        pos = next + 1;
    }
    if (!text.empty()) lines.push_back(line);
    return lines;
}

}  // namespace vossel::platform
