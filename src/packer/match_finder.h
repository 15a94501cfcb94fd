// Internal to the RAR 2.0 compressor: the match finder. Hash chains over everything the decoder's
// window holds (3-byte hashes for ordinary matches, exact 2-byte keys for the short ones), searched
// as deep as the compression level asks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "packer/encoder_state.h"

namespace korvana::pack::detail {

struct LevelParams {
    unsigned chainDepth;
    unsigned nice;
    bool lazy;
    unsigned passes;
    unsigned segment;
};

LevelParams paramsFor(int level);

constexpr unsigned kHashBits = 17;
constexpr uint32_t kPrevSize = 1u << 21;  // twice the window: links never clash within reach
constexpr uint32_t kPrevMask = kPrevSize - 1;

struct Match {
    uint32_t dist;
    uint32_t len;
};
struct MatchList {
    uint32_t shortDist = 0;      // nearest length-2 match within 256 bytes, 0 for none
    std::vector<Match> matches;  // along the chain, each longer than the one before
};
// Matches found at each position of one segment, kept across parse passes.
struct MatchCache {
    size_t base = 0;
    std::vector<int32_t> index;  // per position: slot in `lists`, or -1
    std::vector<MatchList> lists;
    void reset(size_t from, size_t count) {
        base = from;
        index.assign(count, -1);
        lists.clear();
    }
    const MatchList* find(size_t pos) const {
        const size_t k = pos - base;
        return k < index.size() && index[k] >= 0 ? &lists[size_t(index[k])] : nullptr;
    }
    const MatchList* store(size_t pos, MatchList&& list) {
        const size_t k = pos - base;
        if (k >= index.size()) {
            spill = std::move(list);
            return &spill;
        }
        index[k] = static_cast<int32_t>(lists.size());
        lists.push_back(std::move(list));
        return &lists.back();
    }
    MatchList spill;
};

struct MatchFinder {
    LevelParams params;

    // The stream's recent bytes, in order: at least a window's reach before the next position to
    // encode, and what has arrived after it. Positions here and in the chains count from its start.
    std::vector<uint8_t> hist;
    std::vector<int32_t> head3, head2;
    std::unique_ptr<int32_t[]> prev3, prev2;
    size_t inserted = 0;

    explicit MatchFinder(LevelParams p);

    static uint32_t hash3(const uint8_t* p) {
        return ((uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) * 2654435761u) >> (32 - kHashBits);
    }

    void insertUpTo(size_t end) {
        const size_t limit = std::min(end, hist.size());
        for (; inserted < limit; ++inserted) {
            const size_t i = inserted;
            if (i + 1 < hist.size()) {
                const uint32_t k2 = uint32_t(hist[i]) << 8 | hist[i + 1];
                prev2[i & kPrevMask] = head2[k2];
                head2[k2] = static_cast<int32_t>(i);
            }
            if (i + 2 < hist.size()) {
                const uint32_t h = hash3(&hist[i]);
                prev3[i & kPrevMask] = head3[h];
                head3[h] = static_cast<int32_t>(i);
            }
        }
    }

    // Reads nothing past pos + maxLen, so callers that keep maxLen within the data need no slack
    // after it.
    unsigned matchLen(size_t pos, uint32_t dist, unsigned maxLen) const {
        const uint8_t* a = hist.data() + pos;
        const uint8_t* b = a - dist;
        unsigned n = 0;
        while (n + 8 <= maxLen) {
            uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) return n + static_cast<unsigned>(__builtin_ctzll(x ^ y) >> 3);
            n += 8;
        }
        while (n < maxLen && a[n] == b[n]) ++n;
        return n;
    }

    // Length-2 matches within 256 bytes and longer ones along the hash chain of position i.
    void findMatches(size_t i, size_t avail, size_t reach, MatchList& list) const;
};

}  // namespace korvana::pack::detail
