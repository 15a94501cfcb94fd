// writeVolumes: the archive is produced whole into an unnamed temporary file, then cut into
// volumes. Each volume has its own marker, main header (volume flag set) and end block (marking
// whether another volume follows); an entry that does not fit is split, each part under a copy of
// its header marked as continued from or in another volume. A part that is continued in the next
// volume carries the CRC32 of its own packed bytes; the last part the CRC32 of the whole file.
#ifdef _WIN32
#include <io.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "archive/archive.h"
#include "archive/crc32.h"
#include "packer/packer.h"
#include "packer/write_plan.h"

namespace korvana {

namespace {

constexpr uint16_t kMainVolume = 0x0001;
constexpr uint16_t kSplitBefore = 0x0001;
constexpr uint16_t kSplitAfter = 0x0002;
constexpr uint16_t kEncrypted = 0x0004;
constexpr uint16_t kLongBlock = 0x8000;
constexpr uint16_t kEndNextVolume = 0x0001;
constexpr uint64_t kHeadBytes = 7 + 13;  // marker and main header as our writer makes them
constexpr uint64_t kEndBytes = 7;
constexpr size_t kPiece = size_t(1) << 20;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void set16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void set32(uint8_t* p, uint32_t v) {
    set16(p, v & 0xFFFF);
    set16(p + 2, v >> 16);
}
void seal(std::vector<uint8_t>& header) {
    const uint32_t crc = ~calcCrc32(0xFFFFFFFFu, header.data() + 2, header.size() - 2);
    set16(header.data(), crc);
}

// The volumes as they are written: temporary files beside the first volume, renamed at the end.
class VolumeSet {
public:
    VolumeSet(const std::string& path, std::vector<uint8_t> head, uint64_t limit)
        : name_(path), head_(std::move(head)), limit_(limit) {}
    ~VolumeSet() {
        closeCurrent();
        for (const auto& [temp, final] : written_) ::unlink(temp.c_str());
    }

    uint64_t room() const { return limit_ - used_ - kEndBytes; }
    bool empty() const { return used_ <= head_.size(); }

    bool open(std::string* error) {
        if (name_.empty()) return fail(error, "too many volumes (the names end at .z99)");
        std::string temp = name_ + ".XXXXXX";
        const int fd = mkstemp(temp.data());
        if (fd < 0) return fail(error, "cannot create a temporary file beside " + name_ + ": " + std::strerror(errno));
        out_ = ::fdopen(fd, "wb");
        if (!out_) {
            ::close(fd);
            ::unlink(temp.c_str());
            return fail(error, "cannot write " + temp);
        }
        written_.push_back({temp, name_});
        name_ = nextVolumeName(name_);
        used_ = 0;
        return put(head_.data(), head_.size(), error);
    }

    bool put(const uint8_t* data, size_t size, std::string* error) {
        if (std::fwrite(data, 1, size, out_) != size)
            return fail(error, std::string("write failed: ") + std::strerror(errno));
        used_ += size;
        return true;
    }

    // Ends the volume at hand with its end block.
    bool close(bool another, std::string* error) {
        std::vector<uint8_t> end = {0, 0, 0x7B, 0, 0, 7, 0};
        set16(end.data() + 3, 0x4000 | (another ? kEndNextVolume : 0));
        seal(end);
        if (!put(end.data(), end.size(), error)) return false;
#ifdef _WIN32
        const bool ok = std::fflush(out_) == 0 && _commit(_fileno(out_)) == 0;
#else
        const bool ok = std::fflush(out_) == 0 && ::fsync(fileno(out_)) == 0;
#endif
        const bool closed = std::fclose(out_) == 0;
        out_ = nullptr;
        if (!ok || !closed) return fail(error, std::string("write failed: ") + std::strerror(errno));
        return true;
    }

