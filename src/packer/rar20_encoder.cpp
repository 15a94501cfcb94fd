#include "packer/rar20_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "packer/audio_encoder.h"
#include "packer/bit_writer.h"
#include "packer/encoder_state.h"
#include "packer/huffman.h"
#include "packer/match_finder.h"
#include "packer/table_plan.h"

namespace korvana::pack {

using namespace detail;

namespace {

// An open block is closed at these sizes whatever its cost says, so that the tokens or residuals
// waiting for its tables stay bounded; a table every few hundred KiB costs next to nothing.
constexpr size_t kMaxBlockTokens = size_t(1) << 19;
constexpr size_t kMaxBlockResiduals = size_t(4) << 20;
// Input is taken into the history this much at a time.
constexpr size_t kPiece = size_t(1) << 20;
// What the parse of one segment may read past its end.
constexpr size_t kLookahead = kMaxLen + 2;
// The parse's skipping over data that gives no matches: after this many literals in a row it
// starts stepping over positions, one more skipped for every kSkipGrowth further literals, at
// most kMaxSkip at a time.
constexpr size_t kSkipAfter = 32;
constexpr size_t kSkipGrowth = 16;
constexpr size_t kMaxSkip = 64;

// Whether bytes have the statistics of random data: 7.5 bits of order-0 entropy per byte or more.
bool looksRandom(const uint8_t* data, size_t size) {
    if (size < 1024) return false;
    uint32_t counts[256] = {};
    for (size_t i = 0; i < size; ++i) ++counts[data[i]];
    double bits = 0;
    for (const uint32_t c : counts)
        if (c) bits -= double(c) * std::log2(double(c) / double(size));
    return bits >= 7.5 * double(size);
}

}  // namespace

// The driver: chooses per segment between LZ and multimedia coding, gathers blocks and writes them
// with the tables the decoder will hold.
struct Rar20Encoder::Impl : MatchFinder {
    PackOptions::Multimedia multimedia;

    LzState lz;
    AudioState audio;

    // Tables the decoder currently holds.
    bool tablesSent = false;
    bool audioBlock = false;
    unsigned channels = 1;
    std::vector<uint8_t> ldLen, ddLen, rdLen;
    std::array<std::vector<uint8_t>, 4> mdLen;
    std::vector<uint16_t> ldCode, ddCode, rdCode;
    std::array<std::vector<uint16_t>, 4> mdCode;
    std::array<uint8_t, kOldTableSize> oldTable{};
    unsigned oldKnown = 0;  // positions of oldTable whose value every decoder agrees on
    unsigned emitChannel = 0;

    // Whether ldLen/ddLen/rdLen hold the last LZ block's lengths of this stream (they outlive an
    // audio block), used to price the first parse of a new LZ block.
    bool haveLzPrices = false;

    // The block being gathered: LZ tokens or multimedia residuals.
    struct Block {
        bool open = false;
        bool audio = false;
        unsigned channels = 1;
        std::vector<Token> tokens;
        std::vector<uint8_t> residuals;
        LzStats lzStats;
        AudioStats audioStats;
    } block;

    BitWriter bits;  // the packed stream of the entry at hand
    BitWriter* out = nullptr;
    bool firstTableOfEntry = true;
    // Where the next segment starts in `hist`.
    size_t encPos = 0;
    // This entry so far: bytes parsed and what their blocks are estimated to cost.
    uint64_t entryParsed = 0;
    uint64_t entryCostBits = 0;

    Stats* stats = nullptr;

    Impl(int level, PackOptions::Multimedia mm) : MatchFinder(paramsFor(level)), multimedia(mm) {}

    void resetStream() {
        hist.clear();
        encPos = 0;
        std::fill(head3.begin(), head3.end(), -1);
        std::fill(head2.begin(), head2.end(), -1);
        inserted = 0;
        lz = LzState{};
        audio = AudioState{};
        tablesSent = false;
        audioBlock = false;
        channels = 1;
        oldTable.fill(0);
        oldKnown = kOldTableSize;
        emitChannel = 0;
        haveLzPrices = false;
    }

    // ---- Prices ----

    struct Prices {
        std::array<int, kLdSize> ld;
        std::array<int, kDdSize> dd;
        std::array<int, kRdSize> rd;
    };

    static void pricesFromLengths(const std::vector<uint8_t>& len, int* out) {
        for (size_t i = 0; i < len.size(); ++i) out[i] = (len[i] ? len[i] : 17) * kPriceScale;
    }

