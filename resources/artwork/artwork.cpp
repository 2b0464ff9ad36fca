#include "artwork.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace vossel::artwork {

namespace {

// Colour arithmetic is done in doubles on a 0..255 scale and rounded once per pixel. std::sqrt is
// correctly rounded by IEEE 754; the transcendental functions of the C library are not, so none
// of them is used.
struct Color {
    double r;
    double g;
    double b;
};

constexpr Color kWhite{255, 255, 255};

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

double Smoothstep(double edge0, double edge1, double v) {
    const double t = Clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

Color Mix(Color a, Color b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Color Add(Color a, Color b, double t) { return {a.r + b.r * t, a.g + b.g * t, a.b + b.b * t}; }

// atan2(x, y) measured from the downward axis, good to about 0.1 degree.
double AngleFromDown(double x, double y) {
    constexpr double kQuarterPi = 0.78539816339744831;
    constexpr double kHalfPi = 1.5707963267948966;
    constexpr double kPi = 3.1415926535897932;
    const double ax = std::abs(x);
    const double ay = std::abs(y);
    if (ax == 0 && ay == 0) return 0;
    const double z = std::min(ax, ay) / std::max(ax, ay);
    double angle = kQuarterPi * z - z * (z - 1) * (0.2447 + 0.0663 * z);
    if (ax > ay) angle = kHalfPi - angle;
    if (y < 0) angle = kPi - angle;
    return x < 0 ? -angle : angle;
}

// Signed distance, roughly, from (x, y) to the ellipse with centre (cx, cy) and radii rx, ry.
double EllipseDistance(double x, double y, double cx, double cy, double rx, double ry) {
    const double dx = x - cx;
    const double dy = y - cy;
    const double g = dx * dx / (rx * rx) + dy * dy / (ry * ry) - 1;
    const double gradient =
        2 * std::sqrt(dx * dx / (rx * rx * rx * rx) + dy * dy / (ry * ry * ry * ry));
    return gradient == 0 ? -std::min(rx, ry) : g / gradient;
}

// Ellipse-normalised radius: 0 at the centre, 1 on the rim.
double EllipseRadius(double x, double y, double cx, double cy, double rx, double ry) {
    const double dx = (x - cx) / rx;
    const double dy = (y - cy) / ry;
    return std::sqrt(dx * dx + dy * dy);
}

double PointDistance(double x, double y, double px, double py) {
    const double dx = x - px;
    const double dy = y - py;
    return std::sqrt(dx * dx + dy * dy);
}

double SegmentDistance(double x, double y, double ax, double ay, double bx, double by,
                       double* along = nullptr) {
    const double ux = bx - ax;
    const double uy = by - ay;
    const double t = Clamp01(((x - ax) * ux + (y - ay) * uy) / (ux * ux + uy * uy));
    if (along != nullptr) *along = t;
    const double dx = x - (ax + ux * t);
    const double dy = y - (ay + uy * t);
    return std::sqrt(dx * dx + dy * dy);
}

// Rounded-rectangle signed distance: negative inside.
double RoundedBoxDistance(double x, double y, double left, double top, double right, double bottom,
                          double radius) {
    const double cx = (left + right) / 2;
    const double cy = (top + bottom) / 2;
    const double qx = std::abs(x - cx) - ((right - left) / 2 - radius);
    const double qy = std::abs(y - cy) - ((bottom - top) / 2 - radius);
    const double ox = std::max(qx, 0.0);
    const double oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

// A thin line of the given width whose edges fall off over one pixel, plus a faint halo.
double LineIntensity(double distance, double width, double halo) {
    const double core = 1 - Smoothstep(width / 2 - 0.5, width / 2 + 0.5, std::abs(distance));
    const double d = distance / halo;
    return std::max(core, 0.35 / (1 + d * d) - 0.02);
}

std::uint8_t ToByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
}

// Draws an image by averaging samples x samples points inside each pixel.
template <typename Shader>
Image Render(int width, int height, int samples, Shader shade) {
    Image image{width, height, std::vector<Rgb>(static_cast<std::size_t>(width) * height)};
    const double weight = 1.0 / (samples * samples);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Color sum{0, 0, 0};
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Color c = shade(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples);
                    sum = Add(sum, c, weight);
                }
            }
            image.pixels[static_cast<std::size_t>(y) * width + x] = {ToByte(sum.r), ToByte(sum.g),
                                                                     ToByte(sum.b)};
        }
    }
    return image;
}

