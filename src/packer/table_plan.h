// Internal to the RAR 2.0 compressor: how a set of code lengths is sent (run-length symbols under
// their own small Huffman table, optionally as changes against the set the decoder holds) and what
// sending it costs.
#pragma once

#include <cstdint>
#include <vector>

namespace korvana::pack::detail {

struct TableSym {
    uint8_t sym;
    uint8_t extra;
    uint8_t extraBits;
};

// Run-length form of a table of code lengths, as deltas against `old` (all zero without keepOld).
std::vector<TableSym> tableSymbols(const uint8_t* work, unsigned n, const uint8_t* old);

struct TablePlan {
    std::vector<TableSym> syms;
    std::vector<uint8_t> bdLen;
    uint64_t bits = 0;
};

TablePlan planTable(const uint8_t* work, unsigned n, const uint8_t* old, bool audio);

}  // namespace korvana::pack::detail
