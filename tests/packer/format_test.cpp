// The bytes the packer writes: block layout, header CRCs, flags, and the Huffman code lengths it
// relies on.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "archive/archive.h"
#include "packer/huffman.h"
#include "packer/packer.h"
#include "packer_test_util.h"
#include "support/testdata.h"

namespace korvana::test {
namespace {

namespace fs = std::filesystem;

uint32_t le32(const std::vector<uint8_t>& v, size_t at) {
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 | uint32_t(v[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& v, size_t at) { return uint16_t(v[at] | v[at + 1] << 8); }

PackInput entry(const std::string& name, std::vector<uint8_t> data, uint32_t time = 0x5A8C6B21) {
    PackInput in;
    in.name = name;
    in.data = std::move(data);
    in.dosTime = time;
    return in;
}

TEST(PackerFormat, BlocksHeadersAndEndMarker) {
    PackOptions opt;
    opt.solid = true;
    opt.level = 3;
    std::vector<PackInput> files = {entry("a\\first.txt", textBytes(9000, 1), 0x12345678),
                                    entry("second.txt", textBytes(7000, 2)), entry("third.bin", {})};
    std::vector<uint8_t> a;
    std::string error;
    ASSERT_TRUE(buildArchive(files, opt, &a, &error)) << error;

    const uint8_t marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    ASSERT_GE(a.size(), 20u + 7u);
    EXPECT_EQ(std::memcmp(a.data(), marker, 7), 0);
    EXPECT_EQ(a[9], 0x73);
    EXPECT_EQ(le16(a, 10) & 0x08, 0x08) << "solid archive flag";
    EXPECT_EQ(le16(a, 12), 13);
    // The classic end-of-archive block, whose CRC everybody knows: C4 3D 7B 00 40 07 00.
    const uint8_t endBlock[7] = {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00};
    EXPECT_EQ(std::memcmp(a.data() + a.size() - 7, endBlock, 7), 0);

    // Walk the file blocks by their sizes.
    size_t at = 20;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].name);
        ASSERT_LT(at + 32, a.size());
        EXPECT_EQ(a[at + 2], 0x74);
        const uint16_t flags = le16(a, at + 3);
        EXPECT_TRUE(flags & 0x8000);
        EXPECT_EQ(bool(flags & 0x10), i >= 1) << "entries after a packed one continue the stream";
        EXPECT_EQ(le16(a, at + 5), 32 + files[i].name.size());
        EXPECT_EQ(le32(a, at + 11), files[i].data.size());
        EXPECT_EQ(le32(a, at + 20), files[i].dosTime);
        EXPECT_EQ(a[at + 24], 20) << "UnpVer";
        EXPECT_EQ(a[at + 25], files[i].data.empty() ? 0x30 : 0x33) << "Method";
        EXPECT_EQ(le16(a, at + 26), files[i].name.size());
        EXPECT_EQ(std::string(a.begin() + at + 32, a.begin() + at + 32 + files[i].name.size()), files[i].name);
        at += le16(a, at + 5) + le32(a, at + 7);
    }
    EXPECT_EQ(at + 7, a.size());

