// Damaged copies of the shared archives: every one must fail or succeed cleanly, never crash,
// hang or read outside a buffer (run this under -DKORVANA_SANITIZE=ON).
#include <gtest/gtest.h>

#include <random>

#include "archive_test_support.h"
#include "support/testdata.h"

namespace korvana::test {
namespace {

struct Sample {
    const char* archive;
    std::vector<std::string> entries;
};

const std::vector<Sample> kSamples = {
    {"wav-regular-v20.rar", {"BoatModernEnglish.wav", "LICENSE.txt"}},
    {"encrypted-stored-v20.rar", {"SECRET.TXT"}},
    {"encrypted-packed-v20.rar", {"SECRET.TXT"}},
    {"comments-v20.rar", {"FILE2.TXT"}},
    {"subblock-v20.rar", {"file1.txt"}},
    {"bad-header-crc-v20.rar", {"payload.txt"}},
    {"wav-regular-v15.rar", {"LICENSE.txt"}},
};

// A successful extraction of a damaged copy must still be exactly right: the CRC vouches for it.
// The tools' walk takes the entry the same way: the same bytes, or a failure for the same reason.
void checkOne(const std::filesystem::path& path, const std::string& entry, const Extraction& reference) {
    LastReason reason;
    const Extraction e = extract(path, entry.c_str(), "password");
    const std::string extractReason = reason.last;
    const WalkedEntry walked = walkTo(path, entry, "password");
    if (walked.seen) {
        EXPECT_EQ(walked.ok, e.result == 1);
        if (walked.ok) {
            EXPECT_EQ(walked.bytes, e.bytes);
        } else if (e.result == 0) {
            EXPECT_EQ(walked.reason, extractReason);
        }
    } else {
        EXPECT_EQ(e.result, 0);
    }
    ASSERT_TRUE(e.result == 0 || e.result == 1);
    if (e.result == 1) {
        EXPECT_EQ(e.bytes.size(), e.size);
        if (reference.result == 1) {
            EXPECT_EQ(e.bytes, reference.bytes);
        }
    } else {
        EXPECT_TRUE(e.bufferNull);
        EXPECT_EQ(e.size, 0u);
    }
    ArchiveListing listing;
    archiveList(path.string().c_str(), listing);
}

TEST(DamagedArchives, TruncationsAndBitFlips) {
    KORVANA_REQUIRE_TESTDATA();
    TempDir dir;
    startFreshLog(dir);
    setDebugLogPath(nullptr);
    debugLogInit(nullptr);  // thousands of calls: keep the log out of it
    const std::filesystem::path damaged = dir / "damaged.rar";
    std::mt19937 random(20261207);
    int runs = 0;
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.archive);
        const std::filesystem::path original = testdataDir() / "rar" / sample.archive;
        const Bytes bytes = readFileBytes(original);
        ASSERT_FALSE(bytes.empty());
        for (const std::string& entry : sample.entries) {
            const Extraction reference = extract(original, entry.c_str(), "password");
            // Every cut in the headers and near the ends, sparser through long data.
            for (size_t cut = 0; cut < bytes.size(); cut += (cut < 256 || bytes.size() - cut < 256) ? 1 : 997) {
                writeFileBytes(damaged, Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
                checkOne(damaged, entry, reference);
                ++runs;
            }
            const int flips = bytes.size() > 1000 ? 40 : 160;
            for (int i = 0; i < flips; ++i) {
                Bytes copy = bytes;
                // Mostly the headers (first 128 bytes), sometimes anywhere.
                const size_t span = (i % 4 == 0) ? copy.size() : std::min<size_t>(copy.size(), 128);
                const size_t at = random() % span;
                copy[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                if (i % 5 == 0) copy[random() % span] = static_cast<uint8_t>(random());
                writeFileBytes(damaged, copy);
                checkOne(damaged, entry, reference);
                ++runs;
            }
        }
    }
    EXPECT_GT(runs, 1000);
}

}  // namespace
}  // namespace korvana::test
