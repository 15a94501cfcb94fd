// The RAR 2.0 decoder: LZ over a 1 MiB window with Huffman-coded symbols, and multimedia mode.
// Its state is part of the reader's one static record; packed bytes come through the reader's
// unpRead, which also decrypts.
#pragma once

#include <cstdint>

#include "archive/audio.h"

namespace korvana {

inline constexpr uint32_t UNP_WINDOW_SIZE = 0x100000;
inline constexpr uint32_t UNP_WINDOW_MASK = UNP_WINDOW_SIZE - 1;
inline constexpr uint32_t UNP_INPUT_SIZE = 8192;
// Bytes after the input buffer that bit peeks may touch (a peek loads a whole word); never filled.
inline constexpr uint32_t UNP_INPUT_PAD = 64;

inline constexpr uint32_t UNP_NC = 298;  // literals, lengths and control codes
inline constexpr uint32_t UNP_DC = 48;   // distance slots
inline constexpr uint32_t UNP_RC = 28;   // length slots after an old-distance code
inline constexpr uint32_t UNP_BC = 19;   // code-length codes
inline constexpr uint32_t UNP_MC = 257;  // multimedia residuals (per channel)
inline constexpr uint32_t UNP_MAX_TABLE = UNP_MC * 4;

// Code lengths up to this many bits are decoded by one lookup instead of the DecodeLen search.
inline constexpr uint32_t UNP_QUICK_BITS = 10;

// Canonical Huffman decode table of one alphabet.
struct DecodeTable {
    uint32_t MaxNum = 0;
    uint32_t DecodeLen[16] = {};
    uint32_t DecodePos[16] = {};
    uint32_t DecodeNum[UNP_NC] = {};  // sized for the largest alphabet
    // For each value of the next UNP_QUICK_BITS input bits: the code length (low byte) and the
    // decoded symbol (above it); length 0 when the code is longer and the search has to run.
    uint32_t Quick[1u << UNP_QUICK_BITS] = {};
};

// Decoder state (tables, bit input, match history, multimedia predictors). All of it survives
// from one entry to the next so that a solid entry continues where the previous one stopped.
// Zero-initialised (as a static record is) it is a valid start state.
struct UnpackState {
    // Window positions: next write, first byte not yet copied out.
    uint32_t UnpPtr = 0;
    uint32_t WrPtr = 0;

    // Bit input over the packed bytes.
    uint8_t InBuf[UNP_INPUT_SIZE + UNP_INPUT_PAD] = {};
    uint32_t InAddr = 0;  // byte of the next unread bit
    uint32_t InBit = 0;   // bit within that byte, from the most significant
    int32_t ReadTop = 0;  // as the format's refill rule leaves it; decides the end-of-entry table peek
    uint32_t InEnd = 0;   // bytes of InBuf that really hold packed data

    DecodeTable LD, DD, RD, BD, MD[4];
    uint8_t UnpOldTable[UNP_MAX_TABLE] = {};

    // Match history.
    uint32_t OldDist[4] = {};
    uint32_t OldDistPtr = 0;
    uint32_t LastDist = 0;
    uint32_t LastLength = 0;

    // Multimedia mode.
    bool UnpAudioBlock = false;
    uint32_t UnpChannels = 0;
    uint32_t CurChannel = 0;
    AudioVariables AudV[4];
    int32_t ChannelDelta = 0;

    // Bytes still to produce for the current entry, minus one (the loop runs while >= 0).
    int64_t DestUnpSize = 0;

    // Window bytes from the start that may be non-zero: a non-solid entry clears only these, so
    // one window serves a whole process without a full clear per entry. The window must start
    // zeroed and be the only one this state decodes into.
    uint32_t WindowDirty = 0;
};

// Room after unpSize that a direct decode needs: the last match may run past the entry's end.
inline constexpr uint32_t UNP_DIRECT_SLACK = 260;

// What one entry's decoding works on, supplied by the reader for the current entry. The decoded
// bytes go to one of: `output` (copied out of the window), `write` (handed on from the window as
// it fills, nothing held beyond it), or `output` with `direct` (decoded straight into it). With
// none of them the entry only fills the window, for the solid entries after it.
struct UnpackIo {
    // Reads up to `count` packed bytes into `dest`; returns the count read, or 0xFFFFFFFF on error.
    uint32_t (*read)(void* context, uint8_t* dest, uint32_t count) = nullptr;
    void* context = nullptr;
    uint8_t* output = nullptr;   // the caller's buffer of unpSize bytes
    // Receives each run of decoded bytes in order; false stops the decoding (the caller says why).
    bool (*write)(void* context, const uint8_t* data, uint32_t count) = nullptr;
    void* writeContext = nullptr;
    // Decode into `output` without the window: only for a non-solid entry, and `output` then holds
    // unpSize + UNP_DIRECT_SLACK zeroed bytes. The window and its positions are left untouched.
    bool direct = false;
    uint32_t* outSize = nullptr; // bytes handed to `output` or `write` so far
    uint32_t unpSize = 0;        // the entry's UnpSize
    bool solid = false;          // the entry's Flags has bit 0x10: continue the previous state
};

// Decodes the current entry through `window` (0x100000 bytes) to where `io` says. Failures
// (corrupt data, packed data ending early, more output than unpSize) leave the output short or
// wrong, so the caller's CRC check fails; the reasons go to the debug log.
void unpack(UnpackState& state, uint8_t* window, UnpackIo& io);

// Largest output that `packSize` packed bytes can decode to. Every symbol costs at least one bit
// (a code is never shorter than one bit, and the decoder stops once the packed data is used up)
// and produces at most 260 bytes (the longest match: 224 + 31 + 3 + 2, which code 256 can
// repeat), so one packed byte yields at most 8 * 260 = 2080 bytes. The reader refuses a larger
// UnpSize before it allocates the output buffer: such a header cannot be right.
inline constexpr uint64_t UNP_MAX_BYTES_PER_PACKED_BYTE = 8 * 260;
inline constexpr uint64_t maxUnpackedSize(uint32_t packSize) {
    return static_cast<uint64_t>(packSize) * UNP_MAX_BYTES_PER_PACKED_BYTE;
}

}  // namespace korvana
