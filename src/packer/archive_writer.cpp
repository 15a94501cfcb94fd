#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
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
#include "packer/write_plan.h"

namespace korvana {

namespace {

constexpr uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint16_t kFlagEncrypted = 0x0004;
constexpr uint16_t kFlagSolid = 0x0010;
constexpr uint16_t kFlagWindow1M = 0x0080;  // dictionary size field: 1024 KiB
constexpr uint16_t kFlagLongBlock = 0x8000;
constexpr uint16_t kFlagDirectory = 0x00E0;  // the dictionary-size field's value for a folder
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint8_t kUnpVer = 20;
constexpr size_t kMaxName = 259;      // what a reader's name buffer holds
constexpr size_t kMaxPassword = 254;  // what a reader's password buffer holds
constexpr uint64_t kMaxEntry = 0x7FFFFFFF;  // sizes a reader counts in signed 32 bits
// Inputs are read, and packed bytes copied out, this much at a time (a multiple of the cipher's
// 16-byte block).
constexpr size_t kPiece = size_t(1) << 20;
// Packed bytes of an entry beyond this wait in a temporary file rather than in memory.
constexpr size_t kSpillAbove = size_t(8) << 20;
// A non-solid entry is stored without packing the rest once this much of it packs to nothing.
constexpr uint64_t kGiveUpAfter = uint64_t(512) << 10;

// Whether a piece of input has byte values skewed enough (under 7.5 bits of entropy per byte)
// that packing it should gain something.
bool looksCompressible(const uint8_t* data, size_t size) {
    if (size < 4096) return false;
    uint32_t counts[256] = {};
    for (size_t i = 0; i < size; ++i) ++counts[data[i]];
    double bits = 0;
    for (uint32_t c : counts)
        if (c) bits -= double(c) * std::log2(double(c) / double(size));
    return bits < 7.5 * double(size);
}

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

using PieceFn = std::function<bool(const uint8_t* data, size_t size)>;

// Hands the entry's bytes to `take` in pieces of kPiece (the last one shorter), from its file when
// it has one, so that an input is never in memory whole; its size and CRC come back.
bool readPieces(const PackInput& f, const PieceFn& take, uint64_t* size, uint32_t* crc, std::string* error) {
    *size = 0;
    uint32_t c = 0xFFFFFFFFu;
    if (f.path.empty()) {
        for (size_t at = 0; at < f.data.size(); at += kPiece) {
            const size_t n = std::min(kPiece, f.data.size() - at);
            c = calcCrc32(c, f.data.data() + at, n);
            if (!take(f.data.data() + at, n)) return false;
        }
        *size = f.data.size();
        *crc = ~c;
        return true;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(f.path.c_str(), "rb"), &std::fclose);
    if (!in) return fail(error, f.path + ": cannot open: " + std::strerror(errno));
    std::vector<uint8_t> piece(kPiece);
    size_t n;
    while ((n = std::fread(piece.data(), 1, piece.size(), in.get())) > 0) {
        *size += n;
        if (*size > kMaxEntry) return fail(error, f.path + ": too large for a RAR 2.0 entry (2 GiB or more)");
        c = calcCrc32(c, piece.data(), n);
        if (!take(piece.data(), n)) return false;
    }
    if (std::ferror(in.get())) return fail(error, f.path + ": read error");
    *crc = ~c;
    return true;
}

// An unnamed temporary file, gone when closed.
std::FILE* scratchFile() {
#ifdef _WIN32
    // The C library's tmpfile() puts its file in the root of the drive, which users often cannot
    // write; the user's temporary folder instead, deleted on close ("D").
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "kvr", 0, name) == 0) return nullptr;
    return std::fopen(name, "w+bD");
#else
    return std::tmpfile();
#endif
}

// The packed bytes of one entry, all of which must be counted before its header goes out: kept in
// memory while small, in an unnamed temporary file beyond.
class PackedBytes {
public:
    bool append(const std::vector<uint8_t>& bytes, std::string* error) {
        size_ += bytes.size();
        mem_.insert(mem_.end(), bytes.begin(), bytes.end());
        if (mem_.size() <= kSpillAbove) return true;
        if (!file_) file_.reset(scratchFile());
        if (!file_ || std::fwrite(mem_.data(), 1, mem_.size(), file_.get()) != mem_.size())
            return fail(error, std::string("cannot keep the packed data in a temporary file: ") + std::strerror(errno));
        mem_.clear();
        return true;
    }
    uint64_t size() const { return size_; }
    bool forEachPiece(const PieceFn& take, std::string* error) {
        if (file_) {
            if (std::fflush(file_.get()) != 0 || std::fseek(file_.get(), 0, SEEK_SET) != 0)
                return fail(error, "cannot read back the temporary file");
            std::vector<uint8_t> piece(kPiece);
            size_t n;
            while ((n = std::fread(piece.data(), 1, piece.size(), file_.get())) > 0)
                if (!take(piece.data(), n)) return false;
            if (std::ferror(file_.get())) return fail(error, "cannot read back the temporary file");
        }
        for (size_t at = 0; at < mem_.size(); at += kPiece)
            if (!take(mem_.data() + at, std::min(kPiece, mem_.size() - at))) return false;
        return true;
    }

private:
    std::vector<uint8_t> mem_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, &std::fclose};
    uint64_t size_ = 0;
};

