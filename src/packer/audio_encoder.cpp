#include "packer/audio_encoder.h"

#include <algorithm>
#include <cmath>

#include "packer/huffman.h"
#include "packer/table_plan.h"

namespace korvana::pack::detail {

namespace {

double entropyBits(const uint32_t* counts, unsigned n) {
    uint64_t total = 0;
    for (unsigned k = 0; k < n; ++k) total += counts[k];
    double bits = 0;
    for (unsigned k = 0; k < n; ++k)
        if (counts[k]) bits -= counts[k] * std::log2(double(counts[k]) / double(total));
    return bits;
}

}  // namespace

AudioTrial audioTrial(const std::vector<uint8_t>& hist, const AudioState& audio, size_t begin, size_t end, unsigned chans,
                      bool continues) {
    AudioTrial t;
    t.after = audio;
    if (!continues && t.after.curChannel >= chans) t.after.curChannel = 0;
    t.stats.channels = chans;
    t.residuals.resize(end - begin);
    unsigned c = t.after.curChannel;
    for (size_t i = begin; i < end; ++i) {
        const uint8_t r = t.after.encode(c, hist[i]);
        t.residuals[i - begin] = r;
        ++t.stats.md[c][r];
        if (++c >= chans) c = 0;
    }
    t.after.curChannel = c;
    return t;
}

namespace {

// A quick first look at the first 1024 bytes: whether the predictor's residuals of some channel
// count are clearly (3 %) cheaper than the raw bytes counted the same way, per channel, so that
// both estimates carry the same small-sample bias.
bool quickGain(const std::vector<uint8_t>& hist, const AudioState& audio, size_t begin, size_t end) {
    const size_t sampleEnd = std::min(end, begin + 1024);
    for (unsigned chans = 1; chans <= 4; ++chans) {
        AudioState st = audio;
        if (st.curChannel >= chans) st.curChannel = 0;
        std::array<std::array<uint32_t, 256>, 4> counts{}, raw{};
        unsigned c = st.curChannel;
        for (size_t i = begin; i < sampleEnd; ++i) {
            ++raw[c][hist[i]];
            ++counts[c][st.encode(c, hist[i])];
            if (++c >= chans) c = 0;
        }
        double bits = 0, rawBits = 0;
        for (unsigned k = 0; k < chans; ++k) {
            bits += entropyBits(counts[k].data(), 256);
            rawBits += entropyBits(raw[k].data(), 256);
        }
        if (bits < 0.97 * rawBits) return true;
    }
    return false;
}

}  // namespace

bool audioLooksPromising(const std::vector<uint8_t>& hist, const AudioState& audio, size_t begin, size_t end) {
    // Data that shows no gain at all in a quick look (text, machine code, compressed data) is not
    // worth the full one.
    if (!quickGain(hist, audio, begin, end)) return false;
    const size_t sampleEnd = std::min(end, begin + 4096);
    uint32_t raw[256] = {};
    for (size_t i = begin; i < sampleEnd; ++i) ++raw[hist[i]];
    const double rawBits = entropyBits(raw, 256);
    for (unsigned chans = 1; chans <= 4; ++chans) {
        AudioState st = audio;
        if (st.curChannel >= chans) st.curChannel = 0;
        std::array<std::array<uint32_t, 256>, 4> counts{};
        unsigned c = st.curChannel;
        for (size_t i = begin; i < sampleEnd; ++i) {
            ++counts[c][st.encode(c, hist[i])];
            if (++c >= chans) c = 0;
        }
        double bits = 0;
        for (unsigned k = 0; k < chans; ++k) bits += entropyBits(counts[k].data(), 256);
        if (bits < 0.9 * rawBits) return true;
    }
    return false;
}

std::vector<uint8_t> audioWork(const AudioStats& s, std::array<std::vector<uint8_t>, 4>* lens) {
    std::vector<uint8_t> work(kMdSize * s.channels);
    for (unsigned c = 0; c < s.channels; ++c) {
        std::vector<uint8_t> l = buildCodeLengths(withSwitch(s.md[c].data(), kMdSize, kMdTables));
        std::copy(l.begin(), l.end(), work.begin() + kMdSize * c);
        if (lens) (*lens)[c] = std::move(l);
    }
    return work;
}

uint64_t audioCost(const AudioStats& s) {
    std::array<std::vector<uint8_t>, 4> lens;
    std::vector<uint8_t> work = audioWork(s, &lens);
    uint64_t bits = 0;
    for (unsigned c = 0; c < s.channels; ++c)
        bits += codedBits(std::vector<uint32_t>(s.md[c].begin(), s.md[c].end()), lens[c]);
    return bits + planTable(work.data(), static_cast<unsigned>(work.size()), nullptr, true).bits + 8;
}

}  // namespace korvana::pack::detail
