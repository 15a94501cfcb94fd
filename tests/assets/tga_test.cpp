// The Targa decoder: what it accepts, how it orders bytes, and everything it refuses.
#include <gtest/gtest.h>

#include "assets/memory_stream.h"
#include "assets/texture_image.h"
#include "image_test_util.h"

namespace korvana {
namespace {

using test::tgaHeader;

DecodedImage decodeBytes(const std::vector<uint8_t>& bytes, int32_t maxSide = MAX_IMAGE_SIDE) {
    auto stream = openMemoryStream(bytes.data(), bytes.size());
    EXPECT_TRUE(stream);
    if (!stream) return {};
    return decodeTga(*stream, maxSide);
}

std::vector<uint8_t> withPixels(std::vector<uint8_t> header, const std::vector<uint8_t>& pixels) {
    header.insert(header.end(), pixels.begin(), pixels.end());
    return header;
}

std::vector<uint8_t> pixelsOf(const DecodedImage& image) {
    if (!image.pixels) return {};
    return std::vector<uint8_t>(image.pixels.get(),
                                image.pixels.get() + image.width * image.height * image.channels);
}

TEST(Targa, ByteOrderAndRowOrder) {
    // 2 x 2, 24 bits, stored blue, green, red; rows stay in file order.
    const std::vector<uint8_t> bgr = {0x03, 0x02, 0x01, 0x06, 0x05, 0x04,
                                      0x09, 0x08, 0x07, 0x0C, 0x0B, 0x0A};
    DecodedImage rgb = decodeBytes(withPixels(tgaHeader(2, 2, 24), bgr));
    ASSERT_TRUE(rgb.pixels) << rgb.refusal;
    EXPECT_EQ(rgb.width, 2);
    EXPECT_EQ(rgb.height, 2);
    EXPECT_EQ(rgb.channels, 3);
    EXPECT_EQ(pixelsOf(rgb), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

    // The descriptor's top-left origin bit does not flip the rows.
    DecodedImage topLeft = decodeBytes(withPixels(tgaHeader(2, 2, 24, 2, 0, 0, 0x20), bgr));
    EXPECT_EQ(pixelsOf(topLeft), pixelsOf(rgb));

    // 32 bits: blue and red exchanged, alpha unchanged (not premultiplied).
    const std::vector<uint8_t> bgra = {0x30, 0x20, 0x10, 0x00, 0x31, 0x21, 0x11, 0x7F,
                                       0x32, 0x22, 0x12, 0x80, 0x33, 0x23, 0x13, 0xFF};
    DecodedImage rgba = decodeBytes(withPixels(tgaHeader(2, 2, 32), bgra));
    ASSERT_TRUE(rgba.pixels) << rgba.refusal;
    EXPECT_EQ(rgba.channels, 4);
    EXPECT_EQ(pixelsOf(rgba), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x00, 0x11, 0x21, 0x31, 0x7F,
                                                     0x12, 0x22, 0x32, 0x80, 0x13, 0x23, 0x33,
                                                     0xFF}));

    // Type 3 (grey-scale) is read the same way when its depth is 24.
    DecodedImage grey = decodeBytes(withPixels(tgaHeader(2, 2, 24, 3), bgr));
    EXPECT_EQ(pixelsOf(grey), pixelsOf(rgb));

    // An image-ID length is not skipped: pixels are read from offset 18 regardless.
    DecodedImage withId = decodeBytes(withPixels(tgaHeader(2, 2, 24, 2, 0, 5), bgr));
    EXPECT_EQ(pixelsOf(withId), pixelsOf(rgb));

    // Odd sides (rows not a multiple of 4 bytes) and trailing bytes are fine.
    std::vector<uint8_t> odd(3 * 3 * 3 + 7, 0x55);
    DecodedImage three = decodeBytes(withPixels(tgaHeader(3, 3, 24), odd));
    ASSERT_TRUE(three.pixels) << three.refusal;
    EXPECT_EQ(three.width, 3);

