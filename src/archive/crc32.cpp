// CRC-32 with a byte-wise table.
#include "archive/crc32.h"

namespace korvana {

uint32_t CRCTab[256];

void initCrc() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        CRCTab[i] = c;
    }
}

uint32_t calcCrc32(uint32_t start, const uint8_t* data, size_t count) {
    uint32_t crc = start;
    for (size_t i = 0; i < count; ++i) crc = CRCTab[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace korvana
