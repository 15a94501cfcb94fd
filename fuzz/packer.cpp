// The packer's round trip: files and options drawn from the input are packed, every entry is
// extracted again through the reader, and any difference stops the run.
//
// Input layout: option byte (level 0..5, solid, store-incompressible, multimedia mode), password
// length and bytes, entry count, then per entry a kind byte (how its bytes are made, per-entry
// level, folder), a 16-bit length and the material for its bytes. Repeated and audio-like
// kinds let a few input bytes make long, compressible entries.
// For one input in four the same entries then go through the tools' other writing paths: written
// as a volume set (of a size drawn from the input) and walked back, and written as a file that `a`
// adds to (replacing one entry, appending one) and `d` deletes from; each time every entry must
// come back.
#include <cstdio>
#include <cstring>
#include <map>

#include "archive/archive.h"
#include "fuzz_support.h"
#include "packer/packer.h"

using namespace korvana;
using fuzz::fail;

namespace {

// Bytes over all entries. The encoder's parse dominates each run, so this sets the target's speed
// (8 KiB: twice the inputs a second of 32 KiB); long distances are left to the round-trip tests.
constexpr size_t MAX_TOTAL = 8 * 1024;

std::vector<uint8_t> entryBytes(fuzz::InputCursor& in, uint8_t kind, size_t length) {
    std::vector<uint8_t> out;
    out.reserve(length);
    switch (kind & 3) {
    case 0: {  // the input's own bytes
        const std::string raw = in.bytes(length);
        out.assign(raw.begin(), raw.end());
        break;
    }
    case 1: {  // a short pattern repeated: long matches
        const std::string pattern = in.bytes(1 + in.byte() % 64);
        if (pattern.empty()) break;
        for (size_t i = 0; i < length; ++i) out.push_back(static_cast<uint8_t>(pattern[i % pattern.size()]));
        break;
    }
    case 2: {  // 16-bit samples that move by small steps on one to four channels: the audio coder
        const std::string steps = in.bytes(1 + in.byte() % 64);
        if (steps.empty()) break;
        int16_t value = 0;
        for (size_t i = 0; i + 1 < length; i += 2) {
            value = static_cast<int16_t>(value + static_cast<int8_t>(steps[(i / 2) % steps.size()]));
            out.push_back(static_cast<uint8_t>(value & 0xFF));
            out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
        }
        break;
    }
    default:  // all one byte value
        out.assign(length, in.byte());
        break;
    }
    return out;
}

// Every entry of an archive or volume set, decoded by the tools' walk, by name.
class Collector : public ArchiveVisitor {
public:
    bool begin(const ArchiveEntryInfo& entry) override {
        current_ = &got[entry.name];
        current_->clear();
        return true;
    }
    bool data(const uint8_t* bytes, size_t count) override {
        current_->insert(current_->end(), bytes, bytes + count);
        return true;
    }
    void end(const ArchiveEntryInfo& entry, bool ok, const std::string& reason) override {
        if (!ok) fail(("an entry does not come back: " + entry.name + ": " + reason).c_str());
    }
    std::map<std::string, std::vector<uint8_t>> got;

private:
    std::vector<uint8_t>* current_ = nullptr;
};

void expectHolds(const std::string& path, const std::string& password, const std::vector<PackInput>& files,
                 const char* what) {
    Collector collector;
    ArchiveListing listing;
    if (archiveWalk(path.c_str(), password.c_str(), collector, listing) != 1 || !listing.complete)
        fail((std::string(what) + ": the archive does not walk whole").c_str());
    if (collector.got.size() != files.size()) fail((std::string(what) + ": entry count differs").c_str());
    for (const PackInput& f : files) {
        const auto it = collector.got.find(f.name);
        if (it == collector.got.end() || it->second != f.data)
            fail((std::string(what) + ": an entry came back different").c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    fuzz::InputCursor in(data, size);

    PackOptions options;
    const uint8_t flags = in.byte();
    options.level = (flags & 7) % 6;
    options.solid = (flags & 0x08) != 0;
    options.storeIncompressible = (flags & 0x10) == 0;
    static constexpr PackOptions::Multimedia modes[] = {
        PackOptions::Multimedia::Auto, PackOptions::Multimedia::On, PackOptions::Multimedia::Off,
        PackOptions::Multimedia::Auto};
    options.multimedia = modes[(flags >> 5) & 3];
    // At most 8 characters: the cipher's key set-up takes longer with each one.
    options.password = in.bytes(in.byte() % 9);
    // The reader takes the password as a C string.
    for (char& c : options.password)
        if (c == 0) c = 1;

    std::vector<PackInput> files(1 + in.byte() % 4);
    size_t total = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        PackInput& entry = files[i];
        const uint8_t kind = in.byte();
        // Names that the reader's case-blind matching can never confuse.
        entry.name = ((kind & 0x80) ? "dir\\entry" : "entry") + std::to_string(i);
        entry.level = (kind & 0x40) ? ((kind >> 2) & 7) % 6 : -1;
        size_t length = in.u16();
        if (length > MAX_TOTAL - total) length = MAX_TOTAL - total;
        entry.data = entryBytes(in, kind, length);
        // Now and then a folder: no data, and a solid stream starts afresh after it.
        entry.directory = (kind & 0x3C) == 0x3C;
        if (entry.directory) entry.data.clear();
        total += entry.data.size();
    }

    std::vector<uint8_t> archive;
    std::string error;
    if (!buildArchive(files, options, &archive, &error)) fail(("packing refused: " + error).c_str());
    const char* path = file.write(archive.data(), archive.size());

    ArchiveListing listing;
    if (archiveList(path, listing) != 1 || !listing.complete) fail("written archive does not list");
    if (listing.solidArchive != options.solid) fail("solid flag lost");
    size_t listed = 0;
    for (const ArchiveEntryInfo& block : listing.blocks) listed += block.isFile() ? 1 : 0;
    if (listed != files.size()) fail("listed entry count differs");

    for (const PackInput& entry : files) {
        uint8_t* buffer = nullptr;
        uint32_t got = 0;
        if (archiveExtract(&buffer, &got, entry.name.c_str(), path, options.password.c_str()) != 1)
            fail("entry does not extract");
        const bool same = got == entry.data.size() &&
                          (got == 0 || std::memcmp(buffer, entry.data.data(), got) == 0);
        std::free(buffer);
        if (!same) fail("extracted bytes differ from the packed ones");
    }

    // The paths below write real files (with fsync) and run a few times slower than the round
    // trip above: one input in four takes them.
    if ((in.byte() & 3) != 0) return 0;
    static fuzz::ScratchFolder folder;
    const uint64_t volumeSize = 1024 + in.u16() % 4096;
    std::vector<std::string> volumes;
    if (!writeVolumes(folder.file("set.rar"), files, options, volumeSize, &volumes, &error))
        fail(("volume set refused: " + error).c_str());
    expectHolds(folder.file("set.rar"), options.password, files, "volume set");

    // a: the first entry replaced, one more appended; d: the first entry again.
    const std::string changed = folder.write("change.rar", archive.data(), archive.size());
    ArchiveChange add;
    add.add.push_back({files[0].name, entryBytes(in, in.byte(), in.u16() % 512)});
    add.add.push_back({"added", entryBytes(in, in.byte(), in.u16() % 512)});
    if (!changeArchive(changed, add, options, nullptr, &error)) fail(("a refused: " + error).c_str());
    std::vector<PackInput> expected = files;
    expected[0].data = add.add[0].data;
    expected.push_back(add.add[1]);
    expectHolds(changed, options.password, expected, "after a");
    ArchiveChange remove;
    remove.remove.push_back(files[0].name);
    if (!changeArchive(changed, remove, options, nullptr, &error)) fail(("d refused: " + error).c_str());
    expected.erase(expected.begin());
    expectHolds(changed, options.password, expected, "after d");
    return 0;
}