    // The readTgaPixels entry point on its own: other depths give nothing.
    auto stream = openMemoryStream(bgr.data(), bgr.size());
    ASSERT_TRUE(stream);
    EXPECT_FALSE(readTgaPixels(*stream, 4, 16));
    EXPECT_FALSE(readTgaPixels(*stream, 5, 24));  // 15 bytes asked, 12 there
    EXPECT_EQ(stream->position, 0);                // nothing consumed by a refused read
    auto four = readTgaPixels(*stream, 4, 24);
    ASSERT_TRUE(four);
    EXPECT_EQ(four[0], 1);
    EXPECT_EQ(four[2], 3);
}

TEST(Targa, Refusals) {
    const std::vector<uint8_t> pixels(64 * 64 * 4, 0x40);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* reasonPart;
    } cases[] = {
        {"not square", withPixels(tgaHeader(64, 32, 24), pixels), "not square (64 x 32)"},
        {"run-length encoded", withPixels(tgaHeader(2, 2, 24, 10), pixels), "image type 10"},
        {"run-length grey", withPixels(tgaHeader(2, 2, 24, 11), pixels), "image type 11"},
        {"colour-mapped", withPixels(tgaHeader(2, 2, 24, 1, 1), pixels), "colour-mapped"},
        {"colour map on true-colour", withPixels(tgaHeader(2, 2, 24, 2, 1), pixels),
         "colour-mapped"},
        {"16 bits", withPixels(tgaHeader(2, 2, 16), pixels), "pixel depth 16"},
        {"8 bits grey", withPixels(tgaHeader(2, 2, 8, 3), pixels), "pixel depth 8"},
        {"zero size", withPixels(tgaHeader(0, 0, 24), pixels), "empty image"},
        {"truncated pixels", withPixels(tgaHeader(2, 2, 32), std::vector<uint8_t>(15, 1)),
         "pixel data truncated"},
        {"header only", tgaHeader(2, 2, 24), "pixel data truncated"},
        {"short header", std::vector<uint8_t>(17, 0), "shorter than the 18-byte Targa header"},
        {"empty file", {}, "shorter than the 18-byte Targa header"},
        // 65535 x 65535 x 4 does not fit 32 bits; refused before anything is allocated.
        {"huge", withPixels(tgaHeader(65535, 65535, 32), pixels), "too large"},
        {"above the limit", withPixels(tgaHeader(MAX_IMAGE_SIDE + 1, MAX_IMAGE_SIDE + 1, 24),
                                       pixels),
         "too large"},
    };
    for (const Case& c : cases) {
        DecodedImage image = decodeBytes(c.bytes);
        EXPECT_FALSE(image.pixels) << c.what;
        EXPECT_NE(image.refusal.find(c.reasonPart), std::string::npos)
            << c.what << ": " << image.refusal;
    }
    // A refusal still reports what the header says.
    DecodedImage wide = decodeBytes(withPixels(tgaHeader(64, 32, 24), pixels));
    EXPECT_EQ(wide.width, 64);
    EXPECT_EQ(wide.height, 32);
    EXPECT_EQ(wide.channels, 3);
    // The GL limit handed in by the loader is honoured.
    DecodedImage limited = decodeBytes(withPixels(tgaHeader(64, 64, 32), pixels), 32);
    EXPECT_FALSE(limited.pixels);
    EXPECT_NE(limited.refusal.find("largest side accepted 32"), std::string::npos);
    DecodedImage fits = decodeBytes(withPixels(tgaHeader(64, 64, 32), pixels), 64);
    EXPECT_TRUE(fits.pixels) << fits.refusal;
}

// Every 18-byte header value with too few pixel bytes behind it is refused, never read past.
TEST(Targa, TruncationsNeverReadPastTheEnd) {
    std::vector<uint8_t> full = withPixels(tgaHeader(8, 8, 32), std::vector<uint8_t>(8 * 8 * 4, 9));
    for (size_t length = 0; length < full.size(); ++length) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
        EXPECT_FALSE(decodeBytes(cut).pixels) << length;
    }
    EXPECT_TRUE(decodeBytes(full).pixels);
}

// Images written by an independent encoder: ImageMagick, 24 and 32 bits.
TEST(Targa, ImagesWrittenByImageMagick) {
    if (!test::haveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    test::ScratchDir dir("tga");
    const int side = 4;
    std::vector<uint8_t> rgba(side * side * 4);
    for (int i = 0; i < side * side; ++i) {
        rgba[i * 4 + 0] = static_cast<uint8_t>(16 * i);
        rgba[i * 4 + 1] = static_cast<uint8_t>(255 - 9 * i);
        rgba[i * 4 + 2] = static_cast<uint8_t>(i % 2 ? 200 : 30);
        rgba[i * 4 + 3] = static_cast<uint8_t>(10 + 15 * i);
    }
    std::vector<uint8_t> rgb;
    for (int i = 0; i < side * side; ++i) rgb.insert(rgb.end(), &rgba[i * 4], &rgba[i * 4 + 3]);

    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "32 bits" : "24 bits");
        const std::vector<uint8_t>& source = alpha ? rgba : rgb;
        const int channels = alpha ? 4 : 3;
        auto in = dir.path / (alpha ? "in.pam" : "in.ppm");
        auto out = dir.path / "out.tga";
        test::writeFile(in, test::netpbm(side, side, source, alpha));
        ASSERT_TRUE(test::runConvert(in.string() + " -compress none " + out.string()));
        std::vector<uint8_t> file = test::readFile(out);
        ASSERT_GE(file.size(), 18u);
        EXPECT_EQ(file[16], alpha ? 32 : 24);
        DecodedImage image = decodeBytes(file);
        ASSERT_TRUE(image.pixels) << image.refusal;
        EXPECT_EQ(image.width, side);
        EXPECT_EQ(image.height, side);
        EXPECT_EQ(image.channels, channels);
        // Rows come in file order; the writer may store them top or bottom first, but each row
        // must be one source row with its bytes in R, G, B (, A) order.
        std::vector<uint8_t> decoded = pixelsOf(image);
        const size_t rowBytes = static_cast<size_t>(side) * channels;
        auto row = [&](const std::vector<uint8_t>& v, int r) {
            return std::vector<uint8_t>(v.begin() + r * rowBytes, v.begin() + (r + 1) * rowBytes);
        };
        const bool topFirst = row(decoded, 0) == row(source, 0);
        for (int r = 0; r < side; ++r)
            EXPECT_EQ(row(decoded, r), row(source, topFirst ? r : side - 1 - r)) << "row " << r;
    }

    // ImageMagick's run-length encoded output is refused.
    auto in = dir.path / "in.ppm";
    auto rle = dir.path / "rle.tga";
    ASSERT_TRUE(test::runConvert(in.string() + " -compress RLE " + rle.string()));
    DecodedImage refused = decodeBytes(test::readFile(rle));
    EXPECT_FALSE(refused.pixels);
    EXPECT_NE(refused.refusal.find("image type 10"), std::string::npos) << refused.refusal;
}

}  // namespace
}  // namespace korvana