// ---- The main-window picture ----

struct Ray {
    double angle;  // radians from straight down, positive to the right
    double halfWidth;
    double strength;
};

constexpr Ray kRays[] = {
    {-1.36, 0.07, 0.20}, {-1.12, 0.11, 0.28}, {-0.86, 0.08, 0.22}, {-0.60, 0.12, 0.26},
    {-0.34, 0.06, 0.14}, {0.30, 0.07, 0.15},  {0.56, 0.12, 0.27},  {0.84, 0.08, 0.21},
    {1.10, 0.11, 0.28},  {1.35, 0.07, 0.19},
};

struct Sparkle {
    double x;
    double y;
    double size;
    double strength;
};

constexpr Sparkle kSparkles[] = {
    {104.0, 17.5, 4.5, 1.0}, {171.5, 21.0, 3.5, 0.9}, {138.0, 11.0, 2.5, 0.8},
    {38.0, 44.0, 4.0, 0.9},  {226.0, 43.0, 4.5, 1.0}, {66.0, 31.5, 2.5, 0.7},
    {201.0, 29.5, 2.5, 0.7}, {18.5, 63.0, 2.5, 0.6},  {249.0, 60.0, 3.0, 0.7},
    {88.0, 49.0, 2.0, 0.5},  {184.0, 52.0, 2.0, 0.5}, {122.0, 39.0, 1.8, 0.45},
};

Color Backdrop(double y) {
    constexpr Color kTop{206, 245, 253};
    constexpr Color kMiddle{200, 229, 251};
    constexpr Color kLow{240, 249, 255};
    constexpr double kMiddleY = kPictureHeight / 2.0;
    if (y < kMiddleY) return Mix(kTop, kMiddle, Smoothstep(0, kMiddleY, y));
    const Color c = Mix(kMiddle, kLow, Smoothstep(kMiddleY, 136, y));
    return Mix(c, kWhite, Smoothstep(128, 158, y));
}

Color ShadeMainPicture(double x, double y) {
    constexpr double kCentreX = kPictureWidth / 2.0;
    Color c = Backdrop(y);

    // Cyan glow at the top centre.
    const double glowRadius = EllipseRadius(x, y, kCentreX, -8, 120, 62);
    const double glow = 1 - Smoothstep(0, 1, glowRadius);
    c = Mix(c, Color{118, 226, 255}, 0.6 * glow * glow);
    const double core = 1 - Smoothstep(0, 1, EllipseRadius(x, y, kCentreX, -4, 40, 16));
    c = Mix(c, Color{232, 252, 255}, 0.75 * core * core);

    // Pale light rays fanning out from just above the glow.
    const double rx = x - kCentreX;
    const double ry = y + 14;
    const double distance = std::sqrt(rx * rx + ry * ry);
    const double angle = AngleFromDown(rx, ry);
    double rays = 0;
    for (const Ray& ray : kRays) {
        const double off = std::abs(angle - ray.angle) / ray.halfWidth;
        rays = std::max(rays, ray.strength * (1 - Smoothstep(0.2, 1, off)));
    }
    rays *= Smoothstep(10, 40, distance) * (1 - Smoothstep(60, 175, distance));
    c = Mix(c, kWhite, rays);

    // The halo: a short bright arc near the top and a long faint one bending down at its ends.
    const double shortArc = EllipseDistance(x, y, kCentreX, 50, 62, 38);
    const double shortFade = 1 - Smoothstep(0.45, 0.92, std::abs(x - kCentreX) / 62);
    if (y < 50) c = Mix(c, kWhite, 0.95 * shortFade * LineIntensity(shortArc, 1.4, 2.5));

    const double longArc = EllipseDistance(x, y, kCentreX, 78, 132, 50);
    const double longFade = 1 - Smoothstep(0.70, 1.0, std::abs(x - kCentreX) / 132);
    if (y < 78) c = Mix(c, kWhite, 0.6 * longFade * LineIntensity(longArc, 1.0, 2.0));

    // Sparkles: a bright point with four short, tapering arms.
    for (const Sparkle& s : kSparkles) {
        const double dx = std::abs(x - s.x);
        const double dy = std::abs(y - s.y);
        const double r2 = (dx * dx + dy * dy) / (s.size * s.size);
        const double point = 1.3 / (1 + 12 * r2);
        const double armX = Clamp01(1 - dx / s.size) * Clamp01(1 - dy / 0.8);
        const double armY = Clamp01(1 - dy / s.size) * Clamp01(1 - dx / 0.8);
        const double sparkle = std::max(point, std::max(armX, armY));
        c = Mix(c, kWhite, s.strength * Clamp01(sparkle));
    }

    // Soft elliptical white glow below the middle.
    const double lower = 1 - Smoothstep(0, 1, EllipseRadius(x, y, kCentreX, 126, 150, 44));
    c = Mix(c, kWhite, 0.8 * lower);
    return c;
}