// Passes an entry's data on to the sink, encrypted in 16-byte blocks when a password is given
// (the last one padded with zeros).
class DataOut {
public:
    DataOut(const ArchiveSink& sink, const std::string& password, std::string* error) : sink_(sink), error_(error) {
        encrypt_ = !password.empty();
        if (encrypt_) setCryptKeys(keys_, password.c_str());
    }
    ~DataOut() { wipeSecret(&keys_, sizeof keys_); }
    DataOut(const DataOut&) = delete;
    DataOut& operator=(const DataOut&) = delete;

    bool put(const uint8_t* data, size_t size) {
        buf_.insert(buf_.end(), data, data + size);
        return flush(encrypt_ ? buf_.size() / 16 * 16 : buf_.size());
    }
    bool finish() {
        if (encrypt_) buf_.resize((buf_.size() + 15) / 16 * 16, 0);
        return flush(buf_.size());
    }

private:
    bool flush(size_t n) {
        if (n == 0) return true;
        if (encrypt_)
            for (size_t i = 0; i < n; i += 16) encryptBlock(keys_, buf_.data() + i);
        std::vector<uint8_t> rest(buf_.begin() + static_cast<std::ptrdiff_t>(n), buf_.end());
        buf_.resize(n);
        if (!sink_(buf_, error_)) return false;
        buf_ = std::move(rest);
        return true;
    }

    const ArchiveSink& sink_;
    std::string* error_;
    bool encrypt_ = false;
    CryptState keys_{};
    std::vector<uint8_t> buf_;
};

// Copies bytes [offset, offset + size) of an existing archive to the sink as they are.
bool copyBlock(std::FILE* source, int64_t offset, uint64_t size, const ArchiveSink& sink, std::string* error) {
    if (!source || fseeko(source, static_cast<off_t>(offset), SEEK_SET) != 0)
        return fail(error, "cannot read the archive being changed");
    std::vector<uint8_t> piece;
    while (size > 0) {
        piece.resize(static_cast<size_t>(std::min<uint64_t>(size, kPiece)));
        if (std::fread(piece.data(), 1, piece.size(), source) != piece.size())
            return fail(error, "the archive being changed ended early or could not be read");
        if (!sink(piece, error)) return false;
        size -= piece.size();
    }
    return true;
}

