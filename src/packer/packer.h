// The RAR 2.0 archive writer: turns a list of named byte buffers into an archive that our reader
// (archiveExtract) and any RAR 2.x extractor can read. Entries are stored or LZ-packed (UnpVer 20,
// with the multimedia mode for audio-like data), optionally solid and encrypted with the RAR 2.0
// cipher. No GL, no SDL.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvana {

struct PackOptions {
    // 0 stores every entry; 1..5 pack, trading speed for size (3 is a good default).
    int level = 3;
    // One compression stream runs through all packed entries (main header flag 0x08).
    bool solid = false;
    // Empty: no encryption. Otherwise every entry is encrypted with the RAR 2.0 cipher.
    std::string password;
    // Multimedia (audio predictor) coding: chosen per block by cost, forced on, or never used.
    enum class Multimedia { Auto, On, Off };
    Multimedia multimedia = Multimedia::Auto;
    // A non-solid entry that packing would not make smaller is stored instead.
    bool storeIncompressible = true;
    // When set, called as the entries are packed: the entry at hand and the input bytes behind us
    // (all entries so far, read or in progress).
    std::function<void(const std::string& name, uint64_t bytesDone)> progress;
};

struct PackInput {
    std::string name;            // stored name, path parts separated by "\"
    std::vector<uint8_t> data;   // the file's bytes, unless `path` is set
    uint32_t dosTime = 0x00210000;  // MS-DOS date/time (date in the high 16 bits); 1980-01-01 00:00
    uint32_t attributes = 0x20;  // MS-DOS attributes (0x20: archive)
    int level = -1;              // per-entry override of PackOptions::level; -1 uses the options
    // A file to read the bytes from, in pieces as this entry is packed (then `data` stays empty),
    // so that no input is ever in memory whole.
    std::string path = {};
};

// Builds the whole archive in memory (inputs with a `path` are read as their turn comes). False (with a reason in *error when given) on bad input,
// such as an empty or over-long name or an entry of 4 GiB or more.
bool buildArchive(const std::vector<PackInput>& files, const PackOptions& opt,
                  std::vector<uint8_t>* archive, std::string* error);

// Writes the archive to `path` entry by entry as each is packed, through a temporary file in the
// same folder that is renamed over `path` only once complete, so a failure never leaves a broken
// archive or destroys an old one.
bool writeArchive(const std::string& path, const std::vector<PackInput>& files,
                  const PackOptions& opt, std::string* error);

// MS-DOS date/time of a Unix time stamp in local time (what RAR archives record).
uint32_t dosTimeFromUnix(int64_t unixTime);

}  // namespace korvana
