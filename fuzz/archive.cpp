// The archive reader on arbitrary bytes: list the archive, then extract the first few file entries
// by their stored names, without a password and, for encrypted entries, with a fixed one. The
// first entry that extracts is extracted once more at the end and must come out the same: nothing
// of one extraction may leak into the next through the reader's process-wide state.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "archive/archive.h"
#include "fuzz_support.h"

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
    return 0;
}
