#include "platform/win32/mp3_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/sound.h"

namespace korvana::detail {

namespace {

struct FrameHeader {
    uint32_t version = 0;  // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5 (the header's own bits)
    uint32_t sampleRate = 0;
    uint32_t bitrate = 0;
    uint32_t channels = 0;
    uint32_t bytes = 0;
    uint32_t samples = 0;
};

// A Layer III frame header at p (four bytes there); false for anything else, free format included.
bool readHeader(const uint8_t* p, FrameHeader& h) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    h.version = (p[1] >> 3) & 3;
    const uint32_t layer = (p[1] >> 1) & 3;
    const uint32_t bitrateIndex = p[2] >> 4;
    const uint32_t rateIndex = (p[2] >> 2) & 3;
    if (h.version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    static const uint32_t kbpsV1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const uint32_t kbpsV2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const uint32_t rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = h.version == 3;
    h.bitrate = (mpeg1 ? kbpsV1 : kbpsV2)[bitrateIndex] * 1000u;
    h.sampleRate = rates[rateIndex] >> (mpeg1 ? 0 : h.version == 2 ? 1 : 2);
    h.channels = (p[3] >> 6) == 3 ? 1 : 2;
    h.samples = mpeg1 ? 1152 : 576;
    const uint32_t padding = (p[2] >> 1) & 1;
    h.bytes = (mpeg1 ? 144u : 72u) * h.bitrate / h.sampleRate + padding;
    return true;
}

size_t id3v2Size(const uint8_t* bytes, size_t size) {
    if (size < 10 || std::memcmp(bytes, "ID3", 3) != 0) return 0;
    size_t length = 10;
    for (int i = 6; i < 10; ++i) {
        if (bytes[i] & 0x80) return 0;  // not a tag after all
        length = length + (static_cast<size_t>(bytes[i]) << (7 * (9 - i)));
    }
    if (bytes[5] & 0x10) length += 10;  // footer
    return std::min(length, size);
}

// The Xing/Info frame LAME writes first; its LAME tag holds the encoder delay and padding.
bool readInfoFrame(const uint8_t* frame, const FrameHeader& h, Mp3Layout& layout) {
    const size_t sideInfo = h.version == 3 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
    const size_t at = 4 + sideInfo;
    if (h.bytes < at + 8) return false;
    if (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0) return false;
    const uint32_t flags = (uint32_t(frame[at + 4]) << 24) | (uint32_t(frame[at + 5]) << 16) |
                           (uint32_t(frame[at + 6]) << 8) | frame[at + 7];
    size_t lame = at + 8;
    if (flags & 1) lame += 4;    // frame count
    if (flags & 2) lame += 4;    // byte count
    if (flags & 4) lame += 100;  // seek table
    if (flags & 8) lame += 4;    // quality
    if (lame + 24 <= h.bytes && std::memcmp(frame + lame, "LAME", 4) == 0) {
        const uint8_t* d = frame + lame + 21;
        const uint32_t delay = (uint32_t(d[0]) << 4) | (d[1] >> 4);
        const uint32_t padding = (uint32_t(d[1] & 0x0F) << 8) | d[2];
        // The decoder's own delay of 529 samples is part of what LAME's tag asks to cut.
        layout.skipStart = delay + 529;
        layout.skipEnd = padding > 529 ? padding - 529 : 0;
    }
    return true;
}

}  // namespace

bool scanMp3(const uint8_t* bytes, size_t size, Mp3Layout& layout) {
    layout = Mp3Layout{};
    size_t at = id3v2Size(bytes, size);
    FrameHeader first;
    bool haveFirst = false;
    while (at + 4 <= size) {
        FrameHeader h;
        if (!readHeader(bytes + at, h) || at + h.bytes > size) break;
        if (!haveFirst) {
            first = h;
            haveFirst = true;
            layout.sampleRate = h.sampleRate;
            layout.channels = h.channels;
            layout.samplesPerFrame = h.samples;
            if (readInfoFrame(bytes + at, h, layout)) {
                at += h.bytes;
                continue;
            }
        } else if (h.version != first.version || h.sampleRate != first.sampleRate) {
            break;
        }
        if (layout.frames.empty()) {
            layout.firstFrameBytes = h.bytes;
            layout.firstBitrate = h.bitrate;
        }
        layout.frames.push_back(at);
        at += h.bytes;
    }
    layout.end = at;
    return !layout.frames.empty();
}

Mp3Decoder::~Mp3Decoder() { closeAcm(); }

int32_t Mp3Decoder::open(std::vector<uint8_t> file) {
    closeAcm();
    file_ = std::move(file);
    try {
        if (!scanMp3(file_.data(), file_.size(), layout_)) return SOUND_ERR_FILE_FORMAT;
    } catch (const std::bad_alloc&) {
        return SOUND_ERR_MEMORY;
    }
    mp3_ = MPEGLAYER3WAVEFORMAT{};
    mp3_.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3_.wfx.nChannels = static_cast<WORD>(layout_.channels);
    mp3_.wfx.nSamplesPerSec = layout_.sampleRate;
    mp3_.wfx.nAvgBytesPerSec = layout_.firstBitrate / 8;
    mp3_.wfx.nBlockAlign = 1;
    mp3_.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3_.wID = MPEGLAYER3_ID_MPEG;
    mp3_.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    mp3_.nBlockSize = static_cast<WORD>(layout_.firstFrameBytes);
    mp3_.nFramesPerBlock = 1;
    pcm_ = WAVEFORMATEX{};
    pcm_.wFormatTag = WAVE_FORMAT_PCM;
    pcm_.nChannels = static_cast<WORD>(layout_.channels);
    pcm_.nSamplesPerSec = layout_.sampleRate;
    pcm_.wBitsPerSample = 16;
    pcm_.nBlockAlign = static_cast<WORD>(pcm_.nChannels * 2);
    pcm_.nAvgBytesPerSec = pcm_.nSamplesPerSec * pcm_.nBlockAlign;
    if (!openAcm()) return SOUND_ERR_CODEC;
    seek(0);
    return SOUND_ERR_NONE;
}

bool Mp3Decoder::openAcm() {
    return acmStreamOpen(&acm_, nullptr, &mp3_.wfx, &pcm_, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) == 0;
}

void Mp3Decoder::closeAcm() {
    if (acm_ != nullptr) acmStreamClose(acm_, 0);
    acm_ = nullptr;
}

uint64_t Mp3Decoder::totalSamples() const {
    const uint64_t all = static_cast<uint64_t>(layout_.frames.size()) * layout_.samplesPerFrame;
    const uint64_t cut = static_cast<uint64_t>(layout_.skipStart) + layout_.skipEnd;
    return all > cut ? all - cut : 0;
}

void Mp3Decoder::seek(uint64_t sample) {
    sample = std::min(sample, totalSamples());
    // A frame may take up to 511 bytes of its data from the frames before it (the bit
    // reservoir): decoding starts two frames early and that sound is dropped.
    const uint64_t raw = sample + layout_.skipStart;
    const size_t target = static_cast<size_t>(raw / layout_.samplesPerFrame);
    const size_t start = target > 2 ? target - 2 : 0;
    nextFrame_ = std::min(start, layout_.frames.size());
    discardBytes_ = (raw - static_cast<uint64_t>(start) * layout_.samplesPerFrame) * pcm_.nBlockAlign;
    leftBytes_ = (totalSamples() - sample) * pcm_.nBlockAlign;
    // A fresh codec state, so nothing of the old place is heard at the new one.
    closeAcm();
    if (!openAcm()) leftBytes_ = 0;
}

bool Mp3Decoder::decode(size_t frames, std::vector<uint8_t>& out) {
    if (acm_ == nullptr || leftBytes_ == 0 || nextFrame_ >= layout_.frames.size()) return false;
    const size_t first = nextFrame_;
    const size_t last = std::min(first + std::max<size_t>(frames, 1), layout_.frames.size());
    const size_t from = layout_.frames[first];
    const size_t to = last < layout_.frames.size() ? layout_.frames[last] : layout_.end;
    nextFrame_ = last;

    // Room for these frames and two more that the codec may have held back.
    DWORD outSize = static_cast<DWORD>((last - first + 2) * layout_.samplesPerFrame * pcm_.nBlockAlign);
    DWORD suggested = 0;
    if (acmStreamSize(acm_, static_cast<DWORD>(to - from), &suggested, ACM_STREAMSIZEF_SOURCE) == 0)
        outSize = std::max(outSize, suggested);
    std::vector<uint8_t> pcm(outSize);
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = file_.data() + from;
    header.cbSrcLength = static_cast<DWORD>(to - from);
    header.pbDst = pcm.data();
    header.cbDstLength = outSize;
    if (acmStreamPrepareHeader(acm_, &header, 0) != 0) {
        leftBytes_ = 0;
        return false;
    }
    const bool endOfMusic = last == layout_.frames.size();
    // The codec may hold samples back until it is told that no more input follows.
    const DWORD flags = endOfMusic ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
    size_t produced = 0;
    if (acmStreamConvert(acm_, &header, flags) == 0) produced = header.cbDstLengthUsed;
    acmStreamUnprepareHeader(acm_, &header, 0);

    size_t skip = static_cast<size_t>(std::min<uint64_t>(discardBytes_, produced));
    discardBytes_ -= skip;
    const size_t keep = static_cast<size_t>(std::min<uint64_t>(produced - skip, leftBytes_));
    out.insert(out.end(), pcm.begin() + static_cast<std::ptrdiff_t>(skip),
               pcm.begin() + static_cast<std::ptrdiff_t>(skip + keep));
    leftBytes_ -= keep;
    if (endOfMusic) leftBytes_ = 0;
    return true;
}

}  // namespace korvana::detail
