// The default images and soundtrack: formats the show's decoders take, square power-of-two
// images, overlays with real transparency and lettering, textures dark enough for additive
// drawing, and an MP3 that lasts the whole show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "archive/archive.h"

namespace fs = std::filesystem;

namespace {

const fs::path kContent = fs::path(KORVANA_BINARY_DIR) / "content";

std::vector<uint8_t> member(const char* name) {
    const fs::path archive = kContent / "megadata.rar";
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (korvana::archiveExtract(&data, &size, name, archive.c_str(), "") != 1) {
        ADD_FAILURE() << name << " cannot be extracted";
        return {};
    }
    std::vector<uint8_t> out(data, data + size);
    std::free(data);
    return out;
}

bool powerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

struct Tga {
    int side = 0, bits = 0;
    std::vector<uint8_t> pixels;  // as stored: B, G, R (, A)
};

Tga readTga(const char* name) {
    Tga t;
    std::vector<uint8_t> b = member(name);
    if (b.size() < 18) {
        ADD_FAILURE() << name << " is shorter than a Targa header";
        return t;
    }
    EXPECT_EQ(b[1], 0) << name << ": colour-mapped";
    EXPECT_EQ(b[2], 2) << name << ": not uncompressed true colour";
    EXPECT_EQ(b[0], 0) << name << ": the show does not skip an image ID";
    int w = b[12] | b[13] << 8, h = b[14] | b[15] << 8;
    EXPECT_EQ(w, h) << name;
    EXPECT_TRUE(powerOfTwo(w)) << name << " is " << w << " wide";
    t.bits = b[16];
    EXPECT_TRUE(t.bits == 24 || t.bits == 32) << name;
    const size_t expected = 18 + static_cast<size_t>(w) * h * (t.bits / 8);
    EXPECT_EQ(b.size(), expected) << name;
    if (w != h || b.size() != expected) return t;
    t.side = w;
    t.pixels.assign(b.begin() + 18, b.end());
    return t;
}

// Width, height and components from a baseline JPEG's frame header.
bool jpegFrame(const std::vector<uint8_t>& b, int& w, int& h, int& components, bool& baseline) {
    size_t p = 2;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
    while (p + 4 <= b.size()) {
        if (b[p] != 0xFF) return false;
        uint8_t marker = b[p + 1];
        size_t len = b[p + 2] << 8 | b[p + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (p + 10 > b.size()) return false;
            baseline = marker == 0xC0;
            h = b[p + 5] << 8 | b[p + 6];
            w = b[p + 7] << 8 | b[p + 8];
            components = b[p + 9];
            return true;
        }
        p += 2 + len;
    }
    return false;
}

// Mean and 99th percentile of luminance, 0..1, over R, G, B triples.
void luminance(const uint8_t* px, size_t count, size_t stride, double& mean, double& p99) {
    std::vector<double> l(count);
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = px + i * stride;
        l[i] = (0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]) / 255.0;
        sum += l[i];
    }
    mean = sum / count;
    std::nth_element(l.begin(), l.begin() + count * 99 / 100, l.end());
    p99 = l[count * 99 / 100];
}

class DefaultMedia : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kContent / "megadata.rar"))
            GTEST_SKIP() << "the build made no content (KORVANA_BUILD_CONTENT=OFF)";
    }
};

