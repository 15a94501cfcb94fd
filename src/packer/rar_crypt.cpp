#include "packer/rar_crypt.h"

#include <cstring>

namespace korvana::pack {

namespace {

struct CrcTable {
    uint32_t v[256];
    CrcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            v[i] = c;
        }
    }
};
const CrcTable kCrc;

constexpr uint8_t kInitialSubst[256] = {
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

inline uint32_t rotl(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void store32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

}  // namespace

uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) crc = kCrc.v[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

Rar20Cipher::Rar20Cipher(const std::string& password) {
    key_[0] = 0xD3A3B879u;
    key_[1] = 0x3F6D12F7u;
    key_[2] = 0x7515A235u;
    key_[3] = 0xA4E7F123u;
    uint8_t p[256] = {};
    const size_t len = password.size() < 255 ? password.size() : 255;
    std::memcpy(p, password.data(), len);
    std::memcpy(substTable_, kInitialSubst, sizeof substTable_);
    for (unsigned j = 0; j < 256; ++j) {
        for (size_t i = 0; i < len; i += 2) {
            unsigned x = kCrc.v[(p[i] - j) & 0xFF] & 0xFF;
            unsigned y = kCrc.v[(p[i + 1] + j) & 0xFF] & 0xFF;
            for (unsigned k = 1; x != y; ++k) {
                uint8_t t = substTable_[x];
                substTable_[x] = substTable_[(x + i + k) & 0xFF];
                substTable_[(x + i + k) & 0xFF] = t;
                x = (x + 1) & 0xFF;
            }
        }
    }
    for (size_t i = 0; i < len; i += 16) encryptBlock(p + i);
}

uint32_t Rar20Cipher::subst32(uint32_t x) const {
    return uint32_t(substTable_[x & 0xFF]) | uint32_t(substTable_[(x >> 8) & 0xFF]) << 8 |
           uint32_t(substTable_[(x >> 16) & 0xFF]) << 16 | uint32_t(substTable_[x >> 24]) << 24;
}

void Rar20Cipher::updateKeys(const uint8_t* block) {
    for (int i = 0; i < 16; i += 4) {
        key_[0] ^= kCrc.v[block[i]];
        key_[1] ^= kCrc.v[block[i + 1]];
        key_[2] ^= kCrc.v[block[i + 2]];
        key_[3] ^= kCrc.v[block[i + 3]];
    }
}

void Rar20Cipher::rounds(uint8_t* block, bool encrypt) {
    uint32_t a = load32(block) ^ key_[0], b = load32(block + 4) ^ key_[1];
    uint32_t c = load32(block + 8) ^ key_[2], d = load32(block + 12) ^ key_[3];
    for (int step = 0; step < 32; ++step) {
        const int r = encrypt ? step : 31 - step;
        const uint32_t k = key_[r & 3];
        const uint32_t ta = a ^ subst32((c + rotl(d, 11)) ^ k);
        const uint32_t tb = b ^ subst32((d ^ rotl(c, 17)) + k);
        a = c;
        b = d;
        c = ta;
        d = tb;
    }
    store32(block, c ^ key_[0]);
    store32(block + 4, d ^ key_[1]);
    store32(block + 8, a ^ key_[2]);
    store32(block + 12, b ^ key_[3]);
}

void Rar20Cipher::encryptBlock(uint8_t* block) {
    rounds(block, true);
    updateKeys(block);
}

void Rar20Cipher::decryptBlock(uint8_t* block) {
    uint8_t saved[16];
    std::memcpy(saved, block, 16);
    rounds(block, false);
    updateKeys(saved);
}

}  // namespace korvana::pack