// ---- The icon ----

constexpr double kHubX = 16.0;
constexpr double kHubY = 25.5;

Color ShadeIcon(double x, double y) {
    constexpr Color kGround{240, 240, 240};
    const double tile = RoundedBoxDistance(x, y, 1, 1, 31, 31, 5.5);
    if (tile > 0.5) return kGround;

    // The tile body: a deep blue that darkens towards the bottom.
    Color c = Mix(Color{38, 72, 140}, Color{14, 24, 62}, Smoothstep(8, 31, y));

    // Cyan-to-blue band along the top, lit along its upper edge.
    if (y < 9.5) {
        Color band =
            Mix(Color{40, 226, 255}, Color{24, 104, 232}, Smoothstep(2, 30, x + (y - 1) * 0.6));
        band = Mix(band, kWhite, 0.35 * (1 - Smoothstep(1, 4.5, y)));
        c = Mix(band, c, Smoothstep(8.5, 9.5, y));
    }

    const double dy = y - kHubY;
    const double r = PointDistance(x, y, kHubX, kHubY);
    const bool upper = dy < 0.8;

    // Dial face inside the bezel: dark navy, a little lighter around the hub.
    if (upper && r < 10.6) {
        const Color face = Mix(Color{30, 52, 112}, Color{12, 20, 56}, Smoothstep(0, 10, r));
        c = Mix(face, c, Smoothstep(10.1, 10.6, r));
    }

    // The bezel: a broad white arc fading to pale blue towards its ends.
    if (upper) {
        const double bezel = 1 - Smoothstep(1.9, 2.5, std::abs(r - 12.6));
        const double height = Clamp01(-dy / 12.6);
        const Color rim = Mix(Color{150, 204, 250}, kWhite, Smoothstep(0.05, 0.85, height));
        c = Mix(c, rim, bezel);
    }

    // Teal tick marks at the left, the top centre and the right of the dial.
    constexpr double kTicks[][2] = {{-0.9397, -0.3420}, {0.0, -1.0}, {0.9397, -0.3420}};
    for (const auto& tick : kTicks) {
        const double d = SegmentDistance(x, y, kHubX + tick[0] * 7.2, kHubY + tick[1] * 7.2,
                                         kHubX + tick[0] * 9.6, kHubY + tick[1] * 9.6);
        c = Mix(c, Color{32, 200, 186}, 1 - Smoothstep(0.45, 1.05, d));
    }

    // The needle towards the upper right, with a soft glow around it.
    constexpr double kTipX = kHubX + 0.6428 * 10.2;
    constexpr double kTipY = kHubY - 0.7660 * 10.2;
    double along = 0;
    const double needle = SegmentDistance(x, y, kHubX, kHubY, kTipX, kTipY, &along);
    const double halfWidth = 1.05 - 0.6 * along;
    c = Mix(c, Color{70, 180, 255}, 0.6 * (1 - Smoothstep(0, 3.4, needle)));
    c = Mix(c, Color{158, 222, 255}, 1 - Smoothstep(halfWidth - 0.3, halfWidth + 0.3, needle));

    // Pale silver hub with a highlight at its upper left.
    const double hub = PointDistance(x, y, kHubX, kHubY);
    const double shine = Smoothstep(0, 2.6, PointDistance(x, y, kHubX - 0.8, kHubY - 0.8));
    c = Mix(c, Mix(Color{250, 252, 255}, Color{176, 184, 198}, shine),
            1 - Smoothstep(2.1, 2.7, hub));

    // Soften the tile's rim against the ground.
    return Mix(c, kGround, Smoothstep(-0.5, 0.5, tile));
}

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

