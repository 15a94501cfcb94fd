// The RAR 2.0 block cipher: 16-byte blocks, a password-derived substitution table and four key
// words that evolve with every block, so blocks must be processed in stream order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvana {

extern const uint8_t CRYPT_SUBST_TABLE[256];

// The key state of one encrypted entry (part of the reader's state).
struct CryptState {
    uint32_t Key[4] = {};
    uint8_t SubstTable[256] = {};
};

// Prepares the keys for one entry. Needs CRCTab (initCrc). Passwords longer than 255 bytes are
// cut at 255.
void setCryptKeys(CryptState& state, const char* password);

// Transform 16 bytes in place and evolve the keys.
void encryptBlock(CryptState& state, uint8_t* block);
void decryptBlock(CryptState& state, uint8_t* block);

// Key evolution from 16 encrypted bytes.
void updKeys(CryptState& state, const uint8_t* block);

// Clears a secret (password, key state) so that the compiler cannot drop the stores as dead.
void wipeSecret(void* data, size_t size);

}  // namespace korvana
