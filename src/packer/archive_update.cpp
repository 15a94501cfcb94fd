// changeArchive: adding to and deleting from an existing archive. Non-solid archives keep every
// untouched block byte for byte; solid ones are decoded into a private temporary folder and packed
// again, since every entry of a solid stream depends on the ones before it.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>

#include "archive/archive.h"
#include "packer/packer.h"
#include "packer/write_plan.h"

namespace korvana {

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMainVolume = 0x0001;
constexpr uint16_t kMainLocked = 0x0004;
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kMainAuthenticity = 0x0020;
constexpr uint16_t kMainRecovery = 0x0040;
constexpr uint8_t kRecoveryBlock = 0x78;
constexpr uint8_t kAuthenticityBlock = 0x79;
constexpr uint8_t kEndBlock = 0x7B;
constexpr uint16_t kLongBlock = 0x8000;

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

std::string slashesAsStored(std::string name) {
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

// A folder of our own for the decoded entries of a solid archive, removed with everything in it.
class ScratchFolder {
public:
    bool create(std::string* error) {
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        if (ec) return fail(error, "no temporary folder: " + ec.message());
        std::random_device seed;
        std::mt19937_64 random(static_cast<uint64_t>(seed()) << 32 ^ seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate = base / ("korvana-rar-" + std::to_string(random()));
            if (fs::create_directory(candidate, ec)) {
                path_ = candidate;
                return true;
            }
        }
        return fail(error, "cannot create a temporary folder in " + base.string());
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    fs::path file(size_t index) const { return path_ / std::to_string(index); }

private:
    fs::path path_;
};

// Writes the wanted entries of a walk to files of the scratch folder, one per entry, by offset.
class Decoder : public ArchiveVisitor {
public:
    Decoder(const std::map<int64_t, size_t>& wanted, const ScratchFolder& folder) : wanted_(wanted), folder_(folder) {}

    bool begin(const ArchiveEntryInfo& entry) override {
        const auto it = wanted_.find(entry.offset);
        if (it == wanted_.end()) return false;
        out_.reset(std::fopen(folder_.file(it->second).string().c_str(), "wb"));
        if (!out_) {
            fail(&failure_, printableName(entry) + ": cannot write a temporary file: " + std::strerror(errno));
            return false;
        }
        return true;
    }
    bool data(const uint8_t* bytes, size_t count) override {
        return std::fwrite(bytes, 1, count, out_.get()) == count;
    }
    void end(const ArchiveEntryInfo& entry, bool ok, const std::string& reason) override {
        const bool closed = out_ && std::fclose(out_.release()) == 0;
        const std::string generation = unsupportedEntryReason(entry.unpVer, entry.method);
        if (failure_.empty() && !ok)
            failure_ = printableName(entry) + ": cannot be decoded: " +
                       (!generation.empty() ? generation
                        : reason.empty()    ? std::string("cannot write a temporary file")
                                            : reason);
        else if (failure_.empty() && !closed)
            failure_ = printableName(entry) + ": cannot write a temporary file";
        ++done_;
    }
    const std::string& failure() const { return failure_; }
    size_t done() const { return done_; }

private:
    static std::string printableName(const ArchiveEntryInfo& entry) {
        std::string out = entry.name;
        for (char& c : out)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        return out;
    }
    const std::map<int64_t, size_t>& wanted_;
    const ScratchFolder& folder_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out_{nullptr, &std::fclose};
    std::string failure_;
    size_t done_ = 0;
};

// The head of the old archive: its marker and main header (with any archive comment) as stored.
bool readHead(const std::string& path, int64_t size, std::vector<uint8_t>& head, std::string* error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!in) return fail(error, "cannot open: " + std::string(std::strerror(errno)));
    // The main header's size is 16 bits and was read from this very file: the head is small.
    head.resize(static_cast<size_t>(size));
    if (size < 20 || std::fread(head.data(), 1, head.size(), in.get()) != head.size())
        return fail(error, "cannot read the archive's main header");
    return true;
}

}  // namespace

bool changeArchive(const std::string& path, const ArchiveChange& change, const PackOptions& opt,
                   ArchiveChangeReport* report, std::string* error) {
    ArchiveChangeReport local;
    ArchiveChangeReport& r = report ? *report : local;
    r = ArchiveChangeReport{};
    r.removeMatched.assign(change.remove.size(), false);

    ArchiveListing listing;
    if (!archiveList(path.c_str(), listing)) return fail(error, "not a RAR 2.x archive the reader accepts");
    if (!listing.complete)
        return fail(error, "the archive ends early or its block chain is broken (korvana-rar t tells more); "
                           "it is left as it is");
    if (listing.mainFlags & kMainVolume)
        return fail(error, "part of a volume set: volumes cannot be changed, only written whole");
    if (listing.mainFlags & kMainLocked) return fail(error, "a locked archive: it is not to be changed");
    std::error_code ec;
    const uintmax_t fileSize = fs::file_size(path, ec);
    if (ec || listing.firstBlock > static_cast<int64_t>(fileSize) || listing.firstBlock > 7 + 65535)
        return fail(error, "cannot read the archive's main header");

    r.solid = listing.solidArchive || opt.solid;
    const bool repack = r.solid;
    pack::WritePlan plan;
    if (!readHead(path, listing.firstBlock, plan.head, error)) return false;
    plan.source = path;

    // New entries by stored name: each replaces the kept entries of that name in the place of the
    // first, or is appended.
    std::map<std::string, size_t> newByName;
    for (size_t i = 0; i < change.add.size(); ++i) newByName.emplace(slashesAsStored(change.add[i].name), i);
    std::vector<bool> placed(change.add.size(), false);

    // Kept entries that a solid archive decodes, by block offset, and what they become.
    std::map<int64_t, size_t> toDecode;
    std::vector<PackInput> decoded;
    decoded.reserve(listing.blocks.size());
    std::vector<size_t> decodedPart;  // part index of each decoded entry (filled in below)
    bool needPassword = false;
    uint16_t mainFlags = listing.mainFlags;

    for (const ArchiveEntryInfo& block : listing.blocks) {
        const uint64_t blockSize = uint64_t(block.headSize) + block.dataSize;
        // A block that says it has data but is too short to hold the data's size took that size
        // from the bytes after it: copied in front of other bytes, it would mean something else.
        if ((block.flags & kLongBlock) && block.headSize < 11)
            return fail(error, "the block at offset " + std::to_string(block.offset) +
                                   " is malformed (its data size lies outside it); the archive is left as it is");
        if (!block.isFile()) {
            if (block.headType == kEndBlock) continue;  // written anew at the end
            if (block.headType == kRecoveryBlock || block.headType == kAuthenticityBlock) {
                r.dropped.push_back(block.headType == kRecoveryBlock
                                        ? "the recovery record (it would no longer match the archive)"
                                        : "the authenticity information (it would no longer match the archive)");
                continue;
            }
            plan.parts.push_back({nullptr, block.offset, blockSize});
            continue;
        }
        bool remove = false;
        for (size_t i = 0; i < change.remove.size(); ++i) {
            if (compareArchiveName(change.remove[i].c_str(), block.name.c_str()) == 0) {
                r.removeMatched[i] = true;
                remove = true;
            }
        }
        if (remove) {
            r.removed.push_back(block.name);
            continue;
        }
        const auto replacing = newByName.find(slashesAsStored(block.name));
        if (replacing != newByName.end()) {
            r.replaced.push_back(block.name);
            if (!placed[replacing->second]) {
                placed[replacing->second] = true;
                plan.parts.push_back({&change.add[replacing->second], 0, 0});
            }
            continue;
        }
        ++r.kept;
        if (!repack || block.directory()) {
            plan.parts.push_back({nullptr, block.offset, blockSize});
            continue;
        }
        if (block.encrypted()) needPassword = true;
        toDecode.emplace(block.offset, decoded.size());
        PackInput in;
        in.name = block.name;
        in.dosTime = block.fileTime;
        in.attributes = block.attributes;
        in.hostOs = block.hostOs;
        in.plain = !block.encrypted();
        decoded.push_back(std::move(in));
        decodedPart.push_back(plan.parts.size());
        plan.parts.push_back({nullptr, 0, 0});  // filled in once `decoded` stops moving
    }
    for (size_t i = 0; i < change.add.size(); ++i)
        if (!placed[i] && newByName.at(slashesAsStored(change.add[i].name)) == i)
            plan.parts.push_back({&change.add[i], 0, 0});

    const bool removedSome = !r.removed.empty();
    if (change.add.empty() && !removedSome) return fail(error, "no entry matches the names given; the archive is left as it is");

    ScratchFolder scratch;
    if (!toDecode.empty()) {
        if (needPassword && opt.password.empty())
            return fail(error, "a solid archive with encrypted entries: they must be decoded and packed again, "
                               "which needs their password (-pPASSWORD)");
        if (!scratch.create(error)) return false;
        Decoder decoder(toDecode, scratch);
        ArchiveListing walked;
        if (!archiveWalk(path.c_str(), opt.password.c_str(), decoder, walked))
            return fail(error, "cannot read the archive again to decode it");
        if (!decoder.failure().empty()) return fail(error, decoder.failure() + "; the archive is left as it is");
        if (decoder.done() != toDecode.size())
            return fail(error, "not every kept entry could be decoded; the archive is left as it is");
        r.repacked = true;
    }
    for (size_t i = 0; i < decoded.size(); ++i) {
        decoded[i].path = scratch.file(i).string();
        plan.parts[decodedPart[i]].input = &decoded[i];
    }

    // The recovery record and authenticity information are gone; a solid result says so.
    mainFlags = static_cast<uint16_t>(mainFlags & ~(kMainAuthenticity | kMainRecovery));
    if (r.solid) mainFlags |= kMainSolid;
    if (mainFlags != listing.mainFlags) {
        plan.head[10] = static_cast<uint8_t>(mainFlags);
        plan.head[11] = static_cast<uint8_t>(mainFlags >> 8);
        pack::sealMainHeader(plan.head);
    }
    PackOptions writeOptions = opt;
    writeOptions.solid = r.solid;
    return pack::writePlan(path, plan, writeOptions, error);
}

}  // namespace korvana
