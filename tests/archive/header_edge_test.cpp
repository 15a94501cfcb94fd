// Archives built byte by byte: markers, block types, broken headers and sizes, name matching.
#include <gtest/gtest.h>

#include "archive/archive_state.h"
#include "archive_test_support.h"

namespace korvana::test {
namespace {

const Bytes kHello = {'h', 'e', 'l', 'l', 'o', ' ', 'r', 'a', 'r'};

Bytes simpleArchive(const std::string& marker = std::string("Rar!\x1a\x07\x00", 7)) {
    RarBuilder b;
    b.marker(marker).mainHeader().file({.name = "DIR\\HELLO.TXT", .data = kHello}).endBlock();
    return b.bytes;
}

class HeaderEdges : public ::testing::Test {
protected:
    void SetUp() override { log = startFreshLog(dir); }
    Extraction run(const Bytes& archive, const char* name, const char* password = "") {
        debugLogInit(log.string().c_str());
        const std::filesystem::path path = dir / "test.rar";
        writeFileBytes(path, archive);
        return extract(path, name, password);
    }
    std::vector<std::string> messages() const { return logMessages(log); }
    std::string failureLine(const std::string& name) const {
        return "Error - couldn't extract >" + name + "< and allocated 0 Bytes of unused memory!";
    }
    TempDir dir;
    std::filesystem::path log;
};

TEST_F(HeaderEdges, Markers) {
    Extraction e = run(simpleArchive(), "dir/hello.txt");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, kHello);

    e = run(simpleArchive("Orvika!"), "dir/hello.txt");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, kHello);

    e = run(simpleArchive("RE~^\x1a\x07\x00"), "dir/hello.txt");
    EXPECT_EQ(e.result, 0);
    std::vector<std::string> m = messages();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[1], "Attention: format as OLD detected! Can't handel archive!");
    EXPECT_EQ(m[2], "Not a RAR file");
    EXPECT_EQ(m[3], failureLine("dir/hello.txt"));

    e = run(simpleArchive("PK\x03\x04\x14\x00\x00"), "dir/hello.txt");
    EXPECT_EQ(e.result, 0);
    m = messages();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[1], "unknown archive type (only plain RAR supported (normal and solid archives), SFX "
                    "and Volumes are NOT supported!)");
    EXPECT_EQ(m[2], "Not a RAR file");

    // Too short for a marker or for a main header: no message of its own.
    for (size_t cut : {3u, 7u, 12u}) {
        Bytes shortFile = simpleArchive();
        shortFile.resize(cut);
        e = run(shortFile, "dir/hello.txt");
        EXPECT_EQ(e.result, 0) << cut;
        m = messages();
        ASSERT_EQ(m.size(), 3u) << cut;
        EXPECT_EQ(m[1], "Not a RAR file");
    }

    e = run(simpleArchive(), "dir/hello.txt");
    m = messages();
    ASSERT_EQ(m.size(), 2u);  // intact headers: exactly the progress and the result line
    EXPECT_EQ(m[1], "Extracted 9 Bytes.");
}

TEST_F(HeaderEdges, HeaderTypesTheReaderRefuses) {
    const struct {
        uint8_t type;
        const char* message;
    } refused[] = {
        {0x00, "ShortBlockHeader not supported!"},
        {0x75, "Comment headers not supported! Please create archives without comments."},
        {0x78, "Protected headers not supported!"},
        {0x7A, "Unknown//unsupported !"},
        {0x77, "Unknown//unsupported !"},
    };
    for (const auto& r : refused) {
        debugLogInit(log.string().c_str());
        EXPECT_EQ(readHeader(r.type), 0) << int(r.type);
        const std::vector<std::string> m = messages();
        ASSERT_EQ(m.size(), 1u) << int(r.type);
        EXPECT_EQ(m[0], r.message);
    }
}

