// RAR 2.0 cipher.
#include "archive/crypt.h"

#include <cstring>

#include "archive/crc32.h"

namespace korvana {

const uint8_t CRYPT_SUBST_TABLE[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,
    232, 1,   177, 233, 14,  88,  219, 25,  223, 195, 244, 90,  87,  239, 153, 137,
    255, 199, 147, 70,  92,  66,  246, 13,  216, 40,  62,  29,  217, 230, 86,  6,
    71,  24,  171, 196, 101, 113, 218, 123, 93,  91,  163, 178, 202, 67,  44,  235,
    107, 250, 75,  234, 49,  167, 125, 211, 83,  114, 157, 144, 32,  193, 143, 36,
    158, 124, 247, 187, 89,  214, 141, 47,  121, 228, 61,  130, 213, 194, 174, 251,
    97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245, 63,  11,
    164, 200, 31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,
    207, 120, 189, 210, 8,   226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,
    122, 38,  155, 170, 69,  172, 252, 238, 39,  134, 59,  128, 236, 27,  240, 80,
    131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201, 133, 74,  64,  20,  129,
    224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180, 58,  10,
    118, 26,  102, 12,  50,  132, 22,  191, 136, 111, 162, 179, 45,  4,   148, 108,
    161, 56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241, 181, 190, 77,  225,
    0,   46,  169, 186, 68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,
    116, 184, 160, 96,  109, 37,  30,  106, 140, 104, 150, 5,   204, 117, 112, 84,
};

namespace {

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t subst32(const CryptState& state, uint32_t x) {
    return static_cast<uint32_t>(state.SubstTable[x & 0xFF]) |
           static_cast<uint32_t>(state.SubstTable[(x >> 8) & 0xFF]) << 8 |
           static_cast<uint32_t>(state.SubstTable[(x >> 16) & 0xFF]) << 16 |
           static_cast<uint32_t>(state.SubstTable[(x >> 24) & 0xFF]) << 24;
}

uint32_t loadWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void storeWord(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The 32 Feistel-like rounds shared by both directions; only the round order differs.
void crypt(CryptState& state, uint8_t* block, bool encrypt) {
    uint32_t a = loadWord(block) ^ state.Key[0];
    uint32_t b = loadWord(block + 4) ^ state.Key[1];
    uint32_t c = loadWord(block + 8) ^ state.Key[2];
    uint32_t d = loadWord(block + 12) ^ state.Key[3];
    for (int step = 0; step < 32; ++step) {
        const int r = encrypt ? step : 31 - step;
        const uint32_t k = state.Key[r & 3];
        const uint32_t ta = a ^ subst32(state, (c + rotl(d, 11)) ^ k);
        const uint32_t tb = b ^ subst32(state, (d ^ rotl(c, 17)) + k);
        a = c;
        b = d;
        c = ta;
        d = tb;
    }
    storeWord(block, c ^ state.Key[0]);
    storeWord(block + 4, d ^ state.Key[1]);
    storeWord(block + 8, a ^ state.Key[2]);
    storeWord(block + 12, b ^ state.Key[3]);
}

}  // namespace

void setCryptKeys(CryptState& state, const char* password) {
    state.Key[0] = 0xD3A3B879u;
    state.Key[1] = 0x3F6D12F7u;
    state.Key[2] = 0x7515A235u;
    state.Key[3] = 0xA4E7F123u;
    // One spare zero byte beyond the 255 usable ones: an odd-length password's last pair reads it.
    uint8_t work[257] = {};
    size_t length = password ? std::strlen(password) : 0;
    if (length > 255) length = 255;
    if (length) std::memcpy(work, password, length);
    std::memcpy(state.SubstTable, CRYPT_SUBST_TABLE, sizeof state.SubstTable);
    for (uint32_t j = 0; j < 256; ++j) {
        for (size_t i = 0; i < length; i += 2) {
            uint32_t x = CRCTab[(work[i] - j) & 0xFF] & 0xFF;
            const uint32_t y = CRCTab[(work[i + 1] + j) & 0xFF] & 0xFF;
            for (uint32_t k = 1; x != y; ++k) {
                const uint32_t other = (x + i + k) & 0xFF;
                const uint8_t swap = state.SubstTable[x];
                state.SubstTable[x] = state.SubstTable[other];
                state.SubstTable[other] = swap;
                x = (x + 1) & 0xFF;
            }
        }
    }
    // Encrypting the password's blocks leaves the starting key; the cipher text is discarded.
    for (size_t i = 0; i < length; i += 16) encryptBlock(state, work + i);
    wipeSecret(work, sizeof work);
}

void wipeSecret(void* data, size_t size) {
    volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) p[i] = 0;
}

void encryptBlock(CryptState& state, uint8_t* block) {
    crypt(state, block, true);
    updKeys(state, block);
}

void decryptBlock(CryptState& state, uint8_t* block) {
    uint8_t encrypted[16];
    std::memcpy(encrypted, block, sizeof encrypted);
    crypt(state, block, false);
    updKeys(state, encrypted);
}

void updKeys(CryptState& state, const uint8_t* block) {
    for (int i = 0; i < 16; i += 4) {
        state.Key[0] ^= CRCTab[block[i]];
        state.Key[1] ^= CRCTab[block[i + 1]];
        state.Key[2] ^= CRCTab[block[i + 2]];
        state.Key[3] ^= CRCTab[block[i + 3]];
    }
}

}  // namespace korvana
