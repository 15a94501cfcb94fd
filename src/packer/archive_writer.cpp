#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <iterator>
#include <memory>

#include "archive/crc32.h"
#include "archive/crypt.h"
#include "packer/packer.h"
#include "packer/rar20_encoder.h"

namespace korvana {

namespace {

constexpr uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint16_t kFlagEncrypted = 0x0004;
constexpr uint16_t kFlagSolid = 0x0010;
constexpr uint16_t kFlagWindow1M = 0x0080;  // dictionary size field: 1024 KiB
constexpr uint16_t kFlagLongBlock = 0x8000;
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint8_t kUnpVer = 20;
constexpr size_t kMaxName = 259;      // what a reader's name buffer holds
constexpr size_t kMaxPassword = 254;  // what a reader's password buffer holds
constexpr uint64_t kMaxEntry = 0x7FFFFFFF;  // sizes a reader counts in signed 32 bits
// A solid stream restarts before it grows past this: the encoder keeps the whole stream in memory,
// and a restart costs only the tables and the one window of history it drops.
constexpr uint64_t kMaxSolidStream = uint64_t(32) << 20;

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// Fills in the 16-bit header CRC at the block start from the bytes after it.
void sealHeader(std::vector<uint8_t>& archive, size_t start) {
    const uint32_t crc = ~calcCrc32(0xFFFFFFFFu, archive.data() + start + 2, archive.size() - start - 2);
    archive[start] = uint8_t(crc);
    archive[start + 1] = uint8_t(crc >> 8);
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

#ifdef _WIN32
bool syncFile(int fd) { return _commit(fd) == 0; }
// Windows' rename never replaces an existing file.
bool moveOver(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    errno = EACCES;
    return false;
}
#else
bool syncFile(int fd) { return fsync(fd) == 0; }
bool moveOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
#endif

}  // namespace

namespace {

// Receives the archive's bytes in order; false when they could not be kept (reason in *error).
using ArchiveSink = std::function<bool(const std::vector<uint8_t>& bytes, std::string* error)>;

// The bytes of an entry whose input is a file, read when its turn comes. Left for later: the
// encoder takes an entry whole (with its history and the tokens of its open block), so one large
// file is still held in memory, a few times over, while it is packed.
bool readInput(const PackInput& f, std::vector<uint8_t>& data, std::string* error) {
    std::FILE* in = std::fopen(f.path.c_str(), "rb");
    if (!in) return fail(error, f.path + ": cannot open: " + std::strerror(errno));
    data.clear();
    uint8_t chunk[1 << 16];
    size_t n;
    bool tooLarge = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
        if (data.size() + n > kMaxEntry) {
            tooLarge = true;
            break;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    const bool readError = std::ferror(in) != 0;
    std::fclose(in);
    if (tooLarge) return fail(error, f.path + ": too large for a RAR 2.0 entry (2 GiB or more)");
    if (readError) return fail(error, f.path + ": read error");
    return true;
}

bool produceArchive(const std::vector<PackInput>& files, const PackOptions& opt, const ArchiveSink& sink,
                    std::string* error) {
    if (opt.password.size() > kMaxPassword)
        return fail(error, "password longer than " + std::to_string(kMaxPassword) + " characters");
    if (opt.password.find('\0') != std::string::npos) return fail(error, "password contains a NUL character");
    for (const PackInput& f : files) {
        if (f.name.empty()) return fail(error, "empty entry name");
        if (f.name.size() > kMaxName)
            return fail(error, "entry name longer than " + std::to_string(kMaxName) + " bytes: " + f.name.substr(0, 40) + "...");
        if (f.name.find('\0') != std::string::npos) return fail(error, "entry name contains a NUL character");
        if (f.data.size() > kMaxEntry) return fail(error, "entry too large (2 GiB or more): " + f.name);
        if (f.level > 5) return fail(error, "compression level above 5 for " + f.name);
    }
    if (opt.level < 0 || opt.level > 5) return fail(error, "compression level must be 0..5");

    initCrc();  // the CRC table also drives the cipher's key set-up
    std::vector<uint8_t> out(std::begin(kMarker), std::end(kMarker));
    const size_t main = out.size();
    put16(out, 0);
    out.push_back(0x73);
    put16(out, opt.solid ? kMainSolid : 0);
    put16(out, 13);
    put16(out, 0);
    put32(out, 0);
    sealHeader(out, main);
    if (!sink(out, error)) return false;

    const bool encrypt = !opt.password.empty();
    std::unique_ptr<pack::Rar20Encoder> encoder;
    int encoderLevel = -1;
    bool packedBefore = false;  // a packed entry precedes: solid entries continue its stream
    uint64_t streamBytes = 0;   // bytes in the current solid stream
    uint64_t bytesDone = 0;     // input bytes behind us, for the progress
    std::vector<uint8_t> fileBytes;  // the input of an entry read from a file
    for (const PackInput& f : files) {
        if (opt.progress) opt.progress(f.name, bytesDone);
        if (!f.path.empty() && !readInput(f, fileBytes, error)) return false;
        const std::vector<uint8_t>& input = f.path.empty() ? f.data : fileBytes;
        const int level = f.level >= 0 ? f.level : opt.level;
        std::vector<uint8_t> data;
        bool stored = level == 0 || input.empty();
        if (streamBytes + input.size() > kMaxSolidStream) packedBefore = false;
        bool solidEntry = opt.solid && packedBefore;
        if (!solidEntry) streamBytes = 0;
        if (!stored) {
            // One encoder per level; a solid stream keeps one encoder whatever the entries ask.
            if (!encoder || (!opt.solid && encoderLevel != level)) {
                encoder = std::make_unique<pack::Rar20Encoder>(level, opt.multimedia);
                encoderLevel = level;
            }
            data = encoder->encodeEntry(input.data(), input.size(), solidEntry);
            if (!opt.solid && opt.storeIncompressible && data.size() >= input.size()) {
                stored = true;
            } else {
                packedBefore = true;
                streamBytes += input.size();
            }
        }
        if (stored) {
            data = input;
            // Extractors that run a solid archive's packed entries as one stream may restart it at
            // a stored entry; the next packed entry therefore starts afresh.
            packedBefore = false;
        }
        const uint32_t unpSize = static_cast<uint32_t>(input.size());
        if (encrypt && !data.empty()) {
            data.resize((data.size() + 15) / 16 * 16, 0);
            CryptState keys;
            setCryptKeys(keys, opt.password.c_str());
            for (size_t i = 0; i < data.size(); i += 16) encryptBlock(keys, data.data() + i);
            wipeSecret(&keys, sizeof keys);
        }
        if (data.size() > 0xFFFFFFFFu) return fail(error, "packed entry too large: " + f.name);

        uint16_t flags = kFlagLongBlock | kFlagWindow1M;
        if (encrypt) flags |= kFlagEncrypted;
        if (solidEntry) flags |= kFlagSolid;
        out.clear();
        put16(out, 0);
        out.push_back(0x74);
        put16(out, flags);
        put16(out, static_cast<uint32_t>(32 + f.name.size()));
        put32(out, static_cast<uint32_t>(data.size()));
        put32(out, unpSize);
        out.push_back(0);  // host OS: MS-DOS, whose attribute bits we record
        put32(out, ~calcCrc32(0xFFFFFFFFu, input.data(), input.size()));
        put32(out, f.dosTime);
        out.push_back(kUnpVer);
        out.push_back(static_cast<uint8_t>(stored ? 0x30 : 0x30 + level));
        put16(out, static_cast<uint32_t>(f.name.size()));
        put32(out, f.attributes);
        out.insert(out.end(), f.name.begin(), f.name.end());
        sealHeader(out, 0);
        if (!sink(out, error) || !sink(data, error)) return false;
        bytesDone += input.size();
    }
    if (opt.progress && !files.empty()) opt.progress(files.back().name, bytesDone);

    out.clear();
    put16(out, 0);
    out.push_back(0x7B);
    put16(out, 0x4000);
    put16(out, 7);
    sealHeader(out, 0);
    return sink(out, error);
}

}  // namespace

bool buildArchive(const std::vector<PackInput>& files, const PackOptions& opt, std::vector<uint8_t>* archive,
                  std::string* error) {
    if (!archive) return fail(error, "no output buffer");
    archive->clear();
    return produceArchive(files, opt,
                          [archive](const std::vector<uint8_t>& bytes, std::string*) {
                              archive->insert(archive->end(), bytes.begin(), bytes.end());
                              return true;
                          },
                          error);
}

bool writeArchive(const std::string& path, const std::vector<PackInput>& files, const PackOptions& opt,
                  std::string* error) {
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return fail(error, "cannot create a temporary file beside " + path + ": " + std::strerror(errno));
    std::string why;
    const auto toFile = [fd](const std::vector<uint8_t>& bytes, std::string* reason) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return fail(reason, std::string("write failed: ") + std::strerror(errno));
            done += static_cast<size_t>(n);
        }
        return true;
    };
    bool ok = produceArchive(files, opt, toFile, &why);
#ifndef _WIN32
    if (ok) {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
#endif
    if (ok && !syncFile(fd)) {
        ok = false;
        why = std::string("fsync failed: ") + std::strerror(errno);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = std::string("close failed: ") + std::strerror(errno);
    }
    if (ok && !moveOver(temp, path)) {
        ok = false;
        why = "cannot rename the temporary file to " + path + ": " + std::strerror(errno);
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(error, why);
    }
    return true;
}

uint32_t dosTimeFromUnix(int64_t unixTime) {
    std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (!localtime_r(&t, &tm) || tm.tm_year < 80) return (0u << 25) | (1u << 21) | (1u << 16);
    if (tm.tm_year > 80 + 127) tm.tm_year = 80 + 127;
    return uint32_t(tm.tm_year - 80) << 25 | uint32_t(tm.tm_mon + 1) << 21 | uint32_t(tm.tm_mday) << 16 |
           uint32_t(tm.tm_hour) << 11 | uint32_t(tm.tm_min) << 5 | uint32_t(tm.tm_sec / 2);
}

}  // namespace korvana
