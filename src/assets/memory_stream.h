// MemoryStream: a read cursor over one member extracted from the asset archive, the way the
// Targa loader walks an image file. The stream owns the extracted bytes.
#pragma once

#include <cstdint>
#include <memory>

namespace korvana {

struct MemoryStream {
    int32_t size = 0;      // number of bytes extracted
    int32_t position = 0;  // next byte to read, 0..size
    uint8_t* data = nullptr;  // a malloc block (the archive reader's), freed with the stream

    MemoryStream() = default;
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    ~MemoryStream();
};

// The stream over member `name` of the asset archive; null when it cannot be extracted (or is
// larger than a stream can address).
std::unique_ptr<MemoryStream> openArchiveStream(const char* name);

// A stream over a copy of `byteCount` bytes (files read from disk by the tools, tests); null when
// the bytes do not fit a stream or memory runs out.
std::unique_ptr<MemoryStream> openMemoryStream(const uint8_t* bytes, uint64_t byteCount);

// Copies up to `count` bytes from the current position, never past the end; returns the count
// copied (0 for a negative count).
int32_t read(void* destination, int32_t count, MemoryStream& stream);

// origin 0: from the start, 1: from the current position, 2: from the end; any other origin leaves
// the position alone. The result is clamped to 0..size.
MemoryStream& seek(MemoryStream& stream, int32_t offset, int origin);

}  // namespace korvana
