// The archive reader's public face: extract one named entry of a RAR 2.x archive into memory, and
// walk an archive's blocks for listing. Everything else of the reader is internal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana {

// Extracts `fileName` (matched case-blind, "\" = "/") from the archive at `archiveName`.
// Returns 1 with a malloc'ed buffer of exactly *outSize bytes in *outBuffer (the caller frees it),
// or 0 with *outBuffer null and *outSize 0. `password` may be null or empty: no decryption.
// Not re-entrant: the reader keeps its state in one static record.
int archiveExtract(uint8_t** outBuffer, uint32_t* outSize, const char* fileName,
                   const char* archiveName, const char* password);

// 0 when the two names denote the same entry: letter case is ignored and "\", "/" and "_" are
// the same character.
int compareArchiveName(const char* wanted, const char* stored);

// One block of an archive as the reader sees it.
struct ArchiveEntryInfo {
    int64_t offset = 0;       // where the block starts in the file
    uint8_t headType = 0;     // 0x74 file block; others are listed but not entries
    uint16_t flags = 0;
    uint16_t headSize = 0;
    uint32_t dataSize = 0;    // size of the data area (PackSize for a file block)
    // File blocks only:
    std::string name;         // the stored name, separators as stored
    uint32_t unpSize = 0;
    uint32_t fileCrc = 0;
    uint8_t unpVer = 0;
    uint8_t method = 0;       // 0x30 stored
    uint8_t hostOs = 0;       // 0 MS-DOS, 3 Unix, ...
    uint32_t fileTime = 0;    // MS-DOS date/time, local time
    // Added to fileTime's seconds where the header has an extended modification time (RAR 2.9
    // and later): 0..1999999900 ns, the odd second and the fraction a DOS time cannot hold.
    uint32_t timeNanos = 0;
    uint32_t attributes = 0;  // as the host system gives them
    bool headerCrcOk = true;  // the header's CRC matched

    bool isFile() const { return headType == 0x74; }
    bool encrypted() const { return (flags & 0x0004) != 0; }
    bool solid() const { return (flags & 0x0010) != 0; }
    bool directory() const { return isFile() && (flags & 0x00E0) == 0x00E0; }
    bool splitBefore() const { return isFile() && (flags & 0x0001) != 0; }  // continued from the previous volume
    bool splitAfter() const { return isFile() && (flags & 0x0002) != 0; }   // continued in the next volume
};

struct ArchiveListing {
    bool solidArchive = false;             // main header flag 0x08
    uint16_t mainFlags = 0;                // the main header's flags as stored
    int64_t firstBlock = 0;                // where the blocks start: marker and main header lie before
    std::vector<ArchiveEntryInfo> blocks;  // in file order
    bool complete = false;                 // the walk reached the end without a broken chain
    bool volumeSet = false;                // a volume set, followed from its first volume
    std::vector<std::string> volumes;      // the volumes read, in order
    std::string problem;                   // why the set could not be read whole, naming the volume
};

// Walks every block after the main header, through every volume when the archive is the first
// of a set (l lists each part of a split entry). Returns 1 when the file is an archive the reader
// accepts (the listing may still be incomplete, see `complete`), 0 otherwise. Messages go to the
// debug log as during extraction.
int archiveList(const char* archiveName, ArchiveListing& listing);

// What a file that is offered as an archive turns out to be, from its first bytes: a RAR 2.x
// archive (which may still hold entries of other versions, refused one by one), or a kind the
// reader never reads.
enum class ArchiveKind { Rar2, Rar1, Rar5, EncryptedHeaders, NotRar, Unreadable };
struct ArchiveProbe {
    ArchiveKind kind = ArchiveKind::Unreadable;
    std::string what;  // for a refusal: what the file is, in words for the user
};
ArchiveProbe probeArchive(const char* archiveName);

// The name of the volume after `name` in a set: NAME.rar -> NAME.r00 -> NAME.r01 ... NAME.r99 ->
// NAME.s00 ...; empty after NAME.z99 (or for a name with nothing to count on).
std::string nextVolumeName(const std::string& name);

// Why the reader cannot decode an entry of this unpack version and method, in words for the user;
// empty when it can (RAR 2.0 packing, or stored data of any version).
std::string unsupportedEntryReason(uint8_t unpVer, uint8_t method);

// Receives the file entries of an archive walk, in archive order.
class ArchiveVisitor {
public:
    virtual ~ArchiveVisitor() = default;
    // A file entry (folders too). True: its bytes are wanted, through `data` and then `end`.
    virtual bool begin(const ArchiveEntryInfo& entry) = 0;
    // The next bytes of the wanted entry, as they are decoded (at most a window at a time).
    // False: the visitor could not take them; it still gets `end`, and solid entries after it
    // still decode.
    virtual bool data(const uint8_t* bytes, size_t count) = 0;
    // The wanted entry is done: `ok` when every byte arrived (and `data` took it) and the CRC
    // matched. Otherwise `reason` holds the reader's last word on why, or is empty when `data`
    // refused the bytes.
    virtual void end(const ArchiveEntryInfo& entry, bool ok, const std::string& reason) = 0;
};

// Reads the archive once from start to end, for tools: every file entry goes to `visitor`
// whatever its name, and the wanted ones are decoded and checked in the same pass (a solid
// stream once, start to end), with memory bounded by the window whatever the entries' sizes.
// Entries the reader cannot reach (after a sub-block) fail with the reason the show would meet.
// Fills `listing` as archiveList does. Returns 1 when the file is an archive the reader accepts,
// 0 otherwise. Uses the same reader state and debug log as archiveExtract, with one progress
// line and one result line per wanted entry; sets the debug log's listener for its duration
// (restoring the one set before). The visitor must not call the reader itself.
int archiveWalk(const char* archiveName, const char* password, ArchiveVisitor& visitor,
                ArchiveListing& listing);

}  // namespace korvana