    bool commit(std::vector<std::string>* names, std::string* error) {
#ifndef _WIN32
        const mode_t mask = umask(0);
        umask(mask);
#endif
        for (const auto& [temp, final] : written_) {
#ifndef _WIN32
            ::chmod(temp.c_str(), 0666 & ~mask);
#endif
            if (std::rename(temp.c_str(), final.c_str()) != 0)
                return fail(error, "cannot rename the temporary file to " + final + ": " + std::strerror(errno));
            if (names) names->push_back(final);
        }
        written_.clear();
        return true;
    }

private:
    void closeCurrent() {
        if (out_) std::fclose(out_);
        out_ = nullptr;
    }
    std::string name_;  // of the next volume
    std::vector<uint8_t> head_;
    uint64_t limit_;
    std::FILE* out_ = nullptr;
    uint64_t used_ = 0;
    std::vector<std::pair<std::string, std::string>> written_;  // temporary and final names
};

// Reads `size` bytes at `offset` of the whole archive in pieces, handing each to `take`.
template <typename Take>
bool readRange(std::FILE* in, uint64_t offset, uint64_t size, Take take, std::string* error) {
    if (fseeko(in, static_cast<off_t>(offset), SEEK_SET) != 0) return fail(error, "cannot read the temporary file");
    std::vector<uint8_t> piece;
    while (size > 0) {
        piece.resize(static_cast<size_t>(std::min<uint64_t>(size, kPiece)));
        if (std::fread(piece.data(), 1, piece.size(), in) != piece.size())
            return fail(error, "cannot read the temporary file");
        if (!take(piece.data(), piece.size())) return false;
        size -= piece.size();
    }
    return true;
}

}  // namespace

bool writeVolumes(const std::string& path, const std::vector<PackInput>& files, const PackOptions& opt,
                  uint64_t volumeSize, std::vector<std::string>* names, std::string* error) {
    if (volumeSize < 1024) return fail(error, "a volume must hold at least 1024 bytes");
    File whole(pack::scratchArchiveFile(), &std::fclose);
    if (!whole) return fail(error, std::string("cannot create a temporary file: ") + std::strerror(errno));
    if (!pack::produceToFile(pack::planFor(files), opt, whole.get(), error)) return false;
    if (fseeko(whole.get(), 0, SEEK_END) != 0) return fail(error, "cannot read the temporary file");
    const uint64_t total = static_cast<uint64_t>(ftello(whole.get()));

    std::vector<uint8_t> head(kHeadBytes);
    if (fseeko(whole.get(), 0, SEEK_SET) != 0 || std::fread(head.data(), 1, head.size(), whole.get()) != head.size())
        return fail(error, "cannot read the temporary file");
    set16(head.data() + 10, get16(head.data() + 10) | kMainVolume);
    pack::sealMainHeader(head);

    VolumeSet set(path, head, volumeSize);
    if (!set.open(error)) return false;
    uint64_t at = kHeadBytes;
    while (at < total) {
        uint8_t common[7];
        if (fseeko(whole.get(), static_cast<off_t>(at), SEEK_SET) != 0 || std::fread(common, 1, 7, whole.get()) != 7)
            return fail(error, "cannot read the temporary file");
        const uint8_t type = common[2];
        const uint16_t headSize = get16(common + 5);
        if (type == 0x7B) break;  // each volume gets an end block of its own
        if (type != 0x74 || headSize < 32) return fail(error, "unexpected block in the archive being cut");
        std::vector<uint8_t> header(headSize);
        if (fseeko(whole.get(), static_cast<off_t>(at), SEEK_SET) != 0 ||
            std::fread(header.data(), 1, header.size(), whole.get()) != header.size())
            return fail(error, "cannot read the temporary file");
        const uint16_t flags = get16(header.data() + 3);
        const uint32_t packSize = (flags & kLongBlock) ? get32(header.data() + 7) : 0;
        const bool encrypted = (flags & kEncrypted) != 0;
        if (volumeSize < kHeadBytes + kEndBytes + headSize + 16)
            return fail(error, "a volume of " + std::to_string(volumeSize) + " bytes cannot hold an entry's header");

        uint64_t dataAt = at + headSize, left = packSize;
        bool first = true;
        for (;;) {
            // Start the entry, or its next part, in a fresh volume when this one has too little
            // room left to be worth a part.
            const uint64_t minimum = headSize + std::min<uint64_t>(left, 16);
            if (set.room() < minimum && !set.empty()) {
                if (!set.close(true, error) || !set.open(error)) return false;
            }
            uint64_t part = std::min<uint64_t>(left, set.room() - headSize);
            // An encrypted entry is cut between cipher blocks.
            if (encrypted && part < left) part &= ~uint64_t(15);
            const bool more = part < left;
            std::vector<uint8_t> partHeader = header;
            set16(partHeader.data() + 3, flags | (first ? 0 : kSplitBefore) | (more ? kSplitAfter : 0));
            set32(partHeader.data() + 7, static_cast<uint32_t>(part));
            if (more) {
                uint32_t crc = 0xFFFFFFFFu;
                const auto sum = [&crc](const uint8_t* data, size_t n) {
                    crc = calcCrc32(crc, data, n);
                    return true;
                };
                if (!readRange(whole.get(), dataAt, part, sum, error)) return false;
                set32(partHeader.data() + 16, ~crc);
            }
            seal(partHeader);
            if (!set.put(partHeader.data(), partHeader.size(), error)) return false;
            const auto copy = [&](const uint8_t* data, size_t n) { return set.put(data, n, error); };
            if (!readRange(whole.get(), dataAt, part, copy, error)) return false;
            dataAt += part;
            left -= part;
            first = false;
            if (!more) break;
            if (!set.close(true, error) || !set.open(error)) return false;
        }
        at += headSize + packSize;
    }
    if (!set.close(false, error)) return false;
    return set.commit(names, error);
}

}  // namespace korvana