    template <size_t N>
    static void pricesFromFreq(const std::array<uint32_t, N>& f, int* out) {
        uint64_t total = 0;
        for (uint32_t v : f) total += v;
        const double t = double(total) + 1.0;
        for (size_t i = 0; i < N; ++i) {
            const double p = f[i] ? double(f[i]) / t : 0.5 / t;
            double bits = -std::log2(p);
            bits = std::clamp(bits, 1.0, 17.0);
            out[i] = static_cast<int>(bits * kPriceScale + 0.5);
        }
    }

    Prices defaultPrices() const {
        Prices p;
        if (haveLzPrices) {
            pricesFromLengths(ldLen, p.ld.data());
            pricesFromLengths(ddLen, p.dd.data());
            pricesFromLengths(rdLen, p.rd.data());
            return p;
        }
        for (unsigned i = 0; i < kLdSize; ++i) p.ld[i] = (i < 256 ? 8 : 9) * kPriceScale;
        for (unsigned i = 0; i < kDdSize; ++i) p.dd[i] = 5 * kPriceScale;
        for (unsigned i = 0; i < kRdSize; ++i) p.rd[i] = 4 * kPriceScale;
        return p;
    }

    static Prices pricesFromStats(const LzStats& s) {
        Prices p;
        pricesFromFreq(s.ld, p.ld.data());
        pricesFromFreq(s.dd, p.dd.data());
        pricesFromFreq(s.rd, p.rd.data());
        return p;
    }

    // ---- Parsing ----

    struct Choice {
        int64_t gain = 0;  // bits saved against coding the same bytes as literals (scaled)
        Token tok{0, 0, 0};
        unsigned len = 1;
    };
    MatchCache matchCache;

    // The cheapest way to code position i under the given prices and history.
    Choice bestAt(size_t i, size_t entryEnd, const LzState& st, const Prices& pr, const std::vector<int64_t>& lit,
                  size_t litBase, MatchCache* cache) const {
        Choice best;
        best.tok = {hist[i], 0, 0};
        const size_t avail = entryEnd - i;
        if (avail < 2) return best;
        auto litSum = [&](unsigned len) { return lit[i + len - litBase] - lit[i - litBase]; };
        auto consider = [&](int64_t gain, uint16_t sym, unsigned len, uint32_t dist) {
            if (gain > best.gain) {
                best.gain = gain;
                best.tok = {sym, static_cast<uint16_t>(len), dist};
                best.len = len;
            }
        };
        const size_t reach = std::min<size_t>(i, kMaxDist);

        if (st.lastLength > 0 && st.lastLength <= avail && st.lastDist <= reach &&
            matchLen(i, st.lastDist, st.lastLength) == st.lastLength) {
            consider(litSum(st.lastLength) - pr.ld[kSymRepeat], kSymRepeat, st.lastLength, st.lastDist);
        }
        unsigned longestRep = 0;
        for (unsigned k = 1; k <= 4; ++k) {
            const uint32_t d = st.oldDist[(st.oldDistPtr - k) & 3];
            if (d == 0 || d > reach) continue;
            const unsigned bonus = oldDistBonus(d);
            const unsigned maxLen = static_cast<unsigned>(std::min<size_t>(avail, 257 + bonus));
            const unsigned len = matchLen(i, d, maxLen);
            if (len < 2 + bonus) continue;
            longestRep = std::max(longestRep, len);
            const unsigned s = lenSlot(len - 2 - bonus);
            consider(litSum(len) - pr.ld[kSymOld + k - 1] - pr.rd[s] - kLBits[s] * kPriceScale, kSymOld + k - 1, len, d);
        }
        if (longestRep >= params.nice) return best;

        // Length-2 matches close by and longer ones along the hash chain: the same for every
        // parse pass over a segment, so they are found once and kept.
        const MatchList* found = cache ? cache->find(i) : nullptr;
        MatchList local;
        if (!found) {
            findMatches(i, avail, reach, local);
            if (cache) found = cache->store(i, std::move(local));
            else found = &local;
        }
        if (found->shortDist) {
            const uint32_t d = found->shortDist;
            const unsigned s = shortSlot(d - 1);
            consider(litSum(2) - pr.ld[kSymShort + s] - kSDBits[s] * kPriceScale, static_cast<uint16_t>(kSymShort + s), 2, d);
        }
        for (const Match& m : found->matches) {
            const unsigned bonus = matchBonus(m.dist);
            const unsigned s = lenSlot(m.len - 3 - bonus);
            const unsigned ds = distSlot(m.dist - 1);
            consider(litSum(m.len) - pr.ld[kSymMatch + s] - kLBits[s] * kPriceScale - pr.dd[ds] - kDBits[ds] * kPriceScale,
                     static_cast<uint16_t>(kSymMatch + s), m.len, m.dist);
        }
        return best;
    }

