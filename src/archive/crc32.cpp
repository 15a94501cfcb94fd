// CRC-32: the byte-wise table that the cipher's key set-up reads, and a slice-by-8 loop for the
// checks of whole entries (they cover every byte the archive hands out, so they sit on the
// extraction path at start-up).
#include "archive/crc32.h"

#include <array>

namespace korvana {

uint32_t CRCTab[256];

namespace {

constexpr uint32_t CRC_POLYNOMIAL = 0xEDB88320u;

// kSlices[k][b]: the CRC of byte b followed by k zero bytes. Built at compile time, so it does not
// depend on initCrc having run.
constexpr auto kSlices = [] {
    std::array<std::array<uint32_t, 256>, 8> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ CRC_POLYNOMIAL : c >> 1;
        t[0][i] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}();

inline uint32_t load32le(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

void initCrc() {
    for (uint32_t i = 0; i < 256; ++i) CRCTab[i] = kSlices[0][i];
}

uint32_t calcCrc32(uint32_t start, const uint8_t* data, size_t count) {
    uint32_t crc = start;
    for (; count >= 8; data += 8, count -= 8) {
        const uint32_t lo = crc ^ load32le(data);
        const uint32_t hi = load32le(data + 4);
        crc = kSlices[7][lo & 0xFF] ^ kSlices[6][(lo >> 8) & 0xFF] ^ kSlices[5][(lo >> 16) & 0xFF] ^
              kSlices[4][lo >> 24] ^ kSlices[3][hi & 0xFF] ^ kSlices[2][(hi >> 8) & 0xFF] ^
              kSlices[1][(hi >> 16) & 0xFF] ^ kSlices[0][hi >> 24];
    }
    for (; count > 0; ++data, --count) crc = kSlices[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace korvana
