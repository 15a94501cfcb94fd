// Helpers for the archive reader's tests: a SHA-256 for comparing with the shared expected
// digests, a bit-wise CRC-32 independent of the reader's table, a builder of RAR 2.x archives as
// byte arrays, temporary folders and a fresh debug log per test.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/debug_log.h"

namespace korvana::test {

using Bytes = std::vector<uint8_t>;

inline Bytes readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Plain SHA-256 (FIPS 180-4), only for comparing extracted bytes with recorded digests.
inline std::string sha256Hex(const uint8_t* data, size_t size) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
    Bytes message(data, data + size);
    message.push_back(0x80);
    while (message.size() % 64 != 56) message.push_back(0);
    const uint64_t bits = static_cast<uint64_t>(size) * 8;
    for (int i = 7; i >= 0; --i) message.push_back(static_cast<uint8_t>(bits >> (i * 8)));
    for (size_t chunk = 0; chunk < message.size(); chunk += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<uint32_t>(message[chunk + 4 * i]) << 24 |
                   static_cast<uint32_t>(message[chunk + 4 * i + 1]) << 16 |
                   static_cast<uint32_t>(message[chunk + 4 * i + 2]) << 8 | message[chunk + 4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
        }
        h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
    }
    std::string hex;
    char digits[9];
    for (uint32_t v : h) {
        std::snprintf(digits, sizeof digits, "%08x", v);
        hex += digits;
    }
    return hex;
}

// CRC-32 computed bit by bit, so the tests do not lean on the reader's own table.
inline uint32_t bitwiseCrc32(const uint8_t* data, size_t size, uint32_t crc = 0xFFFFFFFFu) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return crc;
}

inline void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// One file block, all fields overridable so the tests can build broken headers.
struct FileEntry {
    std::string name = {};
    Bytes data = {};            // the data area as stored
    uint8_t method = 0x30;
    uint8_t unpVer = 20;
    uint16_t flags = 0x8000;
    int64_t unpSize = -1;       // -1: data.size()
    int64_t packSize = -1;      // -1: data.size()
    int64_t fileCrc = -1;       // -1: CRC of `plain` (or of data)
    Bytes plain = {};           // what the entry unpacks to, when it differs from data
    Bytes extension = {};       // bytes between the name and the data (HeadSize grows)
    int64_t headSize = -1;      // -1: computed
    int64_t nameSize = -1;      // -1: name.size()
    bool breakHeaderCrc = false;
};

class RarBuilder {
public:
    Bytes bytes;

    RarBuilder& marker(const std::string& mark = std::string("Rar!\x1a\x07\x00", 7)) {
        bytes.insert(bytes.end(), mark.begin(), mark.end());
        return *this;
    }

    RarBuilder& mainHeader(uint16_t flags = 0, const Bytes& extra = {}) {
        Bytes h;
        h.push_back(0x73);
        put16(h, flags);
        put16(h, static_cast<uint32_t>(13 + extra.size()));
        put16(h, 0);
        put32(h, 0);
        h.insert(h.end(), extra.begin(), extra.end());
        appendWithCrc(h, false);
        return *this;
    }

    RarBuilder& file(const FileEntry& e) {
        const Bytes& plain = e.plain.empty() && e.unpSize < 0 ? e.data : e.plain;
        Bytes h;
        h.push_back(0x74);
        put16(h, e.flags);
        const uint32_t nameSize = e.nameSize < 0 ? static_cast<uint32_t>(e.name.size())
                                                 : static_cast<uint32_t>(e.nameSize);
        const uint32_t headSize = e.headSize < 0
                                      ? static_cast<uint32_t>(32 + e.name.size() + e.extension.size())
                                      : static_cast<uint32_t>(e.headSize);
        put16(h, headSize);
        put32(h, static_cast<uint32_t>(e.packSize < 0 ? e.data.size() : e.packSize));
        put32(h, e.unpSize < 0 ? static_cast<uint32_t>(plain.size()) : static_cast<uint32_t>(e.unpSize));
        h.push_back(2);  // host OS: Windows
        put32(h, e.fileCrc < 0 ? ~bitwiseCrc32(plain.data(), plain.size()) : static_cast<uint32_t>(e.fileCrc));
        put32(h, 0x21A54C00);
        h.push_back(e.unpVer);
        h.push_back(e.method);
        put16(h, nameSize);
        put32(h, 0x20);
        h.insert(h.end(), e.name.begin(), e.name.end());
        h.insert(h.end(), e.extension.begin(), e.extension.end());
        appendWithCrc(h, e.breakHeaderCrc);
        bytes.insert(bytes.end(), e.data.begin(), e.data.end());
        return *this;
    }

