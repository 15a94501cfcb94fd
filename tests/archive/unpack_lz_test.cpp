// The LZ decoder on hand-built streams: every match code, the match history, table sets and
// their deltas and run codes, the window wrap and copy-out in pieces, solid entries, and the
// failures (more output than UnpSize, packed data ending early).
#include <gtest/gtest.h>

#include <random>

#include "archive_test_support.h"
#include "unpack_harness.h"

namespace korvana {
namespace {

using test::Decoder;
using test::LzScenario;
using test::StreamWriter;

LzScenario withTables() {
    LzScenario s;
    s.writer.lzTables(test::defaultLd(), test::defaultDd(), test::defaultRd());
    return s;
}

std::vector<uint8_t> decodeScenario(LzScenario& s, Decoder& d, bool solid = false) {
    return d.decode(s.writer.bits.bytes(8), static_cast<uint32_t>(s.expected.size()), solid);
}

TEST(UnpackLz, LiteralThenOverlappingMatch) {
    LzScenario s = withTables();
    s.literal('x');
    s.match(10, 1);
    ASSERT_EQ(s.expected, std::vector<uint8_t>(11, 'x'));
    Decoder d;
    EXPECT_EQ(decodeScenario(s, d), s.expected);

    // Overlapping copies with other periods, and long and short codes of every table.
    LzScenario t = withTables();
    for (uint8_t c : {'a', 'b', 'c'}) t.literal(c);
    t.match(20, 3);    // period 3
    t.match(40, 9);    // period 9, copied in word steps
    t.match(100, 60);  // no overlap
    for (uint32_t v = 0; v < 256; ++v) t.literal(static_cast<uint8_t>(v));
    t.match(258, 256);
    t.shortDistance(1);
    t.shortDistance(5);
    t.shortDistance(13);
    t.shortDistance(200);
    EXPECT_EQ(decodeScenario(t, d), t.expected);

    // Every short length at every small distance, overlapping or not.
    LzScenario u = withTables();
    for (uint32_t i = 0; i < 64; ++i) u.literal(static_cast<uint8_t>(i * 37 + 11));
    for (uint32_t dist = 1; dist <= 20; ++dist) {
        for (uint32_t len = 3; len <= 40; ++len) {
            u.match(len, dist);
            u.literal(static_cast<uint8_t>(dist * 7 + len));
        }
        u.shortDistance(dist);
    }
    EXPECT_EQ(decodeScenario(u, d), u.expected);
}

TEST(UnpackLz, LengthBonusesOfDistantMatches) {
    LzScenario s = withTables();
    for (uint32_t i = 0; i < 300; ++i) s.literal(static_cast<uint8_t>(i * 7 + 1));
    s.run('q', 0x50000);
    for (uint32_t i = 0; i < 50; ++i) s.literal(static_cast<uint8_t>(i * 13));
    s.match(10, 0x1FFF);   // no bonus
    s.match(10, 0x2000);   // +1
    s.match(10, 0x40000);  // +2
    s.match(260, 0x50020); // longest match
    s.match(5, UNP_WINDOW_SIZE);  // the byte exactly one window back
    Decoder d;
    EXPECT_EQ(decodeScenario(s, d), s.expected);
}

TEST(UnpackLz, OldDistancesPickTheNthMostRecent) {
    for (uint32_t nth = 1; nth <= 4; ++nth) {
        LzScenario s = withTables();
        for (uint32_t i = 0; i < 300; ++i) s.literal(static_cast<uint8_t>(i * 31 + 5));
        s.run('r', 0x41000);
        for (uint32_t i = 0; i < 40; ++i) s.literal(static_cast<uint8_t>(i * 3));
        // Four distances with different bonuses, the last the most recent.
        s.match(6, 0x40010);
        s.match(4, 7);
        s.match(5, 0x2100);
        s.match(4, 0x180);
        s.oldDistance(nth, 9);
        s.oldDistance(1, 12);  // the distance just used is now the most recent
        Decoder d;
        EXPECT_EQ(decodeScenario(s, d), s.expected) << nth;
        EXPECT_EQ(d.state->LastLength, 12u);
    }
}

TEST(UnpackLz, RepeatCodeAfterNewTablesRepeatsThePreviousSetsMatch) {
    LzScenario s = withTables();
    for (uint8_t c : {'k', 'l', 'm', 'n', 'o'}) s.literal(c);
    s.match(7, 4);
    s.shortDistance(3);  // length 2, distance 3: the last match now
    s.writer.newTablesCode();
    // A different set sent as deltas against the old one.
    std::vector<uint8_t> ld = test::variedLengths(298, 9);
    std::vector<uint8_t> dd = test::variedLengths(48, 5);
    std::vector<uint8_t> rd = test::variedLengths(28, 5);
    s.writer.lzTables(ld, dd, rd, /*keepOld=*/true);
    s.repeatLast();
    s.repeatLast();
    s.literal('z');
    Decoder d;
    EXPECT_EQ(decodeScenario(s, d), s.expected);
    // 256 leaves the last match alone but still enters the history.
    EXPECT_EQ(d.state->LastLength, 2u);
    EXPECT_EQ(d.state->LastDist, 3u);
    EXPECT_EQ(d.state->OldDistPtr, 4u);
}

TEST(UnpackLz, CodeLengthRunCodes) {
    // A set written with the run codes by hand: symbols 198..201 get 2 bits each (one length,
    // then code 16 repeating it), everything else no code.
    test::BitWriter w;
    w.put(0, 2);                               // LZ, old lengths cleared
    for (int i = 0; i < 19; ++i) w.put(5, 4);  // code-length codes: value v is v in 5 bits
    w.put(18, 5); w.put(127, 7);               // 138 zeros: 0..137
    w.put(17, 5); w.put(7, 3);                 // 10 zeros: 138..147
    w.put(18, 5); w.put(36, 7);                // 47 zeros: 148..194
    w.put(16, 5); w.put(0, 2);                 // previous length (0) 3 times: 195..197
    w.put(2, 5);                               // 198: length 2
    w.put(16, 5); w.put(0, 2);                 // 199..201: length 2
    w.put(18, 5); w.put(127, 7);               // 202..339
    w.put(18, 5); w.put(23, 7);                // 340..373
    for (uint32_t code : {0u, 1u, 2u, 3u, 0u}) w.put(code, 2);
    Decoder d;
    EXPECT_EQ(d.decode(w.bytes(8), 5), (std::vector<uint8_t>{198, 199, 200, 201, 198}));
}

TEST(UnpackLz, RunCodeAtPositionZeroAndOverfullSet) {
    test::BitWriter w;
    // First set: 'p' (112) and 'q' (113) 1 bit each.
    w.put(0, 2);
    for (int i = 0; i < 19; ++i) w.put(5, 4);
    w.put(16, 5); w.put(3, 2);               // run at position 0: six times length 0
    w.put(18, 5); w.put(106 - 11, 7);        // 106 zeros: position 112
    w.put(1, 5); w.put(1, 5);                // 112, 113 -> 1
    w.put(18, 5); w.put(138 - 11, 7);        // 114..251
    w.put(18, 5); w.put(17 - 11, 7);         // 252..268
    w.put(1, 5);                             // 269: a third 1-bit code, one too many
    // An over-full set still decodes: 'p' = 0, 'q' = 1, and 269 is out of reach.
    w.put(18, 5); w.put(104 - 11, 7);        // 270..373
    w.put(0, 1); w.put(1, 1); w.put(0, 1);   // p q p
    Decoder d;
    EXPECT_EQ(d.decode(w.bytes(8), 3), (std::vector<uint8_t>{'p', 'q', 'p'}));
    for (uint32_t i = 0; i < 374; ++i) {
        const uint8_t expected = (i == 112 || i == 113 || i == 269) ? 1 : 0;
        ASSERT_EQ(d.state->UnpOldTable[i], expected) << i;
    }
    for (uint32_t i = 374; i < UNP_MAX_TABLE; ++i) ASSERT_EQ(d.state->UnpOldTable[i], 0) << i;
}

// The decode-table search exactly as the format defines it, for checking the decoder's faster
// lookup on every kind of code set, broken ones included.
struct ReferenceTable {
    uint32_t decodeLen[16] = {};
    uint32_t decodePos[16] = {};
    std::vector<uint32_t> decodeNum;
    uint32_t maxNum = 0;