TEST_F(DefaultMedia, OverlaysAreLetteringOnTransparency) {
    std::vector<Tga> overlays;
    for (int i = 1; i <= 7; ++i) {
        std::string name = "jpg/rave0" + std::to_string(i) + ".tga";
        Tga t = readTga(name.c_str());
        ASSERT_EQ(t.bits, 32) << name << " needs an alpha channel";
        ASSERT_GE(t.side, 256) << name;
        const size_t n = static_cast<size_t>(t.side) * t.side;
        size_t clear = 0, solid = 0;
        int left = t.side, right = -1;
        for (size_t p = 0; p < n; ++p) {
            uint8_t a = t.pixels[p * 4 + 3];
            clear += a == 0;
            if (a == 255) {
                ++solid;
                int x = static_cast<int>(p % t.side);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        // Mostly see-through, with solid lettering that spans a good part of the picture.
        EXPECT_GT(clear, n * 4 / 10) << name;
        EXPECT_GT(solid, n / 50) << name;
        EXPECT_GT(right - left, t.side * 6 / 10) << name << ": the lettering is small";
        overlays.push_back(std::move(t));
    }
    // Each is visibly different from every other.
    for (size_t i = 0; i < overlays.size(); ++i) {
        for (size_t j = i + 1; j < overlays.size(); ++j) {
            if (overlays[i].side != overlays[j].side) continue;
            size_t differ = 0, n = overlays[i].pixels.size() / 4;
            for (size_t p = 0; p < n; ++p)
                differ += std::abs(overlays[i].pixels[p * 4 + 3] - overlays[j].pixels[p * 4 + 3]) > 64;
            EXPECT_GT(differ, n / 20) << "rave0" << i + 1 << " and rave0" << j + 1 << " look alike";
        }
    }
}

TEST_F(DefaultMedia, SceneTexturesAreSquareAndDarkWithBrightAccents) {
    for (const char* name : {"jpg/tubekasse_cyl.tga", "jpg/tubekasse_cyl_inv.tga", "jpg/ .tga"}) {
        Tga t = readTga(name);
        ASSERT_EQ(t.bits, 24) << name;
        double mean, p99;
        // Stored B, G, R: luminance weights applied to the reversed triple.
        std::vector<uint8_t> rgb(t.pixels.size());
        for (size_t i = 0; i < t.pixels.size(); i += 3) {
            rgb[i] = t.pixels[i + 2];
            rgb[i + 1] = t.pixels[i + 1];
            rgb[i + 2] = t.pixels[i];
        }
        luminance(rgb.data(), rgb.size() / 3, 3, mean, p99);
        EXPECT_LT(mean, 0.45) << name << " would wash the picture out";
        EXPECT_GT(p99, 0.6) << name << " has no bright accents";
    }
    const bool haveConvert = std::system("command -v convert > /dev/null 2>&1") == 0;
    for (const char* name : {"jpg/tube_ydre.jpg", "jpg/tube_indre.jpg", "jpg/tube_lys.jpg", "jpg/cplatta02.jpg",
                             "jpg/pscene.jpg", "jpg/pscenesmallwall.jpg"}) {
        std::vector<uint8_t> b = member(name);
        int w = 0, h = 0, components = 0;
        bool baseline = false;
        ASSERT_TRUE(jpegFrame(b, w, h, components, baseline)) << name << " has no JPEG frame header";
        EXPECT_TRUE(baseline) << name;
        EXPECT_EQ(components, 3) << name << ": the show uploads colour JPEGs only";
        EXPECT_EQ(w, h) << name;
        EXPECT_TRUE(powerOfTwo(w)) << name;
        if (!haveConvert || w != h) continue;
        // Brightness through an independent decoder (ImageMagick), as raw RGB.
        const fs::path tmp = fs::temp_directory_path() / ("korvana-content-media-" + std::to_string(getpid()));
        FILE* f = std::fopen(tmp.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
        FILE* pipe = popen(("convert 'jpg:" + tmp.string() + "' -depth 8 rgb:-").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        size_t got = std::fread(rgb.data(), 1, rgb.size(), pipe);
        pclose(pipe);
        fs::remove(tmp);
        ASSERT_EQ(got, rgb.size()) << name;
        double mean, p99;
        luminance(rgb.data(), rgb.size() / 3, 3, mean, p99);
        EXPECT_LT(mean, 0.45) << name << " would wash the picture out";
        EXPECT_GT(p99, 0.5) << name << " has no bright accents";
    }
}

// MPEG-1 Layer III bit rates (kbit/s) by index.
const int kBitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};

TEST_F(DefaultMedia, SoundtrackIsStereoMp3ThatOutlastsTheShow) {
    FILE* f = std::fopen((kContent / "ripped.mp3").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> b;
    uint8_t buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    // Walk the frames from the first byte: each must follow the previous one exactly.
    size_t p = 0, frames = 0;
    while (p + 4 <= b.size()) {
        ASSERT_EQ(b[p], 0xFF) << "lost frame sync at byte " << p;
        ASSERT_EQ(b[p + 1] & 0xFE, 0xFA) << "not MPEG-1 Layer III at byte " << p;
        int bitrate = kBitrates[b[p + 2] >> 4];
        ASSERT_NE(bitrate, 0);
        ASSERT_EQ((b[p + 2] >> 2) & 3, 0) << "not 44.1 kHz";
        ASSERT_NE(b[p + 3] >> 6, 3) << "mono";
        p += 144 * bitrate * 1000 / 44100 + ((b[p + 2] >> 1) & 1);
        ++frames;
    }
    EXPECT_EQ(p, b.size()) << "trailing bytes after the last frame";
    // The first frame is LAME's Info tag; the rest is music, 1152 samples a frame.
    const double seconds = (frames - 1) * 1152.0 / 44100.0;
    EXPECT_GE(seconds, 150.0);
    EXPECT_LT(seconds, 200.0);
}

}  // namespace
