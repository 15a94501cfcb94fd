// CRC-32 of IEEE 802.3 (reflected, polynomial 0xEDB88320), the check of RAR headers and entries;
// its table also feeds the RAR 2.0 cipher's key schedule.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvana {

// The table, filled by initCrc (every archiveExtract call rebuilds it; the content never changes).
extern uint32_t CRCTab[256];

void initCrc();

// Continues a CRC over `count` bytes. Start with 0xFFFFFFFF and compare the complement.
uint32_t calcCrc32(uint32_t start, const uint8_t* data, size_t count);

}  // namespace korvana
