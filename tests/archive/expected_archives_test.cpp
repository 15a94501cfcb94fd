// Every row of the shared expected table: archives written by the real archiver, extracted here.
#include <gtest/gtest.h>

#include <sstream>

#include "archive_test_support.h"
#include "support/testdata.h"

namespace korvana::test {
namespace {

struct ExpectedRow {
    std::string archive, entry, password, expect, sha256, logLine;
    uint32_t size = 0;
};

std::vector<ExpectedRow> loadExpected() {
    std::vector<ExpectedRow> rows;
    std::ifstream in(testdataDir() / "rar" / "expected.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        fields.resize(7);
        ExpectedRow row{fields[0], fields[1], fields[2], fields[3], fields[5], fields[6]};
        row.size = static_cast<uint32_t>(std::stoul(fields[4].empty() ? "0" : fields[4]));
        rows.push_back(row);
    }
    return rows;
}

TEST(ExpectedArchives, EveryRowOfTheSharedTable) {
    KORVANA_REQUIRE_TESTDATA();
    TempDir dir;
    const std::filesystem::path log = startFreshLog(dir);
    const std::vector<ExpectedRow> rows = loadExpected();
    ASSERT_GE(rows.size(), 14u) << "expected.tsv lost rows";
    for (const ExpectedRow& row : rows) {
        SCOPED_TRACE(row.archive + " / " + row.entry + " / password '" + row.password + "'");
        const std::filesystem::path archive = testdataDir() / "rar" / row.archive;
        debugLogInit(log.string().c_str());
        const Extraction e = extract(archive, row.entry.c_str(), row.password.c_str());
        const std::vector<std::string> messages = logMessages(log);
        ASSERT_GE(messages.size(), 2u);
        // A given password is never written, only a fixed mask.
        EXPECT_EQ(messages.front(), "Extracting >" + row.entry + "< from >" + archive.string() +
                                        "< (password is >" + (row.password.empty() ? "" : "********") +
                                        "<)...");
        // The tools' walk streams the same entry to the same outcome.
        const WalkedEntry walked = walkTo(archive, row.entry, row.password.c_str());
        EXPECT_EQ(walked.ok, row.expect == "ok");
        if (walked.ok) {
            EXPECT_EQ(sha256Hex(walked.bytes.data(), walked.bytes.size()), row.sha256);
        }
        if (!row.password.empty()) {
            EXPECT_EQ(readText(log).find(">" + row.password + "<"), std::string::npos);
        }
        if (row.expect == "ok") {
            EXPECT_EQ(e.result, 1);
            EXPECT_FALSE(e.bufferNull);
            EXPECT_EQ(e.size, row.size);
            EXPECT_EQ(sha256Hex(e.bytes.data(), e.bytes.size()), row.sha256);
            EXPECT_EQ(messages.back(), "Extracted " + std::to_string(row.size) + " Bytes.");
        } else {
            EXPECT_EQ(e.result, 0);
            EXPECT_TRUE(e.bufferNull);
            EXPECT_EQ(e.size, 0u);
            EXPECT_EQ(messages.back(), "Error - couldn't extract >" + row.entry +
                                           "< and allocated 0 Bytes of unused memory!");
        }
        if (!row.logLine.empty()) {
            EXPECT_TRUE(contains(messages, row.logLine)) << row.logLine;
        }
        if (row.logLine != "file header broken") {
            EXPECT_FALSE(contains(messages, "file header broken"));
        }
    }
}

// Stored entries of the shared archives listed with the sizes the real archiver wrote.
TEST(ExpectedArchives, ListingMatchesTheHeaders) {
    KORVANA_REQUIRE_TESTDATA();
    ArchiveListing listing;
    ASSERT_EQ(archiveList((testdataDir() / "rar" / "comments-v20.rar").string().c_str(), listing), 1);
    EXPECT_TRUE(listing.complete);
    ASSERT_EQ(listing.blocks.size(), 2u);
    EXPECT_EQ(listing.blocks[0].name, "FILE1.TXT");
    EXPECT_EQ(listing.blocks[0].headSize, 66);
    EXPECT_TRUE(listing.blocks[0].headerCrcOk);  // the file comment is outside the header CRC
    EXPECT_EQ(listing.blocks[1].name, "FILE2.TXT");
    EXPECT_TRUE(listing.blocks[1].headerCrcOk);

    ASSERT_EQ(archiveList((testdataDir() / "rar" / "subblock-v20.rar").string().c_str(), listing), 1);
    ASSERT_EQ(listing.blocks.size(), 5u);
    EXPECT_EQ(listing.blocks[0].headType, 0x77);
    EXPECT_EQ(listing.blocks[0].dataSize, 11u);
    EXPECT_EQ(listing.blocks[3].name, "file2.txt");
    EXPECT_EQ(listing.blocks[4].headType, 0x7B);

    ASSERT_EQ(archiveList((testdataDir() / "rar" / "wav-regular-v20.rar").string().c_str(), listing), 1);
    ASSERT_EQ(listing.blocks.size(), 2u);
    EXPECT_EQ(listing.blocks[0].method, 0x35);
    EXPECT_EQ(listing.blocks[0].unpSize, 56464u);
    EXPECT_EQ(listing.blocks[0].dataSize, 42551u);
    EXPECT_EQ(listing.blocks[1].method, 0x30);

    ASSERT_EQ(archiveList((testdataDir() / "rar" / "bad-header-crc-v20.rar").string().c_str(), listing), 1);
    ASSERT_FALSE(listing.blocks.empty());
    EXPECT_FALSE(listing.blocks[0].headerCrcOk);
}

}  // namespace
}  // namespace korvana::test
