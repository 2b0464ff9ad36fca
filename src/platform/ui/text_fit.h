#pragma once
// How large a label's text may be drawn so that it stays inside its room. Platform-free so the
// unit tests can call it.
#include <functional>

namespace vossel::platform {

// The largest pixel height, from designHeight down to minimumHeight, at which the text is no
// wider than room; widthAt(height) measures it in the face at that height. The design's height
// whenever the text fits it, so a text that fits is drawn as designed; minimumHeight when even
// that is too wide.
inline int FittingHeight(int designHeight, int minimumHeight, int room,
                         const std::function<int(int height)>& widthAt) {
    int height = designHeight;
    while (height > minimumHeight && widthAt(height) > room) --height;
    return height;
}

}  // namespace vossel::platform
