// The RAR 2.0 decoder: LZ over a 1 MiB window with Huffman-coded symbols, and multimedia mode.
// Its state is part of the reader's one static record; packed bytes come through the reader's
// unpRead, which also decrypts.
#pragma once

#include <cstdint>

namespace korvana {

// Decoder state (tables, bit input, match history, multimedia predictors).
// Field set to be completed by the decoder; the reader only embeds it.
struct UnpackState {};

// What one entry's decoding works on, supplied by the reader for the current entry.
struct UnpackIo {
    // Reads up to `count` packed bytes into `dest`; returns the count read, or 0xFFFFFFFF on error.
    uint32_t (*read)(void* context, uint8_t* dest, uint32_t count) = nullptr;
    void* context = nullptr;
    uint8_t* output = nullptr;   // the caller's buffer of unpSize bytes; null when not the wanted entry
    uint32_t* outSize = nullptr; // bytes copied to `output` so far
    uint32_t unpSize = 0;        // the entry's UnpSize
    bool solid = false;          // the entry's Flags has bit 0x10: continue the previous state
};

// Decodes the current entry into `window` (0x100000 bytes) and io.output.
void unpack(UnpackState& state, uint8_t* window, UnpackIo& io);

}  // namespace korvana