bool produceArchive(const pack::WritePlan& plan, const PackOptions& opt, const ArchiveSink& sink,
                    std::string* error) {
    std::vector<const PackInput*> inputs;
    for (const pack::WritePart& part : plan.parts)
        if (part.input) inputs.push_back(part.input);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> source(nullptr, &std::fclose);
    if (!plan.source.empty()) {
        source.reset(std::fopen(plan.source.c_str(), "rb"));
        if (!source) return fail(error, plan.source + ": cannot open: " + std::strerror(errno));
    }
    if (opt.password.size() > kMaxPassword)
        return fail(error, "password longer than " + std::to_string(kMaxPassword) + " characters");
    if (opt.password.find('\0') != std::string::npos) return fail(error, "password contains a NUL character");
    for (const PackInput* input : inputs) {
        const PackInput& f = *input;
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
    if (!plan.head.empty()) {
        out = plan.head;  // an existing archive's marker and main header, comment and all
    } else {
        const size_t main = out.size();
        put16(out, 0);
        out.push_back(0x73);
        put16(out, opt.solid ? kMainSolid : 0);
        put16(out, 13);
        put16(out, 0);
        put32(out, 0);
        sealHeader(out, main);
    }
    if (!sink(out, error)) return false;

    const bool encrypt = !opt.password.empty();
    std::unique_ptr<pack::Rar20Encoder> encoder;
    int encoderLevel = -1;
    bool packedBefore = false;  // a packed entry precedes: solid entries continue its stream
    uint64_t bytesDone = 0;     // input bytes behind us, for the progress
    for (const pack::WritePart& part : plan.parts) {
        if (!part.input) {
            // A block of the old archive kept as it is: no packed data, or an entry of a
            // non-solid archive, so no stream runs through it.
            if (!copyBlock(source.get(), part.offset, part.size, sink, error)) return false;
            continue;
        }
        const PackInput& f = *part.input;
        if (f.directory) {
            // No data, so nothing to encrypt. Some extractors restart a solid stream at any entry
            // without packed data, folders included: the next packed entry starts afresh.
            packedBefore = false;
            out.clear();
            put16(out, 0);
            out.push_back(0x74);
            put16(out, kFlagLongBlock | kFlagDirectory);
            put16(out, static_cast<uint32_t>(32 + f.name.size()));
            put32(out, 0);
            put32(out, 0);
            out.push_back(f.hostOs);
            put32(out, 0);
            put32(out, f.dosTime);
            out.push_back(kUnpVer);
            out.push_back(0x30);
            put16(out, static_cast<uint32_t>(f.name.size()));
            put32(out, f.attributes);
            out.insert(out.end(), f.name.begin(), f.name.end());
            sealHeader(out, 0);
            if (!sink(out, error)) return false;
            continue;
        }
        const bool encryptEntry = encrypt && !f.plain;
        if (opt.progress) opt.progress(f.name, bytesDone);
        const int level = f.level >= 0 ? f.level : opt.level;
        const bool solidEntry = opt.solid && packedBefore;
        bool stored = level == 0 || (f.path.empty() && f.data.empty());
        uint64_t size = 0;
        uint32_t crc = 0;
        PackedBytes packed;
        if (!stored) {
            // One encoder per level; a solid stream keeps one encoder whatever the entries ask.
            if (!encoder || (!opt.solid && encoderLevel != level)) {
                encoder = std::make_unique<pack::Rar20Encoder>(level, opt.multimedia);
                encoderLevel = level;
            }
            // A non-solid entry whose first part packs to nothing is stored without packing the
            // rest, unless a later piece looks compressible after all: then it is packed again
            // from the start, in full.
            const bool mayGiveUp = !opt.solid && opt.storeIncompressible;
            for (bool allowGiveUp = mayGiveUp;; allowGiveUp = false) {
                encoder->beginEntry(solidEntry);
                uint64_t fed = 0;
                bool gaveUp = false, compressibleLater = false;
                const auto pack = [&](const uint8_t* data, size_t n) {
                    fed += n;
                    if (opt.progress) opt.progress(f.name, bytesDone + fed);  // a large file moves too
                    if (gaveUp) {
                        if (!compressibleLater && looksCompressible(data, n)) compressibleLater = true;
                        return true;
                    }
                    encoder->feed(data, n);
                    if (allowGiveUp && encoder->packsNothingSoFar(kGiveUpAfter)) gaveUp = true;
                    return packed.append(encoder->takeOutput(), error);
                };
                if (!readPieces(f, pack, &size, &crc, error)) return false;
                if (gaveUp && !compressibleLater) {
                    encoder.reset();  // in the middle of an entry: the next one starts afresh
                    stored = true;
                    break;
                }
                if (!gaveUp) {
                    if (!packed.append(encoder->finishEntry(), error)) return false;
                    break;
                }
                encoder = std::make_unique<pack::Rar20Encoder>(level, opt.multimedia);
                packed = PackedBytes();
            }
            if (!stored && (size == 0 || (!opt.solid && opt.storeIncompressible && packed.size() >= size))) stored = true;
            if (!stored) packedBefore = true;
        } else if (!readPieces(f, [](const uint8_t*, size_t) { return true; }, &size, &crc, error)) {
            return false;
        }
        if (stored) {
            // Extractors that run a solid archive's packed entries as one stream may restart it at
            // a stored entry; the next packed entry therefore starts afresh.
            packedBefore = false;
        }
        uint64_t dataSize = stored ? size : packed.size();
        if (encryptEntry) dataSize = (dataSize + 15) / 16 * 16;
        if (dataSize > 0xFFFFFFFFu) return fail(error, "packed entry too large: " + f.name);

        uint16_t flags = kFlagLongBlock | kFlagWindow1M;
        if (encryptEntry) flags |= kFlagEncrypted;
        if (solidEntry) flags |= kFlagSolid;
        out.clear();
        put16(out, 0);
        out.push_back(0x74);
        put16(out, flags);
        put16(out, static_cast<uint32_t>(32 + f.name.size()));
        put32(out, static_cast<uint32_t>(dataSize));
        put32(out, static_cast<uint32_t>(size));
        out.push_back(f.hostOs);
        put32(out, crc);
        put32(out, f.dosTime);
        out.push_back(kUnpVer);
        out.push_back(static_cast<uint8_t>(stored ? 0x30 : 0x30 + level));
        put16(out, static_cast<uint32_t>(f.name.size()));
        put32(out, f.attributes);
        out.insert(out.end(), f.name.begin(), f.name.end());
        sealHeader(out, 0);
        if (!sink(out, error)) return false;

        DataOut dataOut(sink, encryptEntry ? opt.password : std::string(), error);
        const auto put = [&dataOut](const uint8_t* data, size_t n) { return dataOut.put(data, n); };
        if (stored) {
            // The input is read a second time; it must not have changed since its size and CRC
            // went into the header.
            uint64_t again = 0;
            uint32_t crcAgain = 0;
            if (!readPieces(f, put, &again, &crcAgain, error)) return false;
            if (again != size || crcAgain != crc) return fail(error, f.path + ": changed while being packed");
        } else if (!packed.forEachPiece(put, error)) {
            return false;
        }
        if (!dataOut.finish()) return false;
        bytesDone += size;
    }
    if (opt.progress && !inputs.empty()) opt.progress(inputs.back()->name, bytesDone);

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
    return produceArchive(pack::planFor(files), opt,
                          [archive](const std::vector<uint8_t>& bytes, std::string*) {
                              archive->insert(archive->end(), bytes.begin(), bytes.end());
                              return true;
                          },
                          error);
}

bool writeArchive(const std::string& path, const std::vector<PackInput>& files, const PackOptions& opt,
                  std::string* error) {
    return pack::writePlan(path, pack::planFor(files), opt, error);
}

namespace pack {

std::FILE* scratchArchiveFile() { return scratchFile(); }

bool produceToFile(const WritePlan& plan, const PackOptions& opt, std::FILE* out, std::string* error) {
    const auto toFile = [out](const std::vector<uint8_t>& bytes, std::string* reason) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
            return fail(reason, std::string("cannot write a temporary file: ") + std::strerror(errno));
        return true;
    };
    return produceArchive(plan, opt, toFile, error) &&
           (std::fflush(out) == 0 || fail(error, std::string("cannot write a temporary file: ") + std::strerror(errno)));
}

WritePlan planFor(const std::vector<PackInput>& files) {
    WritePlan plan;
    for (const PackInput& f : files) plan.parts.push_back({&f, 0, 0});
    return plan;
}

bool writePlan(const std::string& path, const WritePlan& plan, const PackOptions& opt, std::string* error) {
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
    bool ok = produceArchive(plan, opt, toFile, &why);
#ifndef _WIN32
    if (ok) {
        // An archive that is changed keeps its permissions; a new one gets what the umask allows.
        struct stat old {};
        if (!plan.source.empty() && ::stat(path.c_str(), &old) == 0) {
            fchmod(fd, old.st_mode & 07777);
        } else {
            const mode_t mask = umask(0);
            umask(mask);
            fchmod(fd, 0666 & ~mask);
        }
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

void sealMainHeader(std::vector<uint8_t>& head) {
    const uint32_t crc = ~calcCrc32(0xFFFFFFFFu, head.data() + 9, 11);
    head[7] = uint8_t(crc);
    head[8] = uint8_t(crc >> 8);
}

}  // namespace pack

uint32_t dosTimeFromUnix(int64_t unixTime) {
    std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (!localtime_r(&t, &tm) || tm.tm_year < 80) return (0u << 25) | (1u << 21) | (1u << 16);
    if (tm.tm_year > 80 + 127) tm.tm_year = 80 + 127;
    return uint32_t(tm.tm_year - 80) << 25 | uint32_t(tm.tm_mon + 1) << 21 | uint32_t(tm.tm_mday) << 16 |
           uint32_t(tm.tm_hour) << 11 | uint32_t(tm.tm_min) << 5 | uint32_t(tm.tm_sec / 2);
}

EntryAttributes attributesFromMode(uint32_t mode, bool directory) {
    EntryAttributes a;
#ifdef _WIN32
    a.attributes = directory ? 0x10 : 0x20;  // folder, or archive bit as DOS sets it on new files
    if (!(mode & 0200)) a.attributes |= 0x01;  // read-only
#else
    a.hostOs = kHostUnix;
    a.attributes = (directory ? 0040000u : 0100000u) | (mode & 0777);
#endif
    return a;
}

}  // namespace korvana
