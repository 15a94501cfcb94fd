// The archive reader on arbitrary bytes: list the archive, then extract the first few file entries
// by their stored names, without a password and, for encrypted entries, with a fixed one.
#include <cstdlib>

#include "archive/archive.h"
#include "fuzz_support.h"

using namespace korvana;
using fuzz::fail;

namespace {
constexpr int MAX_ENTRIES = 3;

void extractChecked(const std::string& name, const char* path, const char* password) {
    uint8_t* buffer = nullptr;
    uint32_t size = 12345;
    const int ok = archiveExtract(&buffer, &size, name.c_str(), path, password);
    if (ok == 1) {
        if (!buffer) fail("extraction succeeded without a buffer");
    } else {
        if (ok != 0) fail("extraction returned neither 0 nor 1");
        if (buffer || size != 0) fail("failed extraction left a buffer or a size");
    }
    std::free(buffer);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    const char* path = file.write(data, size);
    ArchiveListing listing;
    if (archiveList(path, listing) != 1) return 0;
    int entries = 0;
    for (const ArchiveEntryInfo& block : listing.blocks) {
        if (!block.isFile() || block.directory()) continue;
        if (++entries > MAX_ENTRIES) break;
        extractChecked(block.name, path, nullptr);
        // Without the flag the password is never used: the same call again would add nothing.
        if (block.encrypted()) extractChecked(block.name, path, "password");
    }
    return 0;
}
