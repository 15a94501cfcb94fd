// CRC-32 and the RAR 2.0 cipher: check values, round trips, key schedules.
#include <gtest/gtest.h>

#include <set>

#include "archive/crc32.h"
#include "archive/crypt.h"
#include "archive_test_support.h"

namespace korvana::test {
namespace {

TEST(Crc32, CheckValuesAndTable) {
    initCrc();
    const char* check = "123456789";
    EXPECT_EQ(~calcCrc32(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(check), 9), 0xCBF43926u);
    EXPECT_EQ(~calcCrc32(0xFFFFFFFFu, nullptr, 0), 0u);
    EXPECT_EQ(CRCTab[1], 0x77073096u);
    EXPECT_EQ(CRCTab[255], 0x2D02EF8Du);
    // Continuing over pieces equals one pass over the whole.
    Bytes data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    const uint32_t whole = calcCrc32(0xFFFFFFFFu, data.data(), data.size());
    EXPECT_EQ(calcCrc32(calcCrc32(0xFFFFFFFFu, data.data(), 333), data.data() + 333, 667), whole);
    EXPECT_EQ(whole, bitwiseCrc32(data.data(), data.size()));

    // The eight-byte steps and the byte-wise tail agree with the bit-by-bit CRC for every length
    // and every start offset around a few steps.
    for (size_t offset = 0; offset < 9; ++offset)
        for (size_t length = 0; length + offset <= 40; ++length)
            ASSERT_EQ(calcCrc32(0x12345678u, data.data() + offset, length),
                      bitwiseCrc32(data.data() + offset, length, 0x12345678u))
                << "offset " << offset << ", length " << length;
}

bool isPermutation(const uint8_t* table) {
    std::set<uint8_t> seen(table, table + 256);
    return seen.size() == 256;
}

TEST(Cipher, RoundTripWithKeyEvolution) {
    initCrc();
    CryptState sender;
    setCryptKeys(sender, "password");
    CryptState receiver = sender;

    Bytes plain(16 * 5);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i);
    Bytes data = plain;
    for (size_t i = 0; i < data.size(); i += 16) encryptBlock(sender, data.data() + i);
    EXPECT_NE(data, plain);
    // Equal plaintext blocks encrypt differently because the keys evolve per block.
    Bytes same(32, 0x41);
    CryptState evolving = receiver;
    encryptBlock(evolving, same.data());
    encryptBlock(evolving, same.data() + 16);
    EXPECT_FALSE(std::equal(same.begin(), same.begin() + 16, same.begin() + 16));

    for (size_t i = 0; i < data.size(); i += 16) decryptBlock(receiver, data.data() + i);
    EXPECT_EQ(data, plain);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(receiver.Key[k], sender.Key[k]) << k;

    // Out of order, the keys no longer match and the blocks come out wrong.
    CryptState fresh;
    setCryptKeys(fresh, "password");
    Bytes enc = plain;
    CryptState enc2 = fresh;
    for (size_t i = 0; i < enc.size(); i += 16) encryptBlock(enc2, enc.data() + i);
    CryptState skipping = fresh;
    decryptBlock(skipping, enc.data() + 16);
    EXPECT_FALSE(std::equal(enc.begin() + 16, enc.begin() + 32, plain.begin() + 16));
}

TEST(Cipher, KeySetUpForOddAndEvenLengths) {
    initCrc();
    CryptState even, odd, odd2, empty, longest;
    setCryptKeys(even, "abcd");
    setCryptKeys(odd, "abc");
    setCryptKeys(odd2, "abcde");
    setCryptKeys(empty, "");
    setCryptKeys(longest, std::string(300, 'z').c_str());  // cut at 255 without reading past
    for (const CryptState* s : {&even, &odd, &odd2, &empty, &longest}) EXPECT_TRUE(isPermutation(s->SubstTable));
    // With no password the schedule leaves the initial key and table untouched.
    EXPECT_EQ(empty.Key[0], 0xD3A3B879u);
    EXPECT_EQ(empty.Key[3], 0xA4E7F123u);
    EXPECT_EQ(0, std::memcmp(empty.SubstTable, CRYPT_SUBST_TABLE, 256));
    // Every length gives its own key state.
    EXPECT_NE(std::memcmp(even.Key, odd.Key, sizeof even.Key), 0);
    EXPECT_NE(std::memcmp(odd.Key, odd2.Key, sizeof odd.Key), 0);
    EXPECT_NE(std::memcmp(even.SubstTable, odd.SubstTable, 256), 0);
}

}  // namespace
}  // namespace korvana::test
