// The archive reader on arbitrary bytes: list the archive, then extract the first few file entries
// by their stored names, without a password and, for encrypted entries, with a fixed one. The
// first entry that extracts is extracted once more at the end and must come out the same: nothing
// of one extraction may leak into the next through the reader's process-wide state.
// Then the tools' paths: the input cut in two as a volume set and walked through (every entry
// that passes its checks must have delivered exactly its size), and `d` of its first entry (a
// changed archive must list whole, with that entry gone and every other kept).
#include <cstdlib>
#include <cstring>
#include <memory>

#include "archive/archive.h"
#include "fuzz_support.h"
#include "packer/packer.h"

using namespace korvana;
using fuzz::fail;

namespace {
constexpr int MAX_ENTRIES = 3;

struct Extracted {
    std::unique_ptr<uint8_t, decltype(&std::free)> bytes{nullptr, &std::free};
    uint32_t size = 0;
};

Extracted extractChecked(const std::string& name, const char* path, const char* password) {
    uint8_t* buffer = nullptr;
    Extracted result;
    result.size = 12345;
    const int ok = archiveExtract(&buffer, &result.size, name.c_str(), path, password);
    result.bytes.reset(buffer);
    if (ok == 1) {
        if (!buffer) fail("extraction succeeded without a buffer");
    } else {
        if (ok != 0) fail("extraction returned neither 0 nor 1");
        if (buffer || result.size != 0) fail("failed extraction left a buffer or a size");
    }
    return result;
}

class CountingVisitor : public ArchiveVisitor {
public:
    bool begin(const ArchiveEntryInfo&) override {
        delivered_ = 0;
        return true;
    }
    bool data(const uint8_t*, size_t count) override {
        delivered_ += count;
        return true;
    }
    void end(const ArchiveEntryInfo& entry, bool ok, const std::string&) override {
        if (ok && delivered_ != entry.unpSize) fail("an entry passed its checks with a size other than its own");
    }

private:
    uint64_t delivered_ = 0;
};

// The input as a volume set of two (cut where its first byte says), walked with and without a
// password.
void walkAsVolumes(const fuzz::ScratchFolder& folder, const uint8_t* data, size_t size) {
    const size_t cut = size ? size * data[0] / 255 : 0;
    folder.write("set.r00", data + cut, size - cut);
    const std::string first = folder.write("set.rar", data, cut);
    for (const char* password : {"", "password"}) {
        CountingVisitor visitor;
        ArchiveListing listing;
        archiveWalk(first.c_str(), password, visitor, listing);
    }
}

size_t fileEntries(const ArchiveListing& listing) {
    size_t n = 0;
    for (const ArchiveEntryInfo& block : listing.blocks) n += block.isFile();
    return n;
}

// korvana-rar d of the first file entry.
void deleteFirst(const fuzz::ScratchFolder& folder, const uint8_t* data, size_t size, const ArchiveListing& before) {
    std::string victim;
    for (const ArchiveEntryInfo& block : before.blocks)
        if (block.isFile()) {
            victim = block.name;
            break;
        }
    if (victim.empty() || !before.complete) return;
    const std::string path = folder.write("change.rar", data, size);
    ArchiveChange change;
    change.remove.push_back(victim);
    PackOptions options;
    options.level = 1;
    ArchiveChangeReport report;
    std::string error;
    if (!changeArchive(path, change, options, &report, &error)) return;
    ArchiveListing after;
    if (archiveList(path.c_str(), after) != 1 || !after.complete) fail("a changed archive does not list whole");
    if (fileEntries(after) != fileEntries(before) - report.removed.size())
        fail("a changed archive lost or gained entries");
    for (const ArchiveEntryInfo& block : after.blocks)
        if (block.isFile() && compareArchiveName(victim.c_str(), block.name.c_str()) == 0)
            fail("a deleted entry is still there");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    const char* path = file.write(data, size);
    ArchiveListing listing;
    if (archiveList(path, listing) != 1) return 0;

    int entries = 0;
    Extracted first;
    std::string firstName;
    const char* firstPassword = nullptr;
    for (const ArchiveEntryInfo& block : listing.blocks) {
        if (!block.isFile() || block.directory()) continue;
        if (++entries > MAX_ENTRIES) break;
        // Without the flag the password is never used: the same call again would add nothing.
        for (const char* password : {static_cast<const char*>(nullptr), "password"}) {
            if (password && !block.encrypted()) break;
            Extracted got = extractChecked(block.name, path, password);
            if (got.bytes && !first.bytes) {
                first = std::move(got);
                firstName = block.name;
                firstPassword = password;
            }
        }
    }
    if (first.bytes) {
        const Extracted again = extractChecked(firstName, path, firstPassword);
        if (!again.bytes || again.size != first.size ||
            std::memcmp(again.bytes.get(), first.bytes.get(), first.size) != 0)
            fail("the same entry extracted twice came out different");
    }
    static fuzz::ScratchFolder folder;
    walkAsVolumes(folder, data, size);
    deleteFirst(folder, data, size, listing);
    return 0;
}
