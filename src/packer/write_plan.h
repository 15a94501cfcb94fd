// Internal to the packer: what goes into an archive being written, in order. Each part is a new
// entry to pack or a block of an existing archive copied as it is; the head (marker and main
// header) is an existing archive's or a new one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "packer/packer.h"

namespace korvana::pack {

struct WritePart {
    const PackInput* input = nullptr;  // a new entry, or null: bytes of `WritePlan::source`
    int64_t offset = 0;                // where the copied block starts in the source
    uint64_t size = 0;                 // its header and data
};

struct WritePlan {
    std::vector<uint8_t> head;  // marker and main header as they are written; empty: a new one
    std::string source;         // the archive the copied blocks come from
    std::vector<WritePart> parts;
};

WritePlan planFor(const std::vector<PackInput>& files);

// Writes the plan to `path` through a temporary file in the same folder, renamed over `path` only
// once complete.
bool writePlan(const std::string& path, const WritePlan& plan, const PackOptions& opt, std::string* error);

// Produces the whole archive into `out` (an unnamed temporary file, say), flushed.
bool produceToFile(const WritePlan& plan, const PackOptions& opt, std::FILE* out, std::string* error);
// An unnamed temporary file, gone when closed; null when none can be made.
std::FILE* scratchArchiveFile();

// Fills in the main header's CRC (it covers the header's fixed part only) after its flags changed.
void sealMainHeader(std::vector<uint8_t>& head);

}  // namespace korvana::pack
