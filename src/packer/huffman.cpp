#include "packer/huffman.h"

#include <algorithm>

namespace korvana {

namespace {

// Plain Huffman depths of the given leaves (two-queue construction over sorted weights).
void huffmanDepths(const std::vector<std::pair<uint64_t, uint32_t>>& leaves, std::vector<uint8_t>& lengths) {
    const size_t n = leaves.size();
    // Nodes 0..n-1 are leaves (sorted by weight); n.. are internal nodes in creation order.
    std::vector<uint64_t> weight(2 * n - 1);
    std::vector<uint32_t> parent(2 * n - 1, 0);
    for (size_t i = 0; i < n; ++i) weight[i] = leaves[i].first;
    size_t leaf = 0, inner = n, next = n;
    auto takeSmallest = [&]() {
        if (leaf < n && (inner >= next || weight[leaf] <= weight[inner])) return leaf++;
        return inner++;
    };
    while (next < 2 * n - 1) {
        size_t a = takeSmallest();
        size_t b = takeSmallest();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<uint32_t>(next);
        ++next;
    }
    std::vector<uint32_t> depth(2 * n - 1, 0);
    for (size_t i = 2 * n - 1; i-- > 0;) {
        if (i == 2 * n - 2) continue;
        depth[i] = depth[parent[i]] + 1;
    }
    for (size_t i = 0; i < n; ++i) lengths[leaves[i].second] = static_cast<uint8_t>(std::min<uint32_t>(depth[i], 255));
}

}  // namespace

std::vector<uint8_t> buildCodeLengths(const std::vector<uint32_t>& freqs, unsigned maxLength) {
    const size_t size = freqs.size();
    std::vector<uint8_t> lengths(size, 0);
    std::vector<std::pair<uint64_t, uint32_t>> leaves;
    for (size_t i = 0; i < size; ++i)
        if (freqs[i] > 0) leaves.emplace_back(freqs[i], static_cast<uint32_t>(i));
    for (uint32_t s = 0; leaves.size() < 2 && s < size; ++s) {
        if (freqs[s] == 0) leaves.emplace_back(0, s);
    }
    if (leaves.size() < 2) return lengths;  // an alphabet of one symbol cannot be coded
    std::sort(leaves.begin(), leaves.end());
    huffmanDepths(leaves, lengths);

    // Limit the depth, then repair the Kraft sum: lengthen the rarest short-enough codes while the
    // code is over-full, and shorten the most frequent ones while room is left.
    const uint32_t full = 1u << maxLength;
    uint32_t kraft = 0;
    for (auto& l : leaves) {
        uint8_t& len = lengths[l.second];
        if (len > maxLength) len = static_cast<uint8_t>(maxLength);
        kraft += full >> len;
    }
    while (kraft > full) {
        // Rarest symbol among those with the longest length below the limit.
        int pick = -1;
        for (size_t i = 0; i < leaves.size(); ++i) {
            uint8_t len = lengths[leaves[i].second];
            if (len < maxLength && (pick < 0 || len > lengths[leaves[static_cast<size_t>(pick)].second])) pick = static_cast<int>(i);
        }
        uint8_t& len = lengths[leaves[static_cast<size_t>(pick)].second];
        kraft -= full >> (len + 1);
        ++len;
    }
    bool changed = true;
    while (kraft < full && changed) {
        changed = false;
        for (size_t i = leaves.size(); i-- > 0 && kraft < full;) {
            uint8_t& len = lengths[leaves[i].second];
            if (len > 1 && kraft + (full >> len) <= full) {
                kraft += full >> len;
                --len;
                changed = true;
            }
        }
    }
    return lengths;
}

std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[kMaxCodeLength + 1] = {};  // count[0] stays 0: unused symbols take no code
    for (uint8_t l : lengths)
        if (l > 0 && l <= kMaxCodeLength) ++count[l];
    uint32_t next[kMaxCodeLength + 1] = {};
    uint32_t code = 0;
    for (unsigned l = 1; l <= kMaxCodeLength; ++l) {
        code = (code + count[l - 1]) << 1;
        next[l] = code;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t s = 0; s < lengths.size(); ++s) {
        uint8_t l = lengths[s];
        if (l > 0 && l <= kMaxCodeLength) codes[s] = static_cast<uint16_t>(next[l]++);
    }
    return codes;
}

}  // namespace korvana
