// Length-limited Huffman code lengths and the canonical codes the RAR 2.0 decoder rebuilds from
// them (codes sorted by length, then by symbol).
#pragma once

#include <cstdint>
#include <vector>

namespace korvana {

constexpr unsigned kMaxCodeLength = 15;

// Code lengths (0 for unused symbols) for `freqs`, none longer than `maxLength`. The result is
// always a complete prefix code with at least two coded symbols, so that every decoder accepts it:
// when fewer than two symbols occur, symbols 0 and 1 stand in.
std::vector<uint8_t> buildCodeLengths(const std::vector<uint32_t>& freqs, unsigned maxLength = kMaxCodeLength);

// Canonical code of every symbol from its length (MSB-first bit patterns of `lengths[i]` bits).
std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t>& lengths);

}  // namespace korvana
