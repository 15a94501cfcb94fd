// Test helper: runs the decoder on packed bytes held in memory, and models the output an LZ
// stream must produce, so decoder tests need no archive.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/unpack.h"
#include "bit_writer.h"

namespace korvana::test {

// Serves a byte array to the decoder, at most `chunk` bytes per read.
struct ByteSource {
    const std::vector<uint8_t>* data = nullptr;
    size_t offset = 0;
    uint32_t chunk = 0xFFFFFFFFu;
    uint32_t reads = 0;

    static uint32_t read(void* context, uint8_t* dest, uint32_t count) {
        auto* self = static_cast<ByteSource*>(context);
        ++self->reads;
        const size_t left = self->data->size() - self->offset;
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>({left, count, self->chunk}));
        if (n != 0) std::memcpy(dest, self->data->data() + self->offset, n);
        self->offset += n;
        return n;
    }
};

// A decoder with its own state and window, run entry by entry like the reader does.
struct Decoder {
    std::unique_ptr<UnpackState> state = std::make_unique<UnpackState>();
    std::vector<uint8_t> window = std::vector<uint8_t>(UNP_WINDOW_SIZE);
    uint32_t produced = 0;  // bytes copied out by the last decode
    uint32_t reads = 0;     // read calls made by the last decode

    // Decodes one entry; returns the bytes copied to the output buffer (empty when !wanted).
    std::vector<uint8_t> decode(const std::vector<uint8_t>& packed, uint32_t unpSize, bool solid = false,
                                bool wanted = true) {
        ByteSource source{&packed};
        std::vector<uint8_t> output(wanted ? unpSize : 0);
        produced = 0;
        UnpackIo io;
        io.read = &ByteSource::read;
        io.context = &source;
        io.output = wanted ? output.data() : nullptr;
        io.outSize = wanted ? &produced : nullptr;
        io.unpSize = unpSize;
        io.solid = solid;
        unpack(*state, window.data(), io);
        reads = source.reads;
        output.resize(produced);
        return output;
    }

    // Decodes one non-solid entry straight into its output, as archiveExtract does with the
    // entry it wants; the window is not touched.
    std::vector<uint8_t> decodeDirect(const std::vector<uint8_t>& packed, uint32_t unpSize) {
        ByteSource source{&packed};
        std::vector<uint8_t> output(static_cast<size_t>(unpSize) + UNP_DIRECT_SLACK);
        produced = 0;
        UnpackIo io;
        io.read = &ByteSource::read;
        io.context = &source;
        io.output = output.data();
        io.direct = true;
        io.outSize = &produced;
        io.unpSize = unpSize;
        unpack(*state, window.data(), io);
        output.resize(produced);
        return output;
    }
};

// What an LZ stream means, byte by byte, over a window that starts zeroed: writes the stream and
// the bytes it must decode to side by side.
struct LzScenario {
    StreamWriter writer;
    std::vector<uint8_t> expected;
    std::vector<uint32_t> history;  // every distance used, most recent last
    uint32_t lastLength = 0;
    uint32_t lastDist = 0;

    void copy(uint32_t len, uint32_t dist) {
        for (uint32_t i = 0; i < len; ++i) {
            expected.push_back(expected.size() >= dist ? expected[expected.size() - dist] : 0);
        }
        history.push_back(dist);
    }
    void literal(uint8_t value) {
        writer.literal(value);
        expected.push_back(value);
    }
    void match(uint32_t len, uint32_t dist) {
        writer.match(len, dist);
        copy(len, dist);
        lastLength = len;
        lastDist = dist;
    }
    void oldDistance(uint32_t nth, uint32_t len) {
        const uint32_t dist = history.at(history.size() - nth);
        writer.oldDistance(nth, len, dist);
        copy(len, dist);
        lastLength = len;
        lastDist = dist;
    }
    void shortDistance(uint32_t dist) {
        writer.shortDistance(dist);
        copy(2, dist);
        lastLength = 2;
        lastDist = dist;
    }
    void repeatLast() {
        writer.repeatLast();
        copy(lastLength, lastDist);
    }
    // Output of `count` bytes quickly: one literal, then runs of the longest match.
    void run(uint8_t value, uint32_t count) {
        literal(value);
        for (count -= 1; count > 0;) {
            const uint32_t len = std::min<uint32_t>(count, 258);
            if (len < 3) {
                literal(value);
                count -= 1;
                continue;
            }
            match(len, 1);
            count -= len;
        }
    }
};

inline std::vector<uint8_t> defaultLd() { return variedLengths(298, 8); }
inline std::vector<uint8_t> defaultDd() { return variedLengths(48, 4); }
inline std::vector<uint8_t> defaultRd() { return variedLengths(28, 4); }

}  // namespace korvana::test
