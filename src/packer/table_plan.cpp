#include "packer/table_plan.h"

#include "packer/encoder_state.h"
#include "packer/huffman.h"

namespace korvana::pack::detail {

std::vector<TableSym> tableSymbols(const uint8_t* work, unsigned n, const uint8_t* old) {
    std::vector<TableSym> out;
    out.reserve(n);
    unsigned i = 0;
    while (i < n) {
        const uint8_t v = work[i];
        if (v == 0) {
            unsigned r = 1;
            while (i + r < n && work[i + r] == 0 && r < 138) ++r;
            if (r >= 11) {
                out.push_back({18, static_cast<uint8_t>(r - 11), 7});
                i += r;
                continue;
            }
            if (r >= 3) {
                out.push_back({17, static_cast<uint8_t>(r - 3), 3});
                i += r;
                continue;
            }
        }
        if (i > 0 && work[i - 1] == v) {
            unsigned r = 0;
            while (i + r < n && work[i + r] == v && r < 6) ++r;
            if (r >= 3) {
                out.push_back({16, static_cast<uint8_t>(r - 3), 2});
                i += r;
                continue;
            }
        }
        out.push_back({static_cast<uint8_t>((v - (old ? old[i] : 0)) & 15), 0, 0});
        ++i;
    }
    return out;
}

TablePlan planTable(const uint8_t* work, unsigned n, const uint8_t* old, bool audio) {
    TablePlan p;
    p.syms = tableSymbols(work, n, old);
    std::vector<uint32_t> f(kBdSize, 0);
    for (const auto& s : p.syms) ++f[s.sym];
    p.bdLen = buildCodeLengths(f);
    p.bits = 2 + (audio ? 2 : 0) + 4 * kBdSize;
    for (const auto& s : p.syms) p.bits += p.bdLen[s.sym] + s.extraBits;
    return p;
}

}  // namespace korvana::pack::detail