    // Any other block: type, flags, bytes after the 7 common ones, data area.
    RarBuilder& block(uint8_t type, uint16_t flags, const Bytes& body = {}, const Bytes& data = {}) {
        Bytes h;
        h.push_back(type);
        put16(h, flags);
        Bytes rest;
        if (flags & 0x8000) put32(rest, static_cast<uint32_t>(data.size()));
        rest.insert(rest.end(), body.begin(), body.end());
        put16(h, static_cast<uint32_t>(7 + rest.size()));
        h.insert(h.end(), rest.begin(), rest.end());
        appendWithCrc(h, false);
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }

    RarBuilder& endBlock() { return block(0x7B, 0x4000); }

    RarBuilder& raw(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }

private:
    // `h` is the header from its type byte on; the CRC over it goes in front.
    void appendWithCrc(const Bytes& h, bool breakCrc) {
        uint16_t crc = static_cast<uint16_t>(~bitwiseCrc32(h.data(), h.size()));
        if (breakCrc) crc ^= 0x0101;
        put16(bytes, crc);
        bytes.insert(bytes.end(), h.begin(), h.end());
    }
};

// A private temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvana-archive-XXXXXX").string();
#ifdef _WIN32
        if (_mktemp_s(pattern.data(), pattern.size() + 1) == 0 && std::filesystem::create_directory(pattern))
            path_ = pattern;
#else
        if (::mkdtemp(pattern.data())) path_ = pattern;
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sends the debug log to a fresh file of this test's own (ctest runs test processes side by
// side) and reads it back.
struct CapturedLog {
    TempDir dir;
    std::string path = (dir / "debug_unrar.txt").string();
    CapturedLog() {
        setDebugLogPath(path.c_str());
        debugLogInit(path.c_str());
    }
    std::string text() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

// Starts a fresh debug log in `dir` for the current test. The first extraction of the process
// creates the log from the configured path; later tests start their own log directly.
inline std::filesystem::path startFreshLog(const TempDir& dir) {
    const std::filesystem::path log = dir / "debug_unrar.txt";
    setDebugLogPath(log.string().c_str());
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    archiveExtract(&buffer, &size, "nothing", (dir / "no-such-archive.rar").string().c_str(), "");
    debugLogInit(log.string().c_str());
    return log;
}

// The messages of a log, in order (the "- " lines without their indentation).
inline std::vector<std::string> logMessages(const std::filesystem::path& log) {
    std::vector<std::string> messages;
    std::ifstream in(log);
    std::string line;
    const std::string prefix = "              - ";
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0) messages.push_back(line.substr(prefix.size()));
    return messages;
}

inline bool contains(const std::vector<std::string>& messages, const std::string& wanted) {
    for (const std::string& m : messages)
        if (m == wanted) return true;
    return false;
}

// Extracts and keeps the bytes; frees the reader's buffer.
struct Extraction {
    int result = -1;
    uint32_t size = 0xDEADBEEF;
    bool bufferNull = false;
    Bytes bytes;
};

inline Extraction extract(const std::filesystem::path& archive, const char* name,
                          const char* password = "") {
    Extraction e;
    uint8_t* buffer = reinterpret_cast<uint8_t*>(&e);  // must be replaced by the call
    e.result = archiveExtract(&buffer, &e.size, name, archive.string().c_str(), password);
    e.bufferNull = buffer == nullptr;
    if (buffer) {
        e.bytes.assign(buffer, buffer + e.size);
        std::free(buffer);
    }
    return e;
}

// The reader's last word before its closing failure line, as the tools report it.
struct LastReason {
    std::string last;
    LastReason() { setDebugLogListener(&listen, this); }
    ~LastReason() { setDebugLogListener(nullptr, nullptr); }
    static void listen(void* self, const char* message) {
        const std::string m = message;
        if (m.rfind("Error - couldn't extract", 0) != 0) static_cast<LastReason*>(self)->last = m;
    }
};

// The first entry that archiveExtract would find under `name`, as the tools' walk delivers it.
struct WalkedEntry {
    bool seen = false;
    bool ok = false;
    Bytes bytes;
    std::string reason;
};

inline WalkedEntry walkTo(const std::filesystem::path& archive, const std::string& name,
                          const char* password = "") {
    struct Visitor : ArchiveVisitor {
        const std::string& name;
        WalkedEntry result;
        explicit Visitor(const std::string& n) : name(n) {}
        bool begin(const ArchiveEntryInfo& entry) override {
            return !result.seen && (result.seen = compareArchiveName(name.c_str(), entry.name.c_str()) == 0);
        }
        bool data(const uint8_t* bytes, size_t count) override {
            result.bytes.insert(result.bytes.end(), bytes, bytes + count);
            return true;
        }
        void end(const ArchiveEntryInfo&, bool ok, const std::string& reason) override {
            result.ok = ok;
            result.reason = reason;
        }
    } visitor(name);
    ArchiveListing listing;
    archiveWalk(archive.string().c_str(), password, visitor, listing);
    return visitor.result;
}

}  // namespace korvana::test