    explicit ReferenceTable(const std::vector<uint8_t>& lengths) : decodeNum(lengths.size(), 0) {
        uint32_t count[16] = {};
        for (uint8_t l : lengths) ++count[l & 15];
        count[0] = 0;
        uint64_t n = 0;
        for (uint32_t l = 1; l < 16; ++l) {
            n = 2 * (n + count[l]);
            decodeLen[l] = static_cast<uint32_t>(std::min<uint64_t>(n << (15 - l), 0xFFFF));
            decodePos[l] = decodePos[l - 1] + count[l - 1];
        }
        uint32_t next[16];
        std::copy(std::begin(decodePos), std::end(decodePos), next);
        for (uint32_t i = 0; i < lengths.size(); ++i) {
            if (lengths[i] & 15) decodeNum[next[lengths[i] & 15]++] = i;
        }
        maxNum = static_cast<uint32_t>(lengths.size());
    }
    // `bits` holds the stream, `pos` the bit position.
    uint32_t decode(const std::vector<uint8_t>& bytes, uint64_t& pos) const {
        uint32_t b = 0;
        for (uint32_t i = 0; i < 16; ++i) {
            const uint64_t at = pos + i;
            const uint32_t bit = at / 8 < bytes.size() ? (bytes[at / 8] >> (7 - at % 8)) & 1 : 0;
            b = (b << 1) | bit;
        }
        b &= 0xFFFE;
        uint32_t l = 1;
        while (l < 15 && b >= decodeLen[l]) ++l;
        pos += l;
        uint32_t n = decodePos[l] + ((b - decodeLen[l - 1]) >> (16 - l));
        if (n >= maxNum) n = 0;
        return decodeNum[n];
    }
};

TEST(UnpackLz, EveryCodeSetDecodesAsTheTableSearchDoes) {
    // Literal-only sets (symbols 256 and up have no code), so every decoded symbol is one output
    // byte: complete, incomplete, over-full, short and long codes.
    std::mt19937 random(4242);
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> ld(298, 0), dd(48, 0), rd(28, 0);
        const uint32_t shortest = 1 + round % 15;
        const uint32_t used = 1 + random() % 256;
        for (uint32_t i = 0; i < used; ++i) {
            ld[random() % 256] = static_cast<uint8_t>(shortest + random() % (16 - shortest));
        }
        StreamWriter s;
        s.lzTables(ld, dd, rd);
        const uint64_t start = s.bits.bitCount();
        const uint32_t count = 4000;
        for (uint32_t i = 0; i < count * 2; ++i) s.bits.put(random() & 0xFF, 8);
        const std::vector<uint8_t> packed = s.bits.bytes(8);

        const ReferenceTable reference(ld);
        std::vector<uint8_t> expected;
        uint64_t pos = start;
        for (uint32_t i = 0; i < count; ++i) expected.push_back(static_cast<uint8_t>(reference.decode(packed, pos)));

        Decoder d;
        ASSERT_EQ(d.decode(packed, count), expected) << "round " << round;
    }
}

TEST(UnpackLz, MatchAcrossTheWindowEndAndCopyOutInPieces) {
    LzScenario s = withTables();
    for (uint32_t i = 0; i < 1000; ++i) s.literal(static_cast<uint8_t>(i * 11 + i / 256));
    s.run('w', UNP_WINDOW_SIZE - 1000 - 1000 - 5);
    for (uint32_t i = 0; i < 1000; ++i) s.literal(static_cast<uint8_t>(i * 17 + 3));
    ASSERT_EQ(s.expected.size(), UNP_WINDOW_SIZE - 5);
    s.match(30, 700);      // destination wraps to position 0
    s.match(100, 95);      // source before the end, destination after it
    s.match(50, 2000);     // source wraps
    for (uint32_t i = 0; i < 500; ++i) s.literal(static_cast<uint8_t>(i ^ 0x5A));
    s.run('v', UNP_WINDOW_SIZE + 12345);
    s.match(258, UNP_WINDOW_SIZE - 3);  // source ahead of the destination in the window
    s.match(258, 123456);
    const uint32_t total = static_cast<uint32_t>(s.expected.size());
    ASSERT_GT(total, 2 * UNP_WINDOW_SIZE);

    Decoder d;
    EXPECT_EQ(decodeScenario(s, d), s.expected);
    EXPECT_EQ(d.produced, total);

    // Small reads (the input buffer is refilled hundreds of times) give the same bytes.
    Decoder e;
    const std::vector<uint8_t> packed = s.writer.bits.bytes(8);
    test::ByteSource source{&packed, 0, 977};
    std::vector<uint8_t> output(total);
    uint32_t produced = 0;
    UnpackIo io;
    io.read = &test::ByteSource::read;
    io.context = &source;
    io.output = output.data();
    io.outSize = &produced;
    io.unpSize = total;
    unpack(*e.state, e.window.data(), io);
    EXPECT_EQ(produced, total);
    EXPECT_TRUE(output == s.expected);
}

TEST(UnpackLz, SolidEntryContinuesThePreviousState) {
    LzScenario first = withTables();
    for (uint8_t c : {'s', 'o', 'l', 'i', 'd', '!'}) first.literal(c);
    first.match(12, 6);

    // The second entry starts with no tables: it goes on with the first entry's codes, window
    // and history.
    LzScenario second = first;
    second.writer.bits = test::BitWriter();
    second.expected.clear();
    std::vector<uint8_t> combined = first.expected;
    second.expected = combined;
    second.repeatLast();
    second.match(4, 15);
    second.oldDistance(3, 5);
    const std::vector<uint8_t> secondBytes(second.expected.begin() + static_cast<long>(first.expected.size()),
                                           second.expected.end());

    Decoder d;
    EXPECT_EQ(decodeScenario(first, d), first.expected);
    EXPECT_EQ(d.decode(second.writer.bits.bytes(8), static_cast<uint32_t>(secondBytes.size()), true),
              secondBytes);

    // In a solid archive the entries before the wanted one are decoded into the window only.
    Decoder quiet;
    EXPECT_TRUE(quiet.decode(first.writer.bits.bytes(8), static_cast<uint32_t>(first.expected.size()),
                             false, /*wanted=*/false)
                    .empty());
    EXPECT_EQ(quiet.decode(second.writer.bits.bytes(8), static_cast<uint32_t>(secondBytes.size()), true),
              secondBytes);

    // A table change at the very end of an entry is read for the next one.
    LzScenario third = withTables();
    third.literal('T');
    third.writer.newTablesCode();
    std::vector<uint8_t> ld(298, 0), dd(48, 0), rd(28, 0);
    ld['U'] = 1;
    ld['V'] = 1;
    third.writer.lzTables(ld, dd, rd);
    StreamWriter fourth = third.writer;
    fourth.bits = test::BitWriter();
    fourth.literal('V');
    fourth.literal('U');
    Decoder t;
    EXPECT_EQ(t.decode(third.writer.bits.bytes(8), 1), std::vector<uint8_t>{'T'});
    EXPECT_EQ(t.decode(fourth.bits.bytes(8), 2, true), (std::vector<uint8_t>{'V', 'U'}));
}

TEST(UnpackLz, MoreOutputThanUnpSizeIsAnOverrun) {
    LzScenario s = withTables();
    s.literal('o');
    s.match(10, 1);
    test::CapturedLog log;
    Decoder d;
    EXPECT_TRUE(d.decode(s.writer.bits.bytes(8), 5).empty());
    EXPECT_NE(log.text().find("Fatal! Buffer overrun during decompression!"), std::string::npos);

    // The loop stops once UnpSize bytes are made, so an overrun shows at the last copy-out: the
    // pieces before it are out, the last one is not.
    LzScenario big = withTables();
    big.run('b', UNP_WINDOW_SIZE + 5000);
    const uint32_t unpSize = static_cast<uint32_t>(big.expected.size()) + 5;
    big.match(10, 1);
    Decoder e;
    const std::vector<uint8_t> out = e.decode(big.writer.bits.bytes(8), unpSize);
    // The first copy-out runs once fewer than 270 window bytes are left, at most one 258-byte
    // match after that point.
    EXPECT_GE(out.size(), UNP_WINDOW_SIZE - 269);
    EXPECT_LE(out.size(), UNP_WINDOW_SIZE - 269 + 257);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), big.expected.begin()));
}

