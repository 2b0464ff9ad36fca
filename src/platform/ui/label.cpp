#include "platform/ui/label.h"

#include "platform/ui/text_fit.h"
#include "platform/ui/word_wrap.h"

namespace vossel::platform {
namespace {

UniqueFont MakeFont(const FontSpec& font, int pixelHeight) {
    LOGFONTW lf{};
    lf.lfHeight = -pixelHeight;
    lf.lfWeight = font.weight;
    lf.lfCharSet = static_cast<BYTE>(font.charset);
    lf.lfQuality = CLEARTYPE_QUALITY;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lstrcpynW(lf.lfFaceName, font.face.c_str(), LF_FACESIZE);
    return UniqueFont(::CreateFontIndirectW(&lf));
}

int TextWidth(HDC dc, std::wstring_view text) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

struct FaceMeasure {
    int width = 0;
    int ascent = 0;
};

FaceMeasure Measure(HDC dc, HFONT font, std::wstring_view text) {
    SelectedObject select(dc, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    return {TextWidth(dc, text), metrics.tmAscent};
}

// Below this a seven-segment digit is no longer readable.
constexpr int kSmallestFittedHeight = 6;

}  // namespace

Label::Label(TwipRect box, std::wstring caption, int colorIndex, FontSpec font)
    : box_(box),
      caption_(std::move(caption)),
      colorIndex_(colorIndex),
      fontSpec_(std::move(font)) {}

bool Label::SetCaption(std::wstring caption) {
    if (caption == caption_) return false;
    caption_ = std::move(caption);
    if (!owner_) return true;
    if (fontSpec_.captionRoomTwips > 0) FitCaption();
    if (CaptionChanged) CaptionChanged();
    // Inside a paint that already covers the whole box, the labels are drawn after the handler,
    // so the new text shows without asking for another paint (which would measure again).
    RECT inside{};
    if (paintRect_ && ::IntersectRect(&inside, paintRect_, &pixelBox_) &&
        ::EqualRect(&inside, &pixelBox_)) {
        return true;
    }
    ::InvalidateRect(owner_, &pixelBox_, FALSE);
    return true;
}

void Label::Realize(HWND owner, int dpi) {
    owner_ = owner;
    dpi_ = dpi;
    const PixelRect px = TwipsToPixels(box_, dpi);
    pixelBox_ = {px.left, px.top, px.left + px.width, px.top + px.height};
    int height = PointsToPixels(fontSpec_.centipoints, dpi);
    font_ = MakeFont(fontSpec_, height);
    if (!fontSpec_.fitSample.empty()) {
        HDC dc = ::GetDC(owner);
        for (; height > 6; --height) {
            int width = 0;
            {
                SelectedObject select(dc, font_.Get());
                width = TextWidth(dc, fontSpec_.fitSample);
            }
            // Only now, with the font deselected, may it be replaced (and so deleted).
            if (width <= px.width) break;
            font_ = MakeFont(fontSpec_, height - 1);
        }
        ::ReleaseDC(owner, dc);
    }
    designHeight_ = height;
    fittedHeight_ = height;
    baselineShift_ = 0;
    if (fontSpec_.captionRoomTwips > 0) {
        HDC dc = ::GetDC(owner);
        designAscent_ = Measure(dc, font_.Get(), L"").ascent;
        ::ReleaseDC(owner, dc);
        FitCaption();
    }
}

void Label::FitCaption() {
    const int room = TwipsToPixels(fontSpec_.captionRoomTwips, dpi_);
    HDC dc = ::GetDC(owner_);
    const auto widthAt = [&](int height) {
        if (height == fittedHeight_) return Measure(dc, font_.Get(), caption_).width;
        UniqueFont trial = MakeFont(fontSpec_, height);
        return Measure(dc, trial.Get(), caption_).width;
    };
    const int height = FittingHeight(designHeight_, kSmallestFittedHeight, room, widthAt);
    if (height != fittedHeight_) {
        font_ = MakeFont(fontSpec_, height);
        fittedHeight_ = height;
    }
    baselineShift_ = designAscent_ - Measure(dc, font_.Get(), L"").ascent;
    ::ReleaseDC(owner_, dc);
}

void Label::Unrealize() {
    owner_ = nullptr;
    font_.Reset();
}

void Label::Draw(HDC dc) const {
    if (caption_.empty() || !font_) return;
    SelectedObject select(dc, font_.Get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(colorIndex_));
    ::SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const int width = pixelBox_.right - pixelBox_.left;
    const auto lines =
        WrapAtSpaces(caption_, width, [dc](std::wstring_view run) { return TextWidth(dc, run); });
    int y = pixelBox_.top + baselineShift_;
    for (const auto& line : lines) {
        if (y >= pixelBox_.bottom) break;
        ::ExtTextOutW(dc, pixelBox_.left, y, ETO_CLIPPED, &pixelBox_, line.c_str(),
                      static_cast<UINT>(line.size()), nullptr);
        y += metrics.tmHeight;
    }
}

}  // namespace vossel::platform