    static void apply(LzState& st, const Token& t) {
        if (t.sym < 256) return;
        st.push(t.dist);
        if (t.sym != kSymRepeat) {
            st.lastLength = t.len;
            st.lastDist = t.dist;
        }
    }

    // Parses [begin, at least segEnd) into tokens; returns where the parse stopped.
    // `mayStep`: the segment's bytes look random, and long runs without matches may be stepped
    // over.
    size_t parse(size_t begin, size_t segEnd, size_t entryEnd, LzState& st, const Prices& pr, std::vector<Token>& tokens,
                 MatchCache* cache, bool mayStep) {
        const size_t litEnd = std::min(entryEnd, segEnd + kMaxLen + 2);
        std::vector<int64_t> lit(litEnd - begin + 1);
        lit[0] = 0;
        for (size_t j = begin; j < litEnd; ++j) lit[j - begin + 1] = lit[j - begin] + pr.ld[hist[j]];
        size_t i = begin;
        bool havePending = false;
        Choice pending;
        // Literals in a row: where the data has given no match for a while, positions are
        // searched ever more sparsely (every position still enters the chains), as fast
        // compressors skip over incompressible stretches; one match found brings back the full
        // search.
        // Only where the bytes themselves look random (compressed or encrypted data): audio and
        // other data whose matches come rarely but pay keep the full search.
        size_t misses = 0;
        while (i < segEnd) {
            if (mayStep && misses > kSkipAfter && !havePending) {
                const size_t step = std::min<size_t>(segEnd - i, std::min(kMaxSkip, (misses - kSkipAfter) / kSkipGrowth));
                for (size_t k = 0; k < step; ++k) tokens.push_back({hist[i + k], 0, 0});
                // Skipped positions stay out of the chains too: a stretch that matched nothing
                // is seldom matched later, and the chains' upkeep is most of what is left.
                if (inserted <= i) inserted = i + step;
                i += step;
                misses += step;
                if (i >= segEnd) break;
            }
            insertUpTo(i);
            Choice cur = havePending ? pending : bestAt(i, entryEnd, st, pr, lit, begin, cache);
            havePending = false;
            if (cur.len >= 2 && params.lazy && cur.len < params.nice && i + 1 < segEnd) {
                insertUpTo(i + 1);
                Choice next = bestAt(i + 1, entryEnd, st, pr, lit, begin, cache);
                if (next.gain > cur.gain) {
                    tokens.push_back({hist[i], 0, 0});
                    ++i;
                    pending = next;
                    havePending = true;
                    continue;
                }
            }
            tokens.push_back(cur.tok);
            apply(st, cur.tok);
            i += cur.len;
            misses = cur.len >= 2 ? 0 : misses + 1;
        }
        return i;
    }

    // ---- Costs of blocks ----

    struct LzLengths {
        std::vector<uint8_t> ld, dd, rd;
    };

    static LzLengths lzLengths(const LzStats& s) {
        LzLengths l;
        l.ld = buildCodeLengths(withSwitch(s.ld.data(), kLdSize, kSymTables));
        l.dd = buildCodeLengths(std::vector<uint32_t>(s.dd.begin(), s.dd.end()));
        l.rd = buildCodeLengths(std::vector<uint32_t>(s.rd.begin(), s.rd.end()));
        return l;
    }

    static void lzWork(const LzLengths& l, uint8_t* work) {
        std::copy(l.ld.begin(), l.ld.end(), work);
        std::copy(l.dd.begin(), l.dd.end(), work + kLdSize);
        std::copy(l.rd.begin(), l.rd.end(), work + kLdSize + kDdSize);
    }

    // Bits to code a block with these statistics, its tables and the switch into it included.
    static uint64_t lzCost(const LzStats& s) {
        const LzLengths l = lzLengths(s);
        uint64_t bits = s.extraBits;
        bits += codedBits(std::vector<uint32_t>(s.ld.begin(), s.ld.end()), l.ld);
        bits += codedBits(std::vector<uint32_t>(s.dd.begin(), s.dd.end()), l.dd);
        bits += codedBits(std::vector<uint32_t>(s.rd.begin(), s.rd.end()), l.rd);
        uint8_t work[kLzTableSize];
        lzWork(l, work);
        return bits + planTable(work, kLzTableSize, nullptr, false).bits + 8;
    }

