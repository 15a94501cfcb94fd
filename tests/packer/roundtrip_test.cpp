// Archives written by the packer must extract byte for byte in an extractor we did not write.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "packer/packer.h"
#include "packer/rar20_encoder.h"
#include "packer_test_util.h"
#include "support/testdata.h"

namespace korvana::test {
namespace {

PackInput entry(const std::string& name, std::vector<uint8_t> data) {
    PackInput in;
    in.name = name;
    in.data = std::move(data);
    in.dosTime = 0x5A8C6B21;
    return in;
}

TEST(PackerRoundTrip, StoredEntriesOfEverySize) {
    PackOptions opt;
    opt.level = 0;
    std::vector<PackInput> files = {entry("empty.bin", {}), entry("one.bin", {0x42}),
                                    entry("dir\\sub\\text.txt", textBytes(5000, 1)),
                                    entry("random.bin", randomBytes(70000, 2))};
    expectRoundTrip(files, opt, "stored");
}

TEST(PackerRoundTrip, EveryLevelOnEveryKindOfData) {
    for (int level = 1; level <= 5; ++level) {
        PackOptions opt;
        opt.level = level;
        opt.storeIncompressible = false;  // exercise the LZ coder on what it cannot shrink too
        std::vector<PackInput> files = {entry("text.txt", textBytes(120000, 3)),
                                        entry("random.bin", randomBytes(40000, 4)),
                                        entry("zeros.bin", std::vector<uint8_t>(200000, 0)),
                                        entry("binary.bin", binaryBytes(80000, 5)),
                                        entry("one.bin", {7}),
                                        entry("two.bin", {7, 7}),
                                        entry("empty.bin", {})};
        expectRoundTrip(files, opt, "level " + std::to_string(level));
    }
}

TEST(PackerRoundTrip, SolidSetsOfManyFiles) {
    // Later entries refer back into earlier ones; the mix of sizes and kinds makes entries start
    // in the middle of all sorts of decoder states, and a stored entry sits among packed ones.
    for (int level : {1, 3, 5}) {
        PackOptions opt;
        opt.level = level;
        opt.solid = true;
        std::vector<PackInput> files;
        const std::vector<uint8_t> shared = textBytes(30000, 7);
        for (int i = 0; i < 40; ++i) {
            std::vector<uint8_t> d;
            switch (i % 5) {
                case 0: d = textBytes(1000 + 300 * i, 100 + i); break;
                case 1: d.assign(shared.begin() + i * 100, shared.begin() + i * 100 + 2000); break;
                case 2: d = binaryBytes(500 + 97 * i, 200 + i); break;
                case 3: d = (i % 2) ? std::vector<uint8_t>{} : std::vector<uint8_t>{static_cast<uint8_t>(i)}; break;
                case 4: d = audioBytes(3000, 2, 2, 300 + i); break;
            }
            files.push_back(entry("set\file" + std::to_string(i) + ".dat", d));
        }
        files[12].level = 0;
        expectRoundTrip(files, opt, "solid level " + std::to_string(level));
    }
}

TEST(PackerRoundTrip, EncryptedStoredAndPacked) {
    for (bool solid : {false, true}) {
        for (int level : {0, 3}) {
            PackOptions opt;
            opt.level = level;
            opt.solid = solid;
            opt.password = "korvana secret";
            std::vector<PackInput> files = {entry("a.txt", textBytes(40000, 11)), entry("b.bin", {1, 2, 3}),
                                            entry("c.bin", binaryBytes(16 * 100, 12)), entry("d.bin", {})};
            expectRoundTrip(files, opt, std::string(solid ? "solid " : "") + "encrypted level " + std::to_string(level));
        }
    }
}

TEST(PackerRoundTrip, EncryptedEntryNeedsThePassword) {
    ScratchDir dir;
    const auto archive = dir.path() / "e.rar";
    PackOptions opt;
    opt.password = "right";
    const std::vector<uint8_t> text = textBytes(20000, 13);
    std::string error;
    ASSERT_TRUE(writeArchive(archive.string(), {entry("t.txt", text)}, opt, &error)) << error;
    const std::vector<uint8_t> bytes = readFile(archive);
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), text.begin(), text.begin() + 64), bytes.end());
    std::vector<uint8_t> out;
    EXPECT_FALSE(readerExtract(archive, "t.txt", "wrong", &out));
    EXPECT_FALSE(readerExtract(archive, "t.txt", "", &out));
    EXPECT_TRUE(readerExtract(archive, "t.txt", "right", &out));
    EXPECT_TRUE(out == text);
}

TEST(PackerRoundTrip, MultimediaWithOneToFourChannels) {
    for (unsigned channels = 1; channels <= 4; ++channels) {
        for (auto mode : {PackOptions::Multimedia::On, PackOptions::Multimedia::Auto}) {
            PackOptions opt;
            opt.multimedia = mode;
            opt.level = 3;
            // 8-bit samples on `channels` channels, and 16-bit ones on channels / 2.
            std::vector<PackInput> files = {entry("a8.raw", audioBytes(20000, channels, 1, channels))};
            if (channels % 2 == 0) files.push_back(entry("a16.raw", audioBytes(15000, channels / 2, 2, 9 + channels)));
            expectRoundTrip(files, opt, std::to_string(channels) + " channels, mode " + std::to_string(int(mode)));
        }
    }
}

