// The JPEG path: libjpeg-turbo's decoding as the loader sees it, checked with images written by an
// independent encoder (ImageMagick) and with our own encoder for the content tool.
#include <gtest/gtest.h>

#include <cstdlib>

#include "assets/texture_image.h"
#include "image_test_util.h"
#include "platform/jpeg_codec.h"

namespace korvana {
namespace {

// A 16 x 16 picture in four flat quadrants: red top-left, green top-right, blue bottom-left,
// white bottom-right (top row first).
std::vector<uint8_t> quadrants(int side) {
    std::vector<uint8_t> rgb(static_cast<size_t>(side) * side * 3);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * side + x) * 3];
            const bool right = x >= side / 2, bottom = y >= side / 2;
            p[0] = (!bottom && !right) || (bottom && right) ? 255 : 0;
            p[1] = (!bottom && right) || (bottom && right) ? 255 : 0;
            p[2] = bottom ? 255 : 0;
        }
    return rgb;
}

// The decoded colour at the centre of each quadrant is within JPEG's loss of the source.
void expectQuadrants(const uint8_t* pixels, int side) {
    auto near = [&](int x, int y, int r, int g, int b) {
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * side + x) * 3];
        EXPECT_NEAR(p[0], r, 24) << x << "," << y;
        EXPECT_NEAR(p[1], g, 24) << x << "," << y;
        EXPECT_NEAR(p[2], b, 24) << x << "," << y;
    };
    const int q = side / 4;
    near(q, q, 255, 0, 0);
    near(3 * q, q, 0, 255, 0);
    near(q, 3 * q, 0, 0, 255);
    near(3 * q, 3 * q, 255, 255, 255);
}