TEST_F(HeaderEdges, SkippedBlocksAndSubBlocks) {
    RarBuilder b;
    b.marker().mainHeader(0, Bytes(20, 0xAA));  // main header with 20 bytes beyond its fixed part
    b.block(0x7A, 0x0000, Bytes{1, 2, 3});                         // no data area
    b.block(0x7C, 0x8000, Bytes{9, 9}, Bytes(300, 0x55));          // data area skipped by its size
    b.file({.name = "a.txt", .data = kHello});
    b.block(0x7A, 0x4000, Bytes(5, 0));
    b.file({.name = "b.txt", .data = {'b'}});
    b.endBlock();
    Extraction e = run(b.bytes, "A.TXT");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, kHello);
    e = run(b.bytes, "b.txt");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, Bytes{'b'});
    e = run(b.bytes, "c.txt");
    EXPECT_EQ(e.result, 0);
    std::vector<std::string> m = messages();
    ASSERT_EQ(m.size(), 2u);  // not in the archive: nothing between progress and failure
    EXPECT_EQ(m[1], failureLine("c.txt"));

    RarBuilder sub;
    sub.marker().mainHeader().file({.name = "a.txt", .data = kHello});
    sub.block(0x77, 0x8000, Bytes{2, 1, 0, 0}, Bytes(11, 0));
    sub.file({.name = "b.txt", .data = {'b'}});
    e = run(sub.bytes, "a.txt");  // found before the sub-block
    EXPECT_EQ(e.result, 1);
    e = run(sub.bytes, "b.txt");
    EXPECT_EQ(e.result, 0);
    m = messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[1], "Sorry, sub-headers not supported.");
}

TEST_F(HeaderEdges, BrokenHeaderCrcIsStillExtracted) {
    RarBuilder b;
    b.marker().mainHeader().file({.name = "x.bin", .data = kHello, .breakHeaderCrc = true}).endBlock();
    Extraction e = run(b.bytes, "x.bin");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, kHello);
    EXPECT_TRUE(contains(messages(), "file header broken"));

    // A header extension between name and data: the data starts at block start + HeadSize, and
    // a CRC that covers the extension is good too.
    RarBuilder ext;
    ext.marker().mainHeader().file({.name = "x.bin", .data = kHello, .extension = Bytes(8, 0xEE)});
    e = run(ext.bytes, "x.bin");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, kHello);
    EXPECT_FALSE(contains(messages(), "file header broken"));
}

TEST_F(HeaderEdges, EndsAndBrokenChains) {
    RarBuilder empty;
    empty.marker().mainHeader();
    Extraction e = run(empty.bytes, "x");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(messages().size(), 2u);

    // readBlock itself on an archive that ends after its main header.
    const std::filesystem::path path = dir / "empty.rar";
    writeFileBytes(path, empty.bytes);
    ArchiveState& s = archiveState;
    s.archive = std::fopen(path.string().c_str(), "rb");
    ASSERT_NE(s.archive, nullptr);
    s.archiveSize = static_cast<int64_t>(empty.bytes.size());
    ASSERT_EQ(isArchive(), 1);
    EXPECT_EQ(readBlock(0x8074), 0);
    std::fclose(s.archive);
    s.archive = nullptr;

    // A block with HeadSize < 7 ends the scan even though a good entry follows.
    RarBuilder tiny;
    tiny.marker().mainHeader().raw({0x00, 0x00, 0x7A, 0x00, 0x00, 0x05, 0x00});
    tiny.file({.name = "x", .data = kHello});
    e = run(tiny.bytes, "x");
    EXPECT_EQ(e.result, 0);
    EXPECT_TRUE(contains(messages(), "Broken block chain: header size 5 at offset 20"));

    // Truncated inside the data of the wanted entry: refused before reading, with a reason.
    Bytes cut = simpleArchive();
    cut.resize(cut.size() - 7 - 3);
    e = run(cut, "dir/hello.txt");
    EXPECT_EQ(e.result, 0);
    std::vector<std::string> m = messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_NE(m[1].find("Archive truncated"), std::string::npos) << m[1];

    // Truncated inside a file header.
    cut = simpleArchive();
    cut.resize(20 + 20);
    e = run(cut, "dir/hello.txt");
    EXPECT_EQ(e.result, 0);
    m = messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_NE(m[1].find("Archive truncated"), std::string::npos) << m[1];

    // A name that runs past its header.
    RarBuilder overlong;
    overlong.marker().mainHeader().file({.name = "abc", .data = kHello, .nameSize = 40});
    e = run(overlong.bytes, "abc");
    EXPECT_EQ(e.result, 0);
    EXPECT_NE(messages()[1].find("Broken file header"), std::string::npos);
}

