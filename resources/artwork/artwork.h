// Draws Vossel's main-window picture and program icon and encodes them in the Windows formats.
// Only integer arithmetic and the IEEE basic operations (+ - * / sqrt) are used, so every build
// produces the same bytes and the committed files can be checked against a fresh drawing.
#ifndef VOSSEL_ARTWORK_H
#define VOSSEL_ARTWORK_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vossel::artwork {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Rows from top to bottom, pixels from left to right.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;

    const Rgb& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

constexpr int kPictureWidth = 266;
constexpr int kPictureHeight = 163;
constexpr int kIconSize = 32;
constexpr int kPixelsPerMetre = 3780;  // 96 dots per inch

Image DrawMainPicture();
Image DrawIcon();

// A complete .bmp file: file header, BITMAPINFOHEADER, 24-bit rows bottom-up, no colour table.
std::vector<std::uint8_t> EncodeBmpFile(const Image& image);

// The body of an RT_ICON resource: BITMAPINFOHEADER of double height, the 24-bit colour rows and
// an all-zero AND mask (every pixel opaque).
std::vector<std::uint8_t> EncodeIconImage(const Image& image);

// A one-image .ico file holding EncodeIconImage(image).
std::vector<std::uint8_t> EncodeIcoFile(const Image& image);

}  // namespace vossel::artwork

#endif  // VOSSEL_ARTWORK_H