TEST(UnpackLz, DirectDecodeGivesTheWindowsBytesAndOutcome) {
    // Distances of a whole window and of almost one (reaching the zeroed start, and across it),
    // more than two windows of output, an overrun at the end, and data ending early.
    LzScenario s = withTables();
    s.literal('d');
    s.match(5, UNP_WINDOW_SIZE);
    s.oldDistance(1, 6);
    s.run('v', UNP_WINDOW_SIZE + 12345);
    s.match(258, UNP_WINDOW_SIZE - 3);
    s.match(258, 123456);
    s.literal('e');
    const std::vector<uint8_t> packed = s.writer.bits.bytes(8);
    const uint32_t total = static_cast<uint32_t>(s.expected.size());
    const std::vector<uint8_t> half(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));
    for (const uint32_t unpSize : {total, total - 100, total + 7}) {
        for (const std::vector<uint8_t>* input : {&packed, &half}) {
            SCOPED_TRACE(testing::Message() << unpSize << (input == &half ? " half" : ""));
            test::CapturedLog windowLog;
            Decoder viaWindow;
            const std::vector<uint8_t> expected = viaWindow.decode(*input, unpSize);
            const std::vector<std::string> expectedLog = test::logMessages(windowLog.path);
            test::CapturedLog directLog;
            Decoder direct;
            EXPECT_TRUE(direct.decodeDirect(*input, unpSize) == expected);
            EXPECT_EQ(direct.produced, viaWindow.produced);
            EXPECT_EQ(test::logMessages(directLog.path), expectedLog);
        }
    }
}

