// The decoder on real packed data written by the RAR 2.0 archiver, and on broken data: cut short,
// bits flipped, plain noise. Broken input must end in a failed check, never a crash, a hang or a
// read or write out of bounds (this suite is meant to run under the sanitizers as well).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "archive/archive.h"
#include "archive_test_support.h"
#include "support/testdata.h"
#include "unpack_harness.h"

namespace korvana {
namespace {

using test::Decoder;

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

// The complemented CRC, as an entry's header records it.
uint32_t crc32(const std::vector<uint8_t>& data) { return ~test::bitwiseCrc32(data.data(), data.size()); }

// The first file entry of a plain RAR 2.x archive, located by hand.
struct PackedEntry {
    size_t dataOffset = 0;
    std::vector<uint8_t> packed;
    uint32_t unpSize = 0;
    uint32_t fileCrc = 0;
    uint8_t method = 0;
};

PackedEntry firstEntry(const std::vector<uint8_t>& archive) {
    const size_t mainHeader = 7;
    const size_t fileHeader = mainHeader + le16(archive, mainHeader + 5);
    PackedEntry e;
    const uint32_t packSize = le32(archive, fileHeader + 7);
    e.unpSize = le32(archive, fileHeader + 11);
    e.fileCrc = le32(archive, fileHeader + 16);
    e.method = archive.at(fileHeader + 25);
    e.dataOffset = fileHeader + le16(archive, fileHeader + 5);
    e.packed.assign(archive.begin() + static_cast<long>(e.dataOffset),
                    archive.begin() + static_cast<long>(e.dataOffset + packSize));
    return e;
}

TEST(UnpackRealData, WavPackedByTheArchiverDecodesExactly) {
    KORVANA_REQUIRE_TESTDATA();
    const PackedEntry e = firstEntry(test::readFileBytes(test::testdataDir() / "rar" / "wav-regular-v20.rar"));
    ASSERT_EQ(e.method, 0x35);
    ASSERT_EQ(e.unpSize, 56464u);
    Decoder d;
    const std::vector<uint8_t> out = d.decode(e.packed, e.unpSize);
    ASSERT_EQ(out.size(), e.unpSize);
    EXPECT_EQ(crc32(out), e.fileCrc);

    // The same state decoding the entry again as a new, non-solid entry gives the same bytes.
    EXPECT_EQ(d.decode(e.packed, e.unpSize), out);
}

TEST(UnpackRealData, TruncatedAndFlippedPackedDataFailsSafely) {
    KORVANA_REQUIRE_TESTDATA();
    const PackedEntry e = firstEntry(test::readFileBytes(test::testdataDir() / "rar" / "wav-regular-v20.rar"));
    Decoder d;

    // Cut short: the decoder stops at the end of what is there.
    for (size_t keep = 0; keep < e.packed.size(); keep += 1 + keep / 3) {
        const std::vector<uint8_t> cut(e.packed.begin(), e.packed.begin() + static_cast<long>(keep));
        const std::vector<uint8_t> out = d.decode(cut, e.unpSize);
        EXPECT_LT(out.size(), e.unpSize) << keep;
        // A huge claimed size changes nothing: the decoder still stops where the bytes end.
        d.decode(cut, 0xFFFFFF00u, false, /*wanted=*/false);
        EXPECT_GE(d.state->DestUnpSize, int64_t{0xFFFFFF00u} - 1 - int64_t{2080} * static_cast<int64_t>(keep));
    }

    // Flipped bits: whatever comes out stays within the output buffer and the data's bound.
    std::mt19937 random(20261207);
    int failed = 0;
    for (int i = 0; i < 150; ++i) {
        std::vector<uint8_t> flipped = e.packed;
        const int flips = 1 + i % 3;
        for (int f = 0; f < flips; ++f) {
            flipped[random() % flipped.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        }
        const std::vector<uint8_t> out = d.decode(flipped, e.unpSize);
        if (out.size() != e.unpSize || crc32(out) != e.fileCrc) ++failed;
    }
    EXPECT_GT(failed, 140);  // a flip almost always shows; the CRC check is the reader's guard
}

TEST(UnpackRealData, NoiseStreamsAndSolidChainsStayInBounds) {
    std::mt19937 random(7);
    Decoder d;
    for (int i = 0; i < 400; ++i) {
        std::vector<uint8_t> noise(1 + random() % 3000);
        for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
        if (i % 4 == 0) noise[0] |= 0x80;  // a multimedia table set first
        const uint32_t unpSize = random() % 300000;
        const bool solid = i % 5 != 0;
        const bool wanted = i % 7 != 3;
        const std::vector<uint8_t> out = d.decode(noise, unpSize, solid, wanted);
        ASSERT_LE(out.size(), unpSize);
        ASSERT_LE(d.produced, unpSize);
        ASSERT_LT(d.state->UnpPtr, UNP_WINDOW_SIZE + 1);
        ASSERT_LT(d.state->CurChannel, 4u);
    }
}

// Through the whole reader: the shared packed archives cut short and with flipped bits.
TEST(UnpackRealData, BrokenPackedArchivesFailThroughTheReader) {
    KORVANA_REQUIRE_TESTDATA();
    const test::TempDir dir;
    struct Case {
        const char* archive;
        const char* entry;
        const char* password;
    };
    std::mt19937 random(99);
    for (const Case c : {Case{"wav-regular-v20.rar", "BoatModernEnglish.wav", ""},
                         Case{"encrypted-packed-v20.rar", "SECRET.TXT", "password"}}) {
        const std::vector<uint8_t> original = test::readFileBytes(test::testdataDir() / "rar" / c.archive);
        const PackedEntry e = firstEntry(original);
        const std::filesystem::path path = dir / c.archive;
        auto attempt = [&](const std::vector<uint8_t>& bytes) {
            test::writeFileBytes(path, bytes);
            uint8_t* buffer = nullptr;
            uint32_t size = 0;
            const int result = archiveExtract(&buffer, &size, c.entry, path.string().c_str(), c.password);
            if (result == 1) {
                const std::vector<uint8_t> got(buffer, buffer + size);
                EXPECT_EQ(crc32(got), e.fileCrc);
            } else {
                EXPECT_EQ(buffer, nullptr);
                EXPECT_EQ(size, 0u);
            }
            std::free(buffer);
            return result;
        };
        ASSERT_EQ(attempt(original), 1) << c.archive;

        // Any success above had to match the CRC; nearly every case has to fail.
        int cases = 0;
        int succeeded = 0;
        std::vector<size_t> keeps = {original.size() - 1, original.size() - 2};
        for (size_t keep = e.dataOffset; keep < original.size() - 2; keep += 1 + (keep - e.dataOffset) / 2) {
            keeps.push_back(keep);
        }
        for (size_t keep : keeps) {
            ++cases;
            succeeded += attempt(std::vector<uint8_t>(original.begin(), original.begin() + static_cast<long>(keep)));
        }
        for (int i = 0; i < 40; ++i) {
            std::vector<uint8_t> flipped = original;
            const size_t at = e.dataOffset + random() % e.packed.size();
            flipped[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            ++cases;
            succeeded += attempt(flipped);
        }
        EXPECT_LE(succeeded * 20, cases) << c.archive;
    }
}

}  // namespace
}  // namespace korvana
