// The writer's CRC-32 (IEEE 802.3, reflected) and the encrypting side of the RAR 2.0 block cipher.
// Kept with the writer so that it depends on nothing but the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvana::pack {

// Continues a CRC-32: start with 0xFFFFFFFF and complement the final value.
uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t count);
inline uint32_t crc32(const uint8_t* data, size_t count) { return ~crc32Update(0xFFFFFFFFu, data, count); }

// Key state of one encrypted entry; set afresh for every entry.
class Rar20Cipher {
public:
    explicit Rar20Cipher(const std::string& password);
    // Encrypts 16 bytes in place and advances the keys.
    void encryptBlock(uint8_t* block);
    // Decrypts 16 bytes in place and advances the keys (the inverse, used to check ourselves).
    void decryptBlock(uint8_t* block);

private:
    uint32_t subst32(uint32_t x) const;
    void updateKeys(const uint8_t* block);
    void rounds(uint8_t* block, bool encrypt);

    uint32_t key_[4];
    uint8_t substTable_[256];
};

}  // namespace korvana::pack