    // Our reader checks every header CRC while listing.
    ScratchDir dir;
    const fs::path path = dir.path() / "f.rar";
    ASSERT_TRUE(writeArchive(path.string(), files, opt, &error)) << error;
    ArchiveListing listing;
    ASSERT_EQ(archiveList(path.string().c_str(), listing), 1);
    EXPECT_TRUE(listing.complete);
    EXPECT_TRUE(listing.solidArchive);
    size_t fileBlocks = 0;
    for (const auto& b : listing.blocks) {
        EXPECT_TRUE(b.headerCrcOk) << b.name;
        fileBlocks += b.isFile();
    }
    EXPECT_EQ(fileBlocks, files.size());
}

// A folder between packed entries of a solid archive: a data-less entry with the folder's
// dictionary bits, never encrypted, after which the stream starts afresh (unar restarts it there);
// the show's reader still finds every file.
TEST(PackerFormat, FolderEntriesInASolidStream) {
    PackOptions opt;
    opt.solid = true;
    opt.password = "pw";
    PackInput folder = entry("docs", {});
    folder.directory = true;
    folder.hostOs = kHostUnix;
    folder.attributes = 040755;
    std::vector<PackInput> files = {entry("one.txt", textBytes(20000, 3)), folder,
                                    entry("docs\\two.txt", textBytes(20000, 4))};
    ScratchDir dir;
    const fs::path path = dir.path() / "d.rar";
    std::string error;
    ASSERT_TRUE(writeArchive(path.string(), files, opt, &error)) << error;
    ArchiveListing listing;
    ASSERT_EQ(archiveList(path.string().c_str(), listing), 1);
    ASSERT_EQ(listing.blocks.size(), 4u);
    const ArchiveEntryInfo& d = listing.blocks[1];
    EXPECT_TRUE(d.directory());
    EXPECT_FALSE(d.encrypted());
    EXPECT_EQ(d.dataSize, 0u);
    EXPECT_EQ(d.unpSize, 0u);
    EXPECT_EQ(d.hostOs, kHostUnix);
    EXPECT_EQ(d.attributes, 040755u);
    EXPECT_FALSE(listing.blocks[2].solid()) << "the stream starts afresh after a folder";
    for (const char* name : {"one.txt", "docs/two.txt"}) {
        std::vector<uint8_t> data;
        EXPECT_TRUE(readerExtract(path, name, "pw", &data)) << name;
        EXPECT_EQ(data, name[0] == 'o' ? textBytes(20000, 3) : textBytes(20000, 4)) << name;
    }
    if (haveUnar()) {
        ASSERT_TRUE(unarExtract(path, dir.path() / "u", "pw"));
        EXPECT_TRUE(fs::is_directory(dir.path() / "u" / "docs"));
        EXPECT_EQ(readFile(dir.path() / "u" / "docs" / "two.txt"), textBytes(20000, 4));
    }
}

TEST(PackerFormat, EncryptedEntriesAreWholeCipherBlocks) {
    PackOptions opt;
    opt.password = "pw";
    for (int level : {0, 3}) {
        opt.level = level;
        std::vector<uint8_t> a;
        ASSERT_TRUE(buildArchive({entry("x.txt", textBytes(1001, 3))}, opt, &a, nullptr));
        EXPECT_TRUE(le16(a, 20 + 3) & 0x04);
        EXPECT_EQ(le32(a, 20 + 7) % 16, 0u);
    }
}

TEST(PackerFormat, RejectsWhatNoReaderCouldTakeBack) {
    std::vector<uint8_t> a;
    std::string error;
    PackOptions opt;
    EXPECT_FALSE(buildArchive({entry("", {1})}, opt, &a, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(buildArchive({entry(std::string(260, 'n'), {1})}, opt, &a, &error));
    EXPECT_TRUE(buildArchive({entry(std::string(259, 'n'), {1})}, opt, &a, &error)) << error;
    opt.password = std::string(255, 'p');
    EXPECT_FALSE(buildArchive({entry("a", {1})}, opt, &a, &error));
    opt.password.clear();
    opt.level = 6;
    EXPECT_FALSE(buildArchive({entry("a", {1})}, opt, &a, &error));
}

TEST(PackerFormat, FailedWriteKeepsTheOldArchive) {
    ScratchDir dir;
    const fs::path path = dir.path() / "keep.rar";
    { std::ofstream(path, std::ios::binary) << "old contents"; }
    std::string error;
    PackOptions opt;
    EXPECT_FALSE(writeArchive(path.string(), {entry("", {1, 2})}, opt, &error));
    EXPECT_EQ(readFile(path), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', 's'}));
    EXPECT_FALSE(writeArchive((dir.path() / "no-such-dir" / "x.rar").string(), {entry("a", {1})}, opt, &error));
    EXPECT_NE(error.find("temporary"), std::string::npos) << error;
    // Nothing but the old archive is left behind.
    size_t count = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) count += e.is_regular_file();
    EXPECT_EQ(count, 1u);
    ASSERT_TRUE(writeArchive(path.string(), {entry("a", {1})}, opt, &error)) << error;
    std::vector<uint8_t> out;
    EXPECT_TRUE(readerExtract(path, "a", "", &out));
}

TEST(PackerFormat, DosTime) {
    // Archives record local time; pin the zone so that the fields are known.
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    const uint32_t t = dosTimeFromUnix(1000000000);  // 2001-09-09 01:46:40 UTC
    const uint32_t early = dosTimeFromUnix(0);
    if (oldTz) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_EQ(t >> 25, 2001u - 1980u);
    EXPECT_EQ((t >> 21) & 15, 9u);
    EXPECT_EQ((t >> 16) & 31, 9u);
    EXPECT_EQ((t >> 11) & 31, 1u);
    EXPECT_EQ((t >> 5) & 63, 46u);
    EXPECT_EQ((t & 31) * 2, 40u);
    EXPECT_EQ(early, 0x00210000u) << "times before 1980 become 1980-01-01 00:00";
}

TEST(PackerHuffman, LengthsAreLimitedAndComplete) {
    // Fibonacci frequencies make a plain Huffman code as deep as the alphabet is long.
    std::vector<uint32_t> fib(40);
    fib[0] = fib[1] = 1;
    for (size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2];
    for (const auto& freqs : {fib, std::vector<uint32_t>(298, 1), std::vector<uint32_t>{0, 0, 5, 0},
                              std::vector<uint32_t>(19, 0)}) {
        const std::vector<uint8_t> len = buildCodeLengths(freqs);
        uint64_t kraft = 0;
        size_t used = 0;
        for (size_t i = 0; i < len.size(); ++i) {
            EXPECT_LE(len[i], kMaxCodeLength);
            if (freqs[i] > 0) {
                EXPECT_GT(len[i], 0) << "a used symbol must get a code";
            }
            if (len[i]) {
                kraft += uint64_t(1) << (kMaxCodeLength - len[i]);
                ++used;
            }
        }
        EXPECT_GE(used, 2u);
        EXPECT_EQ(kraft, uint64_t(1) << kMaxCodeLength) << "the code must be complete";
    }
    // Canonical codes: sorted by length, then symbol; each a prefix of none.
    const std::vector<uint8_t> len = {2, 1, 3, 3};
    EXPECT_EQ(canonicalCodes(len), (std::vector<uint16_t>{2, 0, 6, 7}));
}

// The reference: RAR 2.0 itself packed this WAV to 42551 bytes with LZ and 27902 in multimedia mode.
TEST(PackerCompression, BeatsRar20OnTheSampleWav) {
    KORVANA_REQUIRE_TESTDATA();
    std::vector<uint8_t> wav;
    ASSERT_TRUE(readerExtract(testdataDir() / "rar" / "wav-regular-v20.rar", "BoatModernEnglish.wav", "", &wav));
    ASSERT_EQ(wav.size(), 56464u);
    for (auto mode : {PackOptions::Multimedia::Off, PackOptions::Multimedia::Auto}) {
        PackOptions opt;
        opt.level = 5;
        opt.multimedia = mode;
        std::vector<uint8_t> a;
        ASSERT_TRUE(buildArchive({entry("BoatModernEnglish.wav", wav)}, opt, &a, nullptr));
        const uint32_t packSize = le32(a, 20 + 7);
        EXPECT_LE(packSize, mode == PackOptions::Multimedia::Off ? 42551u : 27902u);
    }
    expectRoundTrip({entry("BoatModernEnglish.wav", wav)}, PackOptions{}, "sample wav");
}

}  // namespace
}  // namespace korvana::test
