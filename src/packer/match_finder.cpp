#include "packer/match_finder.h"

#include <algorithm>

namespace korvana::pack::detail {

LevelParams paramsFor(int level) {
    switch (level) {
        case 1: return {6, 24, false, 1, 64 * 1024};
        case 2: return {16, 48, true, 2, 32 * 1024};
        case 3: return {48, 128, true, 2, 32 * 1024};
        case 4: return {128, 260, true, 2, 16 * 1024};
        default: return {400, 260, true, 3, 16 * 1024};
    }
}

MatchFinder::MatchFinder(LevelParams p) : params(p) {
    head3.assign(size_t(1) << kHashBits, -1);
    head2.assign(65536, -1);
    prev3.reset(new int32_t[kPrevSize]);
    prev2.reset(new int32_t[kPrevSize]);
}

void MatchFinder::findMatches(size_t i, size_t avail, size_t reach, MatchList& list) const {
    // Positions at or after i may already be in the chains (a later pass re-parses a segment
    // whose positions were inserted); they are stepped over, within a budget.
    unsigned skips = 512;
    int32_t cand2 = head2[uint32_t(hist[i]) << 8 | hist[i + 1]];
    while (cand2 >= 0 && size_t(cand2) >= i && skips > 0) {
        cand2 = prev2[size_t(cand2) & kPrevMask];
        --skips;
    }
    if (cand2 >= 0 && size_t(cand2) < i && i - size_t(cand2) <= 256) list.shortDist = static_cast<uint32_t>(i - size_t(cand2));

    if (avail < 3) return;
    int32_t cand = head3[hash3(&hist[i])];
    unsigned depth = params.chainDepth;
    unsigned longest = 2;
    const unsigned cap = static_cast<unsigned>(std::min<size_t>(avail, kMaxLen));
    while (cand >= 0 && depth > 0) {
        const size_t c = size_t(cand);
        if (c >= i) {
            if (skips-- == 0) break;
            cand = prev3[c & kPrevMask];
            continue;
        }
        const size_t dist = i - c;
        if (dist > reach) break;
        --depth;
        if (hist[c + longest] == hist[i + longest]) {
            const uint32_t d = static_cast<uint32_t>(dist);
            const unsigned bonus = matchBonus(d);
            const unsigned len = matchLen(i, d, std::min(cap, 258 + bonus));
            if (len > longest) {
                longest = len;
                if (len >= 3 + bonus) list.matches.push_back({d, len});
                if (len >= params.nice || len >= cap) break;
                // A good match already: look a little further only.
                if (len >= 32 && depth > 16) depth = 16;
            }
        }
        cand = prev3[c & kPrevMask];
    }
}

}  // namespace korvana::pack::detail