TEST_F(HeaderEdges, SizesAndVersions) {
    // Stored data larger on paper than in the archive: refused before any allocation.
    RarBuilder lie;
    lie.marker().mainHeader().file({.name = "x", .data = kHello, .unpSize = 0xFFFFFF00, .fileCrc = 0});
    Extraction e = run(lie.bytes, "x");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(messages()[1], "Stored file claims 4294967040 bytes but holds only 9: refused");

    // Encrypted stored data whose packed size, left out of the chain (no long-block flag), runs
    // far past the end of the file: refused before anything is allocated for it.
    for (const uint8_t method : {uint8_t{0x30}, uint8_t{0x33}}) {
        RarBuilder past;
        past.marker().mainHeader().file({.name = "x", .data = kHello, .method = method, .flags = 0x0004,
                                         .unpSize = 87, .packSize = 0xFFFFFF9E});
        e = run(past.bytes, "x", "password");
        EXPECT_EQ(e.result, 0);
        EXPECT_EQ(messages()[1], "File claims 4294967198 packed bytes but the archive holds only 9 more: refused");
    }

    // Packed data that could never make the size it claims.
    RarBuilder packedLie;
    packedLie.marker().mainHeader().file(
        {.name = "x", .data = Bytes(4, 0), .method = 0x33, .unpSize = 4 * 2080 + 1, .fileCrc = 0});
    e = run(packedLie.bytes, "x");
    EXPECT_EQ(e.result, 0);
    EXPECT_NE(messages()[1].find("refused"), std::string::npos);

    // Empty stored entry with CRC 0.
    RarBuilder empty;
    empty.marker().mainHeader().file({.name = "empty", .data = {}});
    e = run(empty.bytes, "empty");
    EXPECT_EQ(e.result, 1);
    EXPECT_FALSE(e.bufferNull);
    EXPECT_EQ(e.size, 0u);

    for (uint8_t version : {12, 13, 20, 21, 29}) {
        RarBuilder v;
        v.marker().mainHeader().file({.name = "v", .data = kHello, .unpVer = version});
        e = run(v.bytes, "v");
        const bool accepted = version >= 13 && version <= 20;
        EXPECT_EQ(e.result, accepted ? 1 : 0) << int(version);
        EXPECT_EQ(contains(messages(), "unknown compression method"), !accepted) << int(version);
    }

    // A wrong file CRC.
    RarBuilder crc;
    crc.marker().mainHeader().file({.name = "c", .data = kHello, .fileCrc = 0x12345678});
    e = run(crc.bytes, "c");
    EXPECT_EQ(e.result, 0);
    EXPECT_TRUE(e.bufferNull);
    EXPECT_TRUE(contains(messages(), "CRC32 error - file couldn't be decompressed correctly!"));
}