TEST(PackerRoundTrip, OneEntrySwitchingBetweenLzAndAudio) {
    // Text, 16-bit stereo, binary records, 8-bit mono, noise, text again: the coder must change
    // mode, channel count and tables inside one entry (tables sent whole and as deltas).
    std::vector<uint8_t> mixed;
    for (const auto& part : {textBytes(40000, 51), audioBytes(15000, 2, 2, 52), binaryBytes(40000, 53),
                             audioBytes(100000, 1, 1, 54), randomBytes(20000, 55), textBytes(40000, 56),
                             audioBytes(12000, 3, 1, 57)}) {
        mixed.insert(mixed.end(), part.begin(), part.end());
    }
    for (int level : {2, 4}) {
        pack::Rar20Encoder encoder(level, PackOptions::Multimedia::Auto);
        const std::vector<uint8_t> packed = encoder.encodeEntry(mixed.data(), mixed.size(), false);
        EXPECT_LT(packed.size(), mixed.size());
        EXPECT_GE(encoder.stats().audioBlocks, 2u) << "level " << level;
        EXPECT_GE(encoder.stats().lzBlocks, 2u) << "level " << level;
        EXPECT_GE(encoder.stats().deltaTables, 1u) << "level " << level;
        PackOptions opt;
        opt.level = level;
        expectRoundTrip({entry("mixed.bin", mixed)}, opt, "mixed level " + std::to_string(level));
    }
}

TEST(PackerRoundTrip, EntriesLongerThanTheWindow) {
    // 1.5 MiB and 4.5 MiB: the decoder's window wraps, and matches reach back close to 1 MiB.
    std::vector<uint8_t> big = textBytes(600000, 21);
    const std::vector<uint8_t> noise = randomBytes(400000, 22);
    big.insert(big.end(), noise.begin(), noise.end());
    big.insert(big.end(), big.begin() + 1000, big.begin() + 500000);  // repeats ~1 MB back
    std::vector<uint8_t> huge;
    for (int i = 0; i < 9; ++i) {
        const std::vector<uint8_t> part = i % 3 == 0 ? randomBytes(480000, 30 + i) : binaryBytes(480000, 40 + i);
        huge.insert(huge.end(), part.begin(), part.end());
    }
    PackOptions opt;
    opt.level = 1;
    opt.multimedia = PackOptions::Multimedia::Off;
    expectRoundTrip({entry("big.bin", big), entry("huge.bin", huge)}, opt, "window wrap");
}

TEST(PackerRoundTrip, LargeEntryPackedInPieces) {
    // 6 MiB of text, audio and records with repeats reaching back almost 1 MiB: several pieces,
    // history dropped twice, blocks flushed as they fill.
    std::vector<uint8_t> data = textBytes(1600000, 61);
    data.insert(data.end(), data.end() - 1000000, data.end() - 400000);
    for (const auto& part : {audioBytes(300000, 2, 2, 62), binaryBytes(1000000, 63)}) data.insert(data.end(), part.begin(), part.end());
    data.insert(data.end(), data.end() - 1040000, data.end() - 200000);
    data.insert(data.end(), data.begin(), data.begin() + 900000);

    // The pieces the input arrives in do not change the packed stream.
    pack::Rar20Encoder whole(2, PackOptions::Multimedia::Auto), pieces(2, PackOptions::Multimedia::Auto);
    const std::vector<uint8_t> once = whole.encodeEntry(data.data(), data.size(), false);
    pieces.beginEntry(false);
    std::vector<uint8_t> fed;
    for (size_t at = 0, n = 1; at < data.size(); at += n, n = n * 7 % 100003 + 1) {
        n = std::min(n, data.size() - at);
        pieces.feed(data.data() + at, n);
        const std::vector<uint8_t> done = pieces.takeOutput();
        fed.insert(fed.end(), done.begin(), done.end());
    }
    const std::vector<uint8_t> rest = pieces.finishEntry();
    fed.insert(fed.end(), rest.begin(), rest.end());
    EXPECT_TRUE(fed == once);
    EXPECT_LT(once.size(), data.size() / 3);

    // From a file, solid (the next entry continues from its tail) and encrypted.
    ScratchDir dir;
    const std::filesystem::path file = dir.path() / "large.bin";
    std::FILE* f = std::fopen(file.string().c_str(), "wb");
    ASSERT_TRUE(f && std::fwrite(data.data(), 1, data.size(), f) == data.size());
    std::fclose(f);
    PackInput large = entry("large.bin", {});
    large.path = file.string();
    PackOptions opt;
    opt.level = 3;
    opt.solid = true;
    opt.password = "pieces";
    expectRoundTrip({large, entry("tail.bin", std::vector<uint8_t>(data.end() - 300000, data.end()))}, opt, "pieces");
}

}  // namespace
}  // namespace korvana::test
