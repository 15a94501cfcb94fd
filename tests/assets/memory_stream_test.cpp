// MemoryStream: the cursor the Targa loader reads images through.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "assets/memory_stream.h"

namespace korvana {
namespace {

std::unique_ptr<MemoryStream> streamOf(const char* text) {
    return openMemoryStream(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
}

TEST(MemoryStream, ReadStopsAtTheEnd) {
    auto stream = streamOf("abcdefgh");
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->size, 8);
    char buffer[16] = {};
    EXPECT_EQ(read(buffer, 3, *stream), 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(stream->position, 3);
    // Exactly the remaining bytes: all of them.
    EXPECT_EQ(read(buffer, 5, *stream), 5);
    EXPECT_EQ(std::string(buffer, 5), "defgh");
    EXPECT_EQ(stream->position, 8);
    // At the end: nothing.
    EXPECT_EQ(read(buffer, 4, *stream), 0);
    EXPECT_EQ(stream->position, 8);
    // More than remains: what remains.
    seek(*stream, 6, 0);
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(read(buffer, 10, *stream), 2);
    EXPECT_EQ(std::string(buffer), "gh");
    // Negative and zero counts copy nothing and leave the cursor.
    seek(*stream, 2, 0);
    EXPECT_EQ(read(buffer, -5, *stream), 0);
    EXPECT_EQ(read(buffer, 0, *stream), 0);
    EXPECT_EQ(stream->position, 2);
    // A count that would overflow position + count.
    EXPECT_EQ(read(buffer, std::numeric_limits<int32_t>::max(), *stream), 6);
    EXPECT_EQ(stream->position, 8);
}

TEST(MemoryStream, SeekOriginsAndClamping) {
    auto stream = streamOf("0123456789");
    ASSERT_TRUE(stream);
    EXPECT_EQ(seek(*stream, 4, 0).position, 4);
    EXPECT_EQ(seek(*stream, 3, 1).position, 7);
    EXPECT_EQ(seek(*stream, -2, 1).position, 5);
    EXPECT_EQ(seek(*stream, -3, 2).position, 7);
    EXPECT_EQ(seek(*stream, 0, 2).position, 10);
    // Any other origin leaves the position alone.
    EXPECT_EQ(seek(*stream, 1, 3).position, 10);
    EXPECT_EQ(seek(*stream, 1, -1).position, 10);
    // Past the end stops at size; before the start stops at 0.
    EXPECT_EQ(seek(*stream, 11, 0).position, 10);
    EXPECT_EQ(seek(*stream, 5, 2).position, 10);
    EXPECT_EQ(seek(*stream, -1, 0).position, 0);
    seek(*stream, 3, 0);
    EXPECT_EQ(seek(*stream, -4, 1).position, 0);
    EXPECT_EQ(seek(*stream, -11, 2).position, 0);
    seek(*stream, 9, 0);
    EXPECT_EQ(seek(*stream, std::numeric_limits<int32_t>::max(), 1).position, 10);
    EXPECT_EQ(seek(*stream, std::numeric_limits<int32_t>::min(), 1).position, 0);
    // After a seek the bytes read are the ones at the new position.
    char c = 0;
    seek(*stream, -1, 2);
    EXPECT_EQ(read(&c, 1, *stream), 1);
    EXPECT_EQ(c, '9');
}

TEST(MemoryStream, EmptyStream) {
    auto stream = openMemoryStream(nullptr, 0);
    ASSERT_TRUE(stream);
    char c = 'x';
    EXPECT_EQ(read(&c, 1, *stream), 0);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(seek(*stream, 5, 0).position, 0);
}

}  // namespace
}  // namespace korvana