TEST_F(HeaderEdges, SolidArchiveProcessesTheEntriesBeforeTheWantedOne) {
    RarBuilder b;
    b.marker().mainHeader(0x0008);
    b.file({.name = "one", .data = {'1'}});
    b.file({.name = "two", .data = {'2', '2'}, .flags = 0x8010});
    b.file({.name = "three", .data = kHello, .flags = 0x8010});
    b.endBlock();
    Extraction e = run(b.bytes, "three");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, kHello);
    e = run(b.bytes, "two");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.bytes, (Bytes{'2', '2'}));

    // Every entry before the wanted one is processed in a solid archive, so its version counts.
    RarBuilder old;
    old.marker().mainHeader(0x0008);
    old.file({.name = "one", .data = {'1'}, .unpVer = 29});
    old.file({.name = "two", .data = {'2'}, .flags = 0x8010});
    e = run(old.bytes, "two");
    EXPECT_EQ(e.result, 0);
    EXPECT_TRUE(contains(messages(), "unknown compression method"));
    // Not so in a normal archive: other entries are skipped by their sizes.
    RarBuilder normal;
    normal.marker().mainHeader();
    normal.file({.name = "one", .data = {'1'}, .unpVer = 29});
    normal.file({.name = "two", .data = {'2'}});
    e = run(normal.bytes, "two");
    EXPECT_EQ(e.result, 1);
}

TEST_F(HeaderEdges, NamesMatchedAndLengthsRefused) {
    EXPECT_EQ(compareArchiveName("3ds/tube.3ds", "3DS\\TUBE.3DS"), 0);
    EXPECT_EQ(compareArchiveName("3ds/tube.3ds", "3ds/tube.3ds"), 0);
    EXPECT_EQ(compareArchiveName("3ds/tube.3ds", "3DS_TUBE.3DS"), 0);
    EXPECT_EQ(compareArchiveName("jpg/rave01.tga", "JPG\\RAVE01.TGA"), 0);
    EXPECT_NE(compareArchiveName("3ds/tube.3ds", "3ds/tube.3d"), 0);
    EXPECT_NE(compareArchiveName("3ds/tube.3d", "3ds/tube.3ds"), 0);
    EXPECT_NE(compareArchiveName("a\xe4", "A\xc4"), 0);  // only a-z fold
    EXPECT_LT(compareArchiveName("a", "b"), 0);
    EXPECT_GT(compareArchiveName("\xff", "a"), 0);  // unsigned comparison

    Extraction e = run(simpleArchive(), "dir\\Hello.Txt");
    EXPECT_EQ(e.result, 1);

    // A stored name longer than the reader keeps: logged, never matched by its first 259 bytes.
    const std::string longName(300, 'n');
    RarBuilder b;
    b.marker().mainHeader().file({.name = longName, .data = kHello}).file({.name = "after", .data = {'z'}});
    e = run(b.bytes, longName.substr(0, 259).c_str());
    EXPECT_EQ(e.result, 0);
    std::vector<std::string> m = messages();
    ASSERT_GE(m.size(), 3u);
    EXPECT_EQ(m[1], "Name of 300 bytes at offset 20 is longer than 259 bytes: entry can't be used");
    e = run(b.bytes, "after");  // the scan goes on behind it
    EXPECT_EQ(e.result, 1);

    // Arguments longer than the reader's buffers are refused with a reason, whole in the log.
    const std::string wantedTooLong(260, 'w');
    e = run(simpleArchive(), wantedTooLong.c_str());
    EXPECT_EQ(e.result, 0);
    m = messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_NE(m[0].find(wantedTooLong), std::string::npos);  // no 500-byte cut in the log
    EXPECT_EQ(m[1], "File name too long (260 characters, at most 259)");
    e = run(simpleArchive(), "dir/hello.txt", std::string(255, 'p').c_str());
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(messages()[1], "Password too long (at most 254 characters)");
    e = run(simpleArchive(), "dir/hello.txt", std::string(254, 'p').c_str());
    EXPECT_EQ(e.result, 1);  // not encrypted: the password is ignored
    for (uint8_t byte : archiveState.password) ASSERT_EQ(byte, 0);  // cleared after the call

    uint8_t* buffer = nullptr;
    uint32_t size = 7;
    EXPECT_EQ(archiveExtract(&buffer, &size, "x", (dir / std::string(300, 'a')).string().c_str(), nullptr), 0);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(archiveExtract(&buffer, &size, "x", (dir / "missing.rar").string().c_str(), nullptr), 0);
    EXPECT_TRUE(contains(messages(), "Error opening file."));
}

}  // namespace
}  // namespace korvana::test
