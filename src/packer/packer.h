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
    // Left unencrypted even when the options give a password (an entry kept from an archive in
    // which it was not encrypted).
    bool plain = false;
    uint8_t hostOs = 0;  // the system `attributes` belong to: 0 MS-DOS, 3 Unix, ...
    // A folder: an entry without data, so that empty folders and folders' times come back. Never
    // encrypted; in a solid archive the stream starts afresh after it (put folders first there).
    bool directory = false;
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

// A change to an existing archive: new entries (replacing kept ones of the same stored name, "\"
// and "/" alike, in their place; the others appended) and names of entries to delete (matched as
// the reader matches names: case-blind, "\", "/" and "_" the same).
struct ArchiveChange {
    std::vector<PackInput> add;
    std::vector<std::string> remove;
};

// What changing an archive did, for the user.
struct ArchiveChangeReport {
    std::vector<std::string> replaced;   // stored names of entries replaced by new ones
    std::vector<std::string> removed;    // stored names of entries deleted
    std::vector<bool> removeMatched;     // per name of ArchiveChange::remove: whether it matched
    std::vector<std::string> dropped;    // blocks left out, in words (recovery record, ...)
    size_t kept = 0;                     // entries kept
    bool solid = false;                  // the new archive is solid
    bool repacked = false;               // kept entries were decoded and packed again
};

// Changes the archive at `path`, which must be a complete RAR 2.x archive that is not locked and
// not a volume. Non-solid: kept blocks (entries, comments, sub-blocks) are copied as they are,
// encrypted entries without their password. Solid (as it was, or with opt.solid): the kept entries
// are decoded (encrypted ones with opt.password, which is refused when missing or wrong) and packed
// again with the new ones into one stream. The new archive is written under a temporary name and
// renamed over `path` only when complete; on any failure (reason in *error) the archive is as it
// was. Nothing is written when nothing would change (a delete that matches nothing).
bool changeArchive(const std::string& path, const ArchiveChange& change, const PackOptions& opt,
                   ArchiveChangeReport* report, std::string* error);

// Writes the files as a RAR 2.x volume set: `path` (NAME.rar), then NAME.r00, NAME.r01, ... (after
// .r99 .s00 and on), each at most `volumeSize` bytes (1024 at least), entries split across volumes
// where they do not fit. Each volume is written under a temporary name; all are renamed once the
// whole set is complete. The names written come back in *names.
bool writeVolumes(const std::string& path, const std::vector<PackInput>& files, const PackOptions& opt,
                  uint64_t volumeSize, std::vector<std::string>* names, std::string* error);

// MS-DOS date/time of a Unix time stamp in local time (what RAR archives record).
uint32_t dosTimeFromUnix(int64_t unixTime);

// Host systems of an entry's attributes, and the attributes this system's files get: on Windows
// the MS-DOS ones, elsewhere Unix, whose attributes are the file's mode (type and permission bits;
// never set-uid, set-gid or sticky).
constexpr uint8_t kHostMsDos = 0;
constexpr uint8_t kHostUnix = 3;
struct EntryAttributes {
    uint8_t hostOs = kHostMsDos;
    uint32_t attributes = 0x20;
};
EntryAttributes attributesFromMode(uint32_t mode, bool directory);

}  // namespace korvana