    // ---- Emission ----

    void putSymbol(const std::vector<uint16_t>& codes, const std::vector<uint8_t>& lens, unsigned sym) {
        out->put(codes[sym], lens[sym]);
    }

    void writeSwitch() {
        if (audioBlock)
            putSymbol(mdCode[emitChannel], mdLen[emitChannel], kMdTables);
        else
            putSymbol(ldCode, ldLen, kSymTables);
    }

    void writeTables(const uint8_t* work, unsigned n, bool isAudio, unsigned chans) {
        TablePlan plan = planTable(work, n, nullptr, isAudio);
        bool keepOld = false;
        if (tablesSent && n <= oldKnown) {
            TablePlan delta = planTable(work, n, oldTable.data(), isAudio);
            if (delta.bits < plan.bits) {
                plan = std::move(delta);
                keepOld = true;
                ++stats->deltaTables;
            }
        }
        out->put(isAudio ? 1 : 0, 1);
        out->put(keepOld ? 1 : 0, 1);
        if (isAudio) out->put(chans - 1, 2);
        for (unsigned i = 0; i < kBdSize; ++i) out->put(plan.bdLen[i], 4);
        const std::vector<uint16_t> bdCode = canonicalCodes(plan.bdLen);
        for (const auto& s : plan.syms) {
            out->put(bdCode[s.sym], plan.bdLen[s.sym]);
            if (s.extraBits) out->put(s.extra, s.extraBits);
        }
        std::copy(work, work + n, oldTable.begin());
        oldKnown = n;
        tablesSent = true;
    }

    void emitBlock() {
        if (!block.open) return;
        if (!firstTableOfEntry) writeSwitch();
        firstTableOfEntry = false;
        if (block.audio) {
            std::array<std::vector<uint8_t>, 4> lens;
            AudioStats s = block.audioStats;
            s.channels = block.channels;
            std::vector<uint8_t> work = audioWork(s, &lens);
            writeTables(work.data(), static_cast<unsigned>(work.size()), true, block.channels);
            audioBlock = true;
            channels = block.channels;
            if (emitChannel >= channels) emitChannel = 0;
            for (unsigned c = 0; c < channels; ++c) {
                mdLen[c] = lens[c];
                mdCode[c] = canonicalCodes(lens[c]);
            }
            for (uint8_t r : block.residuals) {
                putSymbol(mdCode[emitChannel], mdLen[emitChannel], r);
                if (++emitChannel >= channels) emitChannel = 0;
            }
            ++stats->audioBlocks;
            stats->lastChannels = channels;
        } else {
            LzLengths l = lzLengths(block.lzStats);
            uint8_t work[kLzTableSize];
            lzWork(l, work);
            writeTables(work, kLzTableSize, false, 0);
            audioBlock = false;
            ldLen = std::move(l.ld);
            ddLen = std::move(l.dd);
            rdLen = std::move(l.rd);
            ldCode = canonicalCodes(ldLen);
            ddCode = canonicalCodes(ddLen);
            rdCode = canonicalCodes(rdLen);
            haveLzPrices = true;
            for (const Token& t : block.tokens) writeToken(t);
            ++stats->lzBlocks;
        }
        block = Block{};
    }

    void writeToken(const Token& t) {
        putSymbol(ldCode, ldLen, t.sym);
        if (t.sym <= kSymRepeat) return;
        if (t.sym < kSymShort) {
            const uint32_t coded = t.len - 2 - oldDistBonus(t.dist);
            const unsigned s = lenSlot(coded);
            putSymbol(rdCode, rdLen, s);
            out->put(coded - kLDecode[s], kLBits[s]);
        } else if (t.sym < kSymTables) {
            const unsigned s = t.sym - kSymShort;
            out->put(t.dist - 1 - kSDDecode[s], kSDBits[s]);
        } else {
            const unsigned s = t.sym - kSymMatch;
            const uint32_t coded = t.len - 3 - matchBonus(t.dist);
            out->put(coded - kLDecode[s], kLBits[s]);
            const unsigned ds = distSlot(t.dist - 1);
            putSymbol(ddCode, ddLen, ds);
            out->put(t.dist - 1 - kDDecode[ds], kDBits[ds]);
        }
    }