constexpr std::uint32_t kInfoHeaderSize = 40;

std::uint32_t RowStride(int width) { return (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u; }

void PutInfoHeader(std::vector<std::uint8_t>& out, int width, int height, std::uint32_t imageSize,
                   std::uint32_t pixelsPerMetre) {
    PutU32(out, kInfoHeaderSize);
    PutU32(out, static_cast<std::uint32_t>(width));
    PutU32(out, static_cast<std::uint32_t>(height));
    PutU16(out, 1);   // planes
    PutU16(out, 24);  // bits per pixel
    PutU32(out, 0);   // BI_RGB
    PutU32(out, imageSize);
    PutU32(out, pixelsPerMetre);
    PutU32(out, pixelsPerMetre);
    PutU32(out, 0);  // colours used
    PutU32(out, 0);  // colours important
}

void PutRowsBottomUp(std::vector<std::uint8_t>& out, const Image& image) {
    const std::uint32_t padding =
        RowStride(image.width) - static_cast<std::uint32_t>(image.width) * 3;
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgb& p = image.At(x, y);
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
        out.insert(out.end(), padding, 0);
    }
}

}  // namespace

Image DrawMainPicture() {
    Image image = Render(kPictureWidth, kPictureHeight, 4, ShadeMainPicture);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (x == 0 || y >= image.height - 3) {
                image.pixels[static_cast<std::size_t>(y) * image.width + x] = {255, 255, 255};
            }
        }
    }
    return image;
}

Image DrawIcon() { return Render(kIconSize, kIconSize, 8, ShadeIcon); }

std::vector<std::uint8_t> EncodeBmpFile(const Image& image) {
    constexpr std::uint32_t kFileHeaderSize = 14;
    const std::uint32_t imageSize =
        RowStride(image.width) * static_cast<std::uint32_t>(image.height);
    const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize;
    std::vector<std::uint8_t> out;
    out.reserve(offset + imageSize);
    out.push_back('B');
    out.push_back('M');
    PutU32(out, offset + imageSize);
    PutU32(out, 0);  // reserved
    PutU32(out, offset);
    PutInfoHeader(out, image.width, image.height, imageSize, kPixelsPerMetre);
    PutRowsBottomUp(out, image);
    return out;
}

std::vector<std::uint8_t> EncodeIconImage(const Image& image) {
    const std::uint32_t colourSize =
        RowStride(image.width) * static_cast<std::uint32_t>(image.height);
    const std::uint32_t maskStride = ((static_cast<std::uint32_t>(image.width) + 31) / 32) * 4;
    const std::uint32_t maskSize = maskStride * static_cast<std::uint32_t>(image.height);
    std::vector<std::uint8_t> out;
    out.reserve(kInfoHeaderSize + colourSize + maskSize);
    // An icon's header counts the colour rows and the mask rows together.
    PutInfoHeader(out, image.width, image.height * 2, colourSize + maskSize, 0);
    PutRowsBottomUp(out, image);
    out.insert(out.end(), maskSize, 0);
    return out;
}

std::vector<std::uint8_t> EncodeIcoFile(const Image& image) {
    constexpr std::uint32_t kDirectorySize = 6 + 16;
    const std::vector<std::uint8_t> body = EncodeIconImage(image);
    std::vector<std::uint8_t> out;
    PutU16(out, 0);  // reserved
    PutU16(out, 1);  // icon
    PutU16(out, 1);  // one image
    out.push_back(static_cast<std::uint8_t>(image.width));
    out.push_back(static_cast<std::uint8_t>(image.height));
    out.push_back(0);  // no palette
    out.push_back(0);
    PutU16(out, 1);   // planes
    PutU16(out, 24);  // bits per pixel
    PutU32(out, static_cast<std::uint32_t>(body.size()));
    PutU32(out, kDirectorySize);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace vossel::artwork
