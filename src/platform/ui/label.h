#pragma once
// A windowless label: its owner window draws it (transparent background, left-aligned text that
// wraps only at spaces and is clipped to the box) and routes clicks to it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/twips.h"
#include "platform/unique_handle.h"

namespace vossel::platform {

struct FontSpec {
    std::wstring face;
    int centipoints = 0;  // 10.5 pt = 1050
    int weight = FW_NORMAL;
    int charset = DEFAULT_CHARSET;
    // When set, the height shrinks until this sample fits the box's width (for a face whose
    // glyphs are wider than the one the design was drawn with).
    std::wstring fitSample;
    // When above zero, the caption itself must fit this width (twips) too: a wider one is drawn
    // smaller, in the same proportions and on the same baseline as the height above.
    int captionRoomTwips = 0;
};

class Label {
  public:
    Label(TwipRect box, std::wstring caption, int colorIndex, FontSpec font);
    Label(const Label&) = delete;
    Label& operator=(const Label&) = delete;

    // Redraws the label when the text really changes; returns whether it did.
    bool SetCaption(std::wstring caption);

    // Raised by a click inside the box; a label without a handler takes no clicks.
    std::function<void()> Click;

    // What a screen reader reads while the caption is empty.
    void SetEmptyName(std::wstring name) { emptyName_ = std::move(name); }
    const std::wstring& AccessibleName() const { return caption_.empty() ? emptyName_ : caption_; }

    // For the owner window. CaptionChanged is raised when the text of a realized label changes.
    std::function<void()> CaptionChanged;
    const RECT& PixelBox() const { return pixelBox_; }
    void Realize(HWND owner, int dpi);
    void Unrealize();
    bool Contains(POINT p) const { return ::PtInRect(&pixelBox_, p) != FALSE; }
    void Draw(HDC dc) const;
    void SetPaintClip(const RECT* paintRect) { paintRect_ = paintRect; }

  private:
    // Picks the font for the current caption: the design's, or a smaller one that fits the room.
    void FitCaption();

    TwipRect box_;
    std::wstring caption_;
    int colorIndex_;
    FontSpec fontSpec_;
    std::wstring emptyName_;
    HWND owner_ = nullptr;
    RECT pixelBox_{};
    UniqueFont font_;
    int dpi_ = 0;
    int designHeight_ = 0;
    int designAscent_ = 0;
    int fittedHeight_ = 0;
    int baselineShift_ = 0;  // pixels the text moves down to keep the design's baseline
    const RECT* paintRect_ = nullptr;
};

}  // namespace vossel::platform
