#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "artwork.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace artwork = vossel::artwork;

Bytes ReadResource(const std::string& name) {
    std::ifstream file(std::string(VOSSEL_SOURCE_DIR) + "/resources/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t U16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// The committed files are what the generator draws today; rerun generate_artwork after a change.
TEST(Artwork, CommittedFilesMatchTheGenerator) {
    const struct {
        const char* file;
        Bytes expected;
    } cases[] = {
        {"main_picture.bmp", artwork::EncodeBmpFile(artwork::DrawMainPicture())},
        {"icon_30001.bin", artwork::EncodeIconImage(artwork::DrawIcon())},
        {"vossel.ico", artwork::EncodeIcoFile(artwork::DrawIcon())},
    };
    for (const auto& c : cases) {
        const Bytes committed = ReadResource(c.file);
        ASSERT_EQ(committed.size(), c.expected.size()) << c.file;
        EXPECT_TRUE(committed == c.expected) << c.file << " differs from the generator's output";
    }
}

TEST(Artwork, MainPictureIsA24BitBottomUpBitmapWithWhiteEdges) {
    const Bytes bmp = ReadResource("main_picture.bmp");
    ASSERT_EQ(bmp.size(), 130454u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(U32(bmp, 2), 130454u);
    EXPECT_EQ(U32(bmp, 10), 54u);  // pixels follow the headers: no colour table
    EXPECT_EQ(U32(bmp, 14), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(U32(bmp, 18), 266u);
    EXPECT_EQ(U32(bmp, 22), 163u);  // positive height: bottom-up
    EXPECT_EQ(U16(bmp, 26), 1);
    EXPECT_EQ(U16(bmp, 28), 24);
    EXPECT_EQ(U32(bmp, 30), 0u);  // BI_RGB
    EXPECT_EQ(U32(bmp, 38), 3780u);
    EXPECT_EQ(U32(bmp, 42), 3780u);
    EXPECT_EQ(U32(bmp, 46), 0u);

    // Reading the file, not the drawing, also checks the row order and padding of the encoder.
    constexpr std::size_t kStride = 800;
    const auto pixel = [&](int x, int y) {
        const std::size_t at = 54 + (162 - y) * kStride + x * 3;
        return artwork::Rgb{bmp[at + 2], bmp[at + 1], bmp[at]};
    };
    const artwork::Rgb white{255, 255, 255};
    for (int y = 0; y < 163; ++y) EXPECT_EQ(pixel(0, y), white) << "left column, y " << y;
    for (int y = 160; y < 163; ++y) {
        for (int x = 0; x < 266; ++x) EXPECT_EQ(pixel(x, y), white) << x << ", " << y;
    }
    // Sky blue at the top corners, not white: catches flipped rows.
    for (int x : {8, 257}) {
        const artwork::Rgb top = pixel(x, 0);
        EXPECT_NEAR(top.r, 206, 8) << x;
        EXPECT_NEAR(top.g, 245, 8) << x;
        EXPECT_NEAR(top.b, 253, 8) << x;
    }
}

TEST(Artwork, IconImageIsAnOpaque32By32TrueColourIcon) {
    const Bytes icon = ReadResource("icon_30001.bin");
    ASSERT_EQ(icon.size(), 3240u);
    EXPECT_EQ(U32(icon, 0), 40u);
    EXPECT_EQ(U32(icon, 4), 32u);
    EXPECT_EQ(U32(icon, 8), 64u);  // colour rows and mask rows together
    EXPECT_EQ(U16(icon, 14), 24);
    EXPECT_EQ(U32(icon, 16), 0u);
    const Bytes mask(icon.begin() + 40 + 32 * 32 * 3, icon.end());
    EXPECT_EQ(mask, Bytes(32 * 4, 0));

    const Bytes ico = ReadResource("vossel.ico");
    ASSERT_EQ(ico.size(), 6u + 16u + icon.size());
    EXPECT_EQ(U16(ico, 4), 1);  // one image
    EXPECT_EQ(U32(ico, 14), icon.size());
    EXPECT_EQ(U32(ico, 18), 22u);
    EXPECT_TRUE(Bytes(ico.begin() + 22, ico.end()) == icon);
}

}  // namespace
