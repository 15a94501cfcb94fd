// The RAR 2.0 compressor (UnpVer 20): LZ over a 1 MiB window with Huffman-coded literals, lengths
// and distances, and the multimedia mode whose symbols are the residuals of the audio predictor.
// It mirrors every piece of decoder state (distance history, tables, predictors) so that each
// choice it makes decodes exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "packer/packer.h"

namespace korvana::pack {

class Rar20Encoder {
public:
    Rar20Encoder(int level, PackOptions::Multimedia multimedia);
    ~Rar20Encoder();
    Rar20Encoder(const Rar20Encoder&) = delete;
    Rar20Encoder& operator=(const Rar20Encoder&) = delete;

    // Packs `size` bytes as the next entry's data. With `continueSolid` the entry goes on from the
    // window, history and tables of the entry packed before (its header then carries flag 0x10);
    // otherwise everything starts afresh. The stream ends with one spare ordinary symbol and two
    // zero bytes: extractors read ahead, and one that peeks for a table change after the last
    // symbol (for the next solid entry) must not take padding for one.
    std::vector<uint8_t> encodeEntry(const uint8_t* data, size_t size, bool continueSolid);

    // The same in pieces, so that an entry need never be in memory whole: beginEntry, then feed
    // the entry's bytes in order in pieces of any size, then finishEntry for the packed stream.
    // Only the window's worth of history and the block being built are kept between pieces.
    void beginEntry(bool continueSolid);
    void feed(const uint8_t* data, size_t size);
    // The packed bytes completed so far (finishEntry then returns the rest).
    std::vector<uint8_t> takeOutput();
    std::vector<uint8_t> finishEntry();

    // True once at least `atLeast` bytes of this entry are parsed and their blocks would take 99 %
    // of their size or more: the entry will very likely be stored.
    bool packsNothingSoFar(uint64_t atLeast) const;

    // Figures of the last entry, for tests and benchmarks.
    struct Stats {
        size_t lzBlocks = 0;
        size_t audioBlocks = 0;
        size_t deltaTables = 0;  // tables sent as changes against the previous set
        unsigned lastChannels = 0;
    };
    const Stats& stats() const { return stats_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    Stats stats_;
};

}  // namespace korvana::pack