TEST(UnpackLz, PackedDataEndingEarlyStopsTheDecoder) {
    LzScenario s = withTables();
    s.run('t', 3000000);
    const std::vector<uint8_t> packed = s.writer.bits.bytes();
    const std::vector<uint8_t> half(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));

    test::CapturedLog log;
    Decoder d;
    const std::vector<uint8_t> out = d.decode(half, 3000000);
    EXPECT_LT(out.size(), 3000000u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), s.expected.begin()));
    EXPECT_NE(log.text().find("Packed data ended before the file was complete."), std::string::npos);

    // A huge claimed size over a few bytes: the decoder stops where the bytes end, far from it.
    const std::vector<uint8_t> few(packed.begin(), packed.begin() + 200);
    Decoder e;
    e.decode(few, 0xFFFFFFF0u, false, /*wanted=*/false);
    EXPECT_GT(e.state->DestUnpSize, static_cast<int64_t>(0xFFFFFFF0u) - 200 * 2080);

    // Nothing at all to read.
    const std::vector<uint8_t> none;
    Decoder f;
    f.decode(none, 0x7FFFFFFF, false, /*wanted=*/false);
    EXPECT_EQ(f.produced, 0u);
    EXPECT_EQ(f.state->DestUnpSize, 0x7FFFFFFF - 1);
}