    // A symbol that is not the table change, so that a decoder peeking past the last real symbol
    // into padding sees an ordinary symbol.
    void writeSafeSymbol() {
        const std::vector<uint8_t>& lens = audioBlock ? mdLen[emitChannel] : ldLen;
        const std::vector<uint16_t>& codes = audioBlock ? mdCode[emitChannel] : ldCode;
        const unsigned avoid = audioBlock ? kMdTables : kSymTables;
        for (unsigned s = 0; s < lens.size(); ++s) {
            if (s != avoid && lens[s] != 0) {
                out->put(codes[s], lens[s]);
                return;
            }
        }
    }

    // ---- Segments ----

    // Encodes the segments whose parse has all the bytes it may look at; with `final` the rest.
    // A segment's choices depend only on bytes within its lookahead, so the pieces the input
    // arrives in do not change the output.
    void encodePending(bool final) {
        using MM = PackOptions::Multimedia;
        const size_t end = hist.size();
        size_t& pos = encPos;
        while (pos < end && (final || pos + params.segment + kLookahead <= end)) {
            if (block.open && (block.tokens.size() >= kMaxBlockTokens || block.residuals.size() >= kMaxBlockResiduals))
                emitBlock();
            const size_t segEnd = std::min(end, pos + params.segment);

            // Best multimedia variant, if allowed.
            bool haveAudio = false;
            AudioTrial bestAudio;
            uint64_t audioCostBits = 0;
            bool audioMerges = false;
            // In automatic mode a cheap look at the start of the segment decides whether the full
            // trials (a predictor run per channel count) are worth their time.
            const bool tryAudio = multimedia == MM::On || (multimedia == MM::Auto && audioLooksPromising(hist, audio, pos, segEnd));
            if (tryAudio) {
                for (unsigned chans = 1; chans <= 4; ++chans) {
                    const bool canMerge = block.open && block.audio && block.channels == chans;
                    AudioTrial t = audioTrial(hist, audio, pos, segEnd, chans, canMerge);
                    uint64_t cost = audioCost(t.stats);
                    bool merges = false;
                    if (canMerge) {
                        AudioStats merged = block.audioStats;
                        merged.channels = chans;
                        merged.add(t.stats);
                        const uint64_t open = audioCost(block.audioStats);
                        const uint64_t together = audioCost(merged);
                        if (together - std::min(together, open) <= cost) {
                            cost = together - std::min(together, open);
                            merges = true;
                        }
                    }
                    if (!haveAudio || cost < audioCostBits) {
                        haveAudio = true;
                        bestAudio = std::move(t);
                        audioCostBits = cost;
                        audioMerges = merges;
                    }
                }
            }

            // LZ variant, if allowed.
            bool haveLz = false;
            std::vector<Token> tokens;
            LzState lzAfter;
            size_t lzEnd = segEnd;
            LzStats segStats;
            double lzCostPerByte = 0;
            uint64_t lzCostBits = 0;
            bool lzMerges = false;
            if (multimedia != MM::On) {
                haveLz = true;
                const bool openLz = block.open && !block.audio;
                Prices pr = openLz ? pricesFromStats(block.lzStats) : defaultPrices();
                // Later passes re-parse with better prices, reusing the matches found before.
                matchCache.reset(pos, segEnd - pos + 1);
                const bool randomLooking = looksRandom(hist.data() + pos, segEnd - pos);
                for (unsigned pass = 0; pass < params.passes; ++pass) {
                    tokens.clear();
                    lzAfter = lz;
                    lzEnd = parse(pos, segEnd, end, lzAfter, pr, tokens, params.passes > 1 ? &matchCache : nullptr,
                                  randomLooking);
                    segStats = LzStats{};
                    for (const Token& t : tokens) segStats.count(t);
                    // Random-looking bytes that gave (almost) nothing but literals: better prices
                    // cannot make matches of them.
                    if (randomLooking && tokens.size() * 50 >= (lzEnd - pos) * 49) break;
                    if (pass + 1 < params.passes) {
                        LzStats mix = segStats;
                        if (openLz) mix.add(block.lzStats);
                        pr = pricesFromStats(mix);
                    }
                }
                uint64_t cost = lzCost(segStats);
                if (openLz) {
                    LzStats merged = block.lzStats;
                    merged.add(segStats);
                    const uint64_t open = lzCost(block.lzStats);
                    const uint64_t together = lzCost(merged);
                    if (together - std::min(together, open) <= cost) {
                        cost = together - std::min(together, open);
                        lzMerges = true;
                    }
                }
                lzCostPerByte = double(cost) / double(lzEnd - pos);
                lzCostBits = cost;
            }

            const bool chooseAudio =
                haveAudio && (!haveLz || double(audioCostBits) / double(segEnd - pos) < lzCostPerByte);
            entryCostBits += chooseAudio ? audioCostBits : lzCostBits;
            entryParsed += (chooseAudio ? segEnd : lzEnd) - pos;
            if (chooseAudio) {
                if (!audioMerges) {
                    emitBlock();
                    block.open = true;
                    block.audio = true;
                    block.channels = bestAudio.stats.channels;
                    block.audioStats.channels = block.channels;
                }
                block.audioStats.add(bestAudio.stats);
                block.residuals.insert(block.residuals.end(), bestAudio.residuals.begin(), bestAudio.residuals.end());
                audio = bestAudio.after;
                insertUpTo(segEnd);
                pos = segEnd;
            } else {
                if (!lzMerges) {
                    emitBlock();
                    block.open = true;
                    block.audio = false;
                }
                block.lzStats.add(segStats);
                block.tokens.insert(block.tokens.end(), tokens.begin(), tokens.end());
                lz = lzAfter;
                pos = lzEnd;
            }
        }
    }

