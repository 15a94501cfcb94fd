// Encrypted stored entries built here with the cipher, checked against our reader and against
// unar as an independent extractor.
#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/crc32.h"
#include "archive/crypt.h"
#include "archive_test_support.h"

namespace korvana::test {
namespace {

Bytes encryptPadded(const Bytes& plain, const char* password) {
    initCrc();
    CryptState keys;
    setCryptKeys(keys, password);
    Bytes data = plain;
    data.resize((plain.size() + 15) / 16 * 16, 0);
    for (size_t i = 0; i < data.size(); i += 16) encryptBlock(keys, data.data() + i);
    return data;
}

Bytes encryptedArchive(const Bytes& plain, const char* password, uint8_t unpVer = 20) {
    RarBuilder b;
    b.marker().mainHeader().file({.name = "SECRET.TXT",
                                  .data = encryptPadded(plain, password),
                                  .unpVer = unpVer,
                                  .flags = 0x8004,
                                  .unpSize = static_cast<int64_t>(plain.size()),
                                  .plain = plain});
    b.endBlock();
    return b.bytes;
}

Bytes sampleText(size_t size) {
    Bytes text(size);
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<uint8_t>("The quick brown fox. "[i % 21]);
    return text;
}

TEST(EncryptedEntries, OddAndEvenPasswordsAndSizes) {
    TempDir dir;
    const std::filesystem::path log = startFreshLog(dir);
    const bool haveUnar = std::system("command -v unar >/dev/null 2>&1") == 0;
    for (const char* password : {"a", "ab", "abc", "password", "seventeen chars!!", "x"}) {
        for (size_t size : {0u, 1u, 15u, 16u, 17u, 87u, 4000u}) {
            SCOPED_TRACE(std::string("password '") + password + "', size " + std::to_string(size));
            const Bytes plain = sampleText(size);
            const std::filesystem::path archive = dir / "enc.rar";
            writeFileBytes(archive, encryptedArchive(plain, password));

            Extraction e = extract(archive, "secret.txt", password);
            ASSERT_EQ(e.result, 1);
            EXPECT_EQ(e.bytes, plain);

            e = extract(archive, "secret.txt", "wrong");
            if (size > 0) {
                EXPECT_EQ(e.result, 0);
            }
            e = extract(archive, "secret.txt", nullptr);  // no password: read as it is
            if (size > 0) {
                EXPECT_EQ(e.result, 0);
            }

            // unar must read what our cipher wrote: the key schedule matches the real one.
            if (haveUnar && size > 0 && size < 100) {
                const std::filesystem::path out = dir / "unar-out";
                std::filesystem::remove_all(out);
                const std::string command = "unar -q -f -o '" + out.string() + "' -p '" + password +
                                            "' '" + archive.string() + "' >/dev/null 2>&1";
                ASSERT_EQ(std::system(command.c_str()), 0) << command;
                EXPECT_EQ(readFileBytes(out / "SECRET.TXT"), plain);
            }
        }
    }
    if (!haveUnar) GTEST_SKIP() << "unar not installed: the independent check did not run";
}

TEST(EncryptedEntries, OldCipherIsNotDecrypted) {
    TempDir dir;
    const std::filesystem::path log = startFreshLog(dir);
    const Bytes plain = sampleText(40);
    const std::filesystem::path archive = dir / "old.rar";
    writeFileBytes(archive, encryptedArchive(plain, "pw", 15));
    Extraction e = extract(archive, "secret.txt", "pw");
    EXPECT_EQ(e.result, 0);
    const std::vector<std::string> m = logMessages(log);
    EXPECT_TRUE(contains(m, "Old Crypt() not supported!"));
    EXPECT_TRUE(contains(m, "CRC32 error - file couldn't be decompressed correctly!"));
}

}  // namespace
}  // namespace korvana::test