TEST(UnpackLz, OutputBoundHoldsForTheDensestStream) {
    // Code 256 alone with a 1-bit code, repeating a 260-byte match: 260 bytes per packed bit.
    StreamWriter s;
    std::vector<uint8_t> ld(298, 0), dd(48, 0), rd(28, 0);
    ld[0] = 2;    // literal 0
    ld[256] = 1;  // repeat
    ld[297] = 2;  // longest length slot
    dd[47] = 1;
    s.lzTables(ld, dd, rd);
    s.literal(0);
    s.match(260, UNP_WINDOW_SIZE);
    const uint64_t headerBits = s.bits.bitCount();
    const uint32_t repeats = 8 * 4000;
    for (uint32_t i = 0; i < repeats; ++i) s.repeatLast();
    const std::vector<uint8_t> packed = s.bits.bytes();
    const uint64_t produced = 1 + 260 + uint64_t{260} * repeats;
    EXPECT_LE(produced, maxUnpackedSize(static_cast<uint32_t>(packed.size())));
    EXPECT_GT(produced, maxUnpackedSize(static_cast<uint32_t>(packed.size() - headerBits / 8)) * 9 / 10);
    Decoder d;
    EXPECT_EQ(d.decode(packed, static_cast<uint32_t>(produced)).size(), produced);
}

}  // namespace
}  // namespace korvana