    // Drops the history no match can reach any more, in steps of the chain tables' size so that
    // every position keeps its slot in them; the positions they hold move down with the bytes.
    void dropOldHistory() {
        if (encPos <= kMaxDist + 1 + kPrevSize) return;
        const size_t shift = (encPos - kMaxDist - 1) / kPrevSize * kPrevSize;
        hist.erase(hist.begin(), hist.begin() + static_cast<std::ptrdiff_t>(shift));
        const int32_t by = static_cast<int32_t>(shift);
        auto rebase = [by](int32_t& p) { p = p >= by ? p - by : -1; };
        std::for_each(head3.begin(), head3.end(), rebase);
        std::for_each(head2.begin(), head2.end(), rebase);
        std::for_each(prev3.get(), prev3.get() + kPrevSize, rebase);
        std::for_each(prev2.get(), prev2.get() + kPrevSize, rebase);
        inserted -= shift;
        encPos -= shift;
    }
};

Rar20Encoder::Rar20Encoder(int level, PackOptions::Multimedia multimedia)
    : impl_(std::make_unique<Impl>(std::clamp(level, 1, 5), multimedia)) {}

Rar20Encoder::~Rar20Encoder() = default;

std::vector<uint8_t> Rar20Encoder::encodeEntry(const uint8_t* data, size_t size, bool continueSolid) {
    beginEntry(continueSolid);
    feed(data, size);
    return finishEntry();
}

void Rar20Encoder::beginEntry(bool continueSolid) {
    Impl& m = *impl_;
    stats_ = Stats{};
    if (!continueSolid) m.resetStream();
    m.bits = BitWriter{};
    m.out = &m.bits;
    m.stats = &stats_;
    m.firstTableOfEntry = !m.tablesSent;
    m.entryParsed = 0;
    m.entryCostBits = 0;
}

bool Rar20Encoder::packsNothingSoFar(uint64_t atLeast) const {
    const Impl& m = *impl_;
    return m.entryParsed >= atLeast && m.entryCostBits * 100 >= m.entryParsed * 8 * 99;
}

void Rar20Encoder::feed(const uint8_t* data, size_t size) {
    Impl& m = *impl_;
    while (size > 0) {
        const size_t n = std::min(size, kPiece);
        m.hist.insert(m.hist.end(), data, data + n);
        data += n;
        size -= n;
        m.encodePending(false);
        m.dropOldHistory();
    }
}

std::vector<uint8_t> Rar20Encoder::takeOutput() { return impl_->bits.takeBytes(); }

std::vector<uint8_t> Rar20Encoder::finishEntry() {
    Impl& m = *impl_;
    m.encodePending(true);
    m.emitBlock();
    // Extractors read ahead of the last symbol (and some peek at the next one for a table change
    // a following solid entry would start with): give them an ordinary symbol and a little slack.
    if (m.tablesSent) m.writeSafeSymbol();
    m.out = nullptr;
    std::vector<uint8_t> bytes = m.bits.finish();
    bytes.push_back(0);
    bytes.push_back(0);
    m.dropOldHistory();
    return bytes;
}

}  // namespace korvana::pack