TEST(Jpeg, ColourImageFromImageMagick) {
    if (!test::haveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    test::ScratchDir dir("jpeg");
    const int side = 32;
    auto in = dir.path / "in.ppm";
    test::writeFile(in, test::netpbm(side, side, quadrants(side), false));

    for (const char* options : {"-quality 95", "-quality 60 -sampling-factor 2x2",
                                "-quality 90 -interlace Plane"}) {
        SCOPED_TRACE(options);
        auto out = dir.path / "out.jpg";
        ASSERT_TRUE(test::runConvert(in.string() + " " + options + " " + out.string()));
        std::vector<uint8_t> bytes = test::readFile(out);
        int32_t width = -1, height = -1, channels = -1;
        std::string refusal;
        auto pixels = decodeJpeg(width, height, channels, bytes.data(),
                                 static_cast<uint32_t>(bytes.size()), &refusal);
        ASSERT_TRUE(pixels) << refusal;
        EXPECT_EQ(width, side);
        EXPECT_EQ(height, side);
        EXPECT_EQ(channels, 3);
        expectQuadrants(pixels.get(), side);  // also proves rows come top row first
        EXPECT_EQ(jpegUploadRefusal(width, height, channels), nullptr);
    }

    // Not square: decoded, then not uploaded.
    auto wide = dir.path / "wide.jpg";
    ASSERT_TRUE(test::runConvert(in.string() + " -resize 32x16! " + wide.string()));
    std::vector<uint8_t> bytes = test::readFile(wide);
    int32_t width = 0, height = 0, channels = 0;
    auto pixels = decodeJpeg(width, height, channels, bytes.data(),
                             static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(pixels);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 16);
    EXPECT_STREQ(jpegUploadRefusal(width, height, channels), "not square (decoded, not uploaded)");
}

TEST(Jpeg, GreyIsDecodedButNotUploaded) {
    if (!test::haveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    test::ScratchDir dir("jpeg-grey");
    const int side = 16;
    std::vector<uint8_t> rgb(side * side * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i / 3) % side * 16);
    auto in = dir.path / "in.ppm";
    auto out = dir.path / "grey.jpg";
    test::writeFile(in, test::netpbm(side, side, rgb, false));
    ASSERT_TRUE(test::runConvert(in.string() + " -colorspace Gray -quality 95 " + out.string()));
    std::vector<uint8_t> bytes = test::readFile(out);
    int32_t width = 0, height = 0, channels = 0;
    auto pixels = decodeJpeg(width, height, channels, bytes.data(),
                             static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(pixels);
    EXPECT_EQ(width, side);
    EXPECT_EQ(height, side);
    EXPECT_EQ(channels, 1);
    // One byte per pixel, a ramp from left to right.
    EXPECT_NEAR(pixels[0], 0, 12);
    EXPECT_NEAR(pixels[side - 1], 240, 12);
    EXPECT_STREQ(jpegUploadRefusal(width, height, channels),
                 "grey-scale JPEG (decoded, not uploaded)");
}

TEST(Jpeg, GarbageAndTruncationsRefused) {
    const std::vector<uint8_t> garbage = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
    int32_t width = 7, height = 7, channels = 7;
    std::string refusal;
    EXPECT_FALSE(decodeJpeg(width, height, channels, garbage.data(),
                            static_cast<uint32_t>(garbage.size()), &refusal));
    EXPECT_NE(refusal.find("not a readable JPEG"), std::string::npos) << refusal;
    EXPECT_FALSE(decodeJpeg(width, height, channels, garbage.data(), 0, &refusal));
    EXPECT_FALSE(decodeJpeg(width, height, channels, nullptr, 0, &refusal));

    // Our own encoder's output decodes; every truncation of it is refused or decodes to the
    // declared size, never crashes.
    const int side = 24;
    std::vector<uint8_t> jpeg = encodeJpeg(quadrants(side).data(), side, side, 90);
    ASSERT_FALSE(jpeg.empty());
    auto whole = decodeJpeg(width, height, channels, jpeg.data(), static_cast<uint32_t>(jpeg.size()));
    ASSERT_TRUE(whole);
    expectQuadrants(whole.get(), side);
    int refusedCount = 0;
    for (size_t length = 0; length < jpeg.size(); ++length) {
        std::string why;
        if (!decodeJpeg(width, height, channels, jpeg.data(), static_cast<uint32_t>(length), &why))
            ++refusedCount;
    }
    // Missing data is a warning to the library; the decoder turns it into a refusal.
    EXPECT_EQ(refusedCount, static_cast<int>(jpeg.size()));

    // Flipped bits anywhere: decoded to the header's size or refused, never a crash.
    for (size_t i = 0; i < jpeg.size(); ++i) {
        std::vector<uint8_t> flipped = jpeg;
        flipped[i] ^= static_cast<uint8_t>(1u << (i % 8));
        int32_t w = 0, h = 0, c = 0;
        auto decoded = decodeJpeg(w, h, c, flipped.data(), static_cast<uint32_t>(flipped.size()));
        if (decoded) {
            EXPECT_GT(w, 0);
            EXPECT_LE(w, MAX_IMAGE_SIDE);
            EXPECT_LE(h, MAX_IMAGE_SIDE);
        }
    }

    // Sides over the limit are refused from the header, before the pixels are allocated.
    std::vector<uint8_t> bigJpeg = encodeJpeg(quadrants(side).data(), side, side, 90);
    EXPECT_FALSE(decodeJpeg(width, height, channels, bigJpeg.data(),
                            static_cast<uint32_t>(bigJpeg.size()), &refusal, 16));
    EXPECT_EQ(width, side);  // the outputs are set once the header is read
    EXPECT_NE(refusal.find("too large"), std::string::npos);

    // A frame header claiming far more pixels than the file's bytes can code: refused before the
    // pixels are allocated, not after a failed decode.
    std::vector<uint8_t> claims = jpeg;
    for (size_t i = 0; i + 8 < claims.size(); ++i) {
        if (claims[i] != 0xFF || claims[i + 1] != 0xC0) continue;
        for (size_t at : {i + 5, i + 7}) claims[at] = 0x1F, claims[at + 1] = 0x40;  // 8000
        break;
    }
    EXPECT_FALSE(decodeJpeg(width, height, channels, claims.data(), static_cast<uint32_t>(claims.size()),
                            &refusal));
    EXPECT_EQ(width, 8000);
    EXPECT_NE(refusal.find("bytes can hold"), std::string::npos) << refusal;

    // The encoder refuses what it cannot encode.
    EXPECT_TRUE(encodeJpeg(nullptr, 4, 4, 90).empty());
    EXPECT_TRUE(encodeJpeg(quadrants(side).data(), side, side, 0).empty());
    EXPECT_TRUE(encodeJpeg(quadrants(side).data(), 0, side, 90).empty());
}

}  // namespace
}  // namespace korvana
