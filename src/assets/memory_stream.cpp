#include "assets/memory_stream.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "assets/asset_archive.h"

namespace korvana {

MemoryStream::~MemoryStream() { std::free(data); }

std::unique_ptr<MemoryStream> openArchiveStream(const char* name) {
    uint8_t* bytes = nullptr;
    uint32_t byteCount = 0;
    if (!extractAsset(name, &bytes, &byteCount)) return nullptr;
    if (byteCount > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        std::free(bytes);
        return nullptr;
    }
    auto stream = std::make_unique<MemoryStream>();
    stream->data = bytes;
    stream->size = static_cast<int32_t>(byteCount);
    return stream;
}

std::unique_ptr<MemoryStream> openMemoryStream(const uint8_t* bytes, uint64_t byteCount) {
    if (byteCount > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return nullptr;
    auto stream = std::make_unique<MemoryStream>();
    // One byte at least, so that an empty member still has a block to own.
    stream->data = static_cast<uint8_t*>(std::malloc(byteCount ? byteCount : 1));
    if (!stream->data) return nullptr;
    if (byteCount) std::memcpy(stream->data, bytes, byteCount);
    stream->size = static_cast<int32_t>(byteCount);
    return stream;
}

int32_t read(void* destination, int32_t count, MemoryStream& stream) {
    if (count <= 0) return 0;
    // 64 bits: position + count may not fit 32.
    int64_t available = static_cast<int64_t>(stream.size) - stream.position;
    if (static_cast<int64_t>(stream.position) + count >= stream.size)
        count = static_cast<int32_t>(available > 0 ? available : 0);
    if (count > 0) std::memcpy(destination, stream.data + stream.position, count);
    stream.position += count;
    return count;
}

MemoryStream& seek(MemoryStream& stream, int32_t offset, int origin) {
    int64_t target = stream.position;
    switch (origin) {
    case 0: target = offset; break;
    case 1: target = static_cast<int64_t>(stream.position) + offset; break;
    case 2: target = static_cast<int64_t>(stream.size) + offset; break;
    default: break;
    }
    // Before the start means the start: a cursor must never point outside the bytes.
    if (target < 0) target = 0;
    if (target > stream.size) target = stream.size;
    stream.position = static_cast<int32_t>(target);
    return stream;
}

}  // namespace korvana
