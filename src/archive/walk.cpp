// archiveWalk: the tools' way through an archive. One pass over the blocks, every file entry by
// position (never by name), a solid stream decoded once, and each wanted entry's bytes handed on
// as they leave the window, so memory stays bounded whatever the entries' sizes. The headers,
// the cipher input, the decoder and the checks are the ones archiveExtract uses.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_state.h"
#include "archive/crc32.h"
#include "archive/debug_log.h"

namespace korvana {

namespace {

constexpr uint32_t STORED_CHUNK = 1u << 16;  // a multiple of the cipher's 16-byte blocks

// The wanted entry's bytes on their way to the visitor: counted and CRC-checked as they pass.
struct EntrySink {
    ArchiveVisitor* visitor = nullptr;
    uint32_t crc = 0xFFFFFFFFu;
    uint32_t produced = 0;  // bytes handed on, counted by the decoder for packed entries
    bool refused = false;   // the visitor did not take some bytes

    void pass(const uint8_t* bytes, uint32_t count) {
        crc = calcCrc32(crc, bytes, count);
        if (!refused && !visitor->data(bytes, count)) refused = true;
    }
    // A refusal must not stop the decoder: the solid entries after this one need its bytes.
    static bool write(void* context, const uint8_t* bytes, uint32_t count) {
        static_cast<EntrySink*>(context)->pass(bytes, count);
        return true;
    }
};

// The reader's messages during one entry, the last of which says why it failed; passed on to
// whoever listened before the walk.
struct Messages {
    DebugLogListener previous = nullptr;
    void* previousContext = nullptr;
    std::string last;

    static void listen(void* context, const char* message) {
        auto* self = static_cast<Messages*>(context);
        self->last = message;
        if (self->previous) self->previous(self->previousContext, message);
    }
};

// The current entry's packed bytes, from one volume into the next where it is split.
uint32_t readAcrossVolumes(VolumeCursor& volumes, uint8_t* dest, uint32_t count) {
    ArchiveState& s = archiveState;
    uint32_t n = unpRead(dest, count);
    while (n == 0 && s.packLeft == 0 && volumes.inSet && (s.fileHead.Flags & LHD_SPLIT_AFTER) &&
           volumes.problem.empty()) {
        if (!continueEntry(s, volumes)) return 0;
        n = unpRead(dest, count);
    }
    return n;
}

uint32_t readForUnpack(void* context, uint8_t* dest, uint32_t count) {
    return readAcrossVolumes(*static_cast<VolumeCursor*>(context), dest, count);
}

// Streams a stored entry's data to the sink; false on a read error.
bool unstoreStream(ArchiveState& s, VolumeCursor& volumes, EntrySink& sink, std::vector<uint8_t>& chunk) {
    uint32_t left = s.fileHead.UnpSize;
    for (;;) {
        const uint32_t got = readAcrossVolumes(volumes, chunk.data(), STORED_CHUNK);
        if (got == 0xFFFFFFFFu) {
            KORVANA_LOG("Read error of stored file!");
            return false;
        }
        if (got == 0) break;
        // Padding of the last cipher block is read (the keys need it) but not handed on.
        const uint32_t useful = got < left ? got : left;
        sink.pass(chunk.data(), useful);
        sink.produced += useful;
        left -= useful;
    }
    return true;
}

// Decodes (or, for a stored entry, copies) the current entry; when `sink` is null the entry is
// decoded only for the solid entries after it. False when it failed before its checks.
bool decodeEntry(ArchiveState& s, VolumeCursor& volumes, EntrySink* sink, std::vector<uint8_t>& chunk) {
    const FileHeader& head = s.fileHead;
    // The same refusal as the show's reader, so that both fail alike; the tools say in their own
    // words which RAR generation packed such an entry (unsupportedEntryReason).
    if (head.UnpVer < 13 || head.UnpVer > 20) {
        KORVANA_LOG("unknown compression method");
        return false;
    }
    const bool decrypting = s.password[0] != 0 && (head.Flags & LHD_PASSWORD) != 0;
    // The show's own size checks, except for an entry split across volumes, whose first part
    // holds only some of its data (the walk never allocates by a header's sizes anyway).
    if (sink && !(volumes.inSet && (head.Flags & LHD_SPLIT_AFTER))) {
        uint32_t capacity = 0;
        if (!outputCapacity(s, head, decrypting && head.UnpVer >= 20, capacity)) return false;
    }
    s.encryption = decrypting ? head.UnpVer : 0;
    if (s.encryption) setCryptKeys(s.crypt, s.password);
    s.packLeft = head.PackSize;
    if (head.Method == 0x30) {
        // Stored data never enters the window.
        return !sink || unstoreStream(s, volumes, *sink, chunk);
    }
    UnpackIo io;
    io.read = readForUnpack;
    io.context = &volumes;
    io.write = sink ? &EntrySink::write : nullptr;
    io.writeContext = sink;
    uint32_t ignored = 0;
    io.outSize = sink ? &sink->produced : &ignored;
    io.unpSize = head.UnpSize;
    io.solid = (head.Flags & LHD_SOLID) != 0;
    unpack(s.unpack, s.window, io);
    return true;
}

// The checks archiveExtract makes on its buffer, which is zero-filled where bytes are missing.
bool checkEntry(const FileHeader& head, EntrySink& sink) {
    static const uint8_t zeros[4096] = {};
    for (uint32_t missing = head.UnpSize - sink.produced; missing > 0;) {
        const uint32_t n = missing < sizeof zeros ? missing : sizeof zeros;
        sink.crc = calcCrc32(sink.crc, zeros, n);
        missing -= n;
    }
    if (head.FileCRC != ~sink.crc) {
        KORVANA_LOG("CRC32 error - file couldn't be decompressed correctly!");
        return false;
    }
    if (sink.produced != head.UnpSize) {
        KORVANA_LOGF("Only %u of %u bytes could be extracted", sink.produced, head.UnpSize);
        return false;
    }
    return true;
}

}  // namespace

int archiveWalk(const char* archiveName, const char* password, ArchiveVisitor& visitor,
                ArchiveListing& listing) {
    ArchiveState& s = archiveState;
    listing = ArchiveListing{};
    beginReaderCall();
    const char* path = archiveName ? archiveName : "";
    const char* secret = password ? password : "";
    if (std::strlen(secret) >= PASSWORD_SIZE) {
        KORVANA_LOGF("Password too long (at most %u characters)", PASSWORD_SIZE - 1);
        return 0;
    }
    if (!openForScan(s, path)) return 0;
    std::memset(s.password, 0, sizeof s.password);
    std::memcpy(s.password, secret, std::strlen(secret));

    Messages messages;
    messages.previous = debugLogListener(&messages.previousContext);
    setDebugLogListener(&Messages::listen, &messages);

    listing.solidArchive = (s.mainHead.Flags & MHD_SOLID) != 0;
    listing.mainFlags = s.mainHead.Flags;
    listing.firstBlock = 7 + static_cast<int64_t>(s.mainHead.HeadSize);
    std::vector<uint8_t> chunk(STORED_CHUNK);
    VolumeCursor volumes;
    volumes.name = path;
    volumes.opened.push_back(path);
    volumes.inSet = (s.mainHead.Flags & MHD_VOLUME) != 0;
    bool firstEntry = true;
    std::string notFirst;     // the set was begun in the middle
    std::string unreachable;  // why no later entry can be read, once a sub-block stopped the scan
    for (;;) {
        const int size = readBlock(0);
        if (size <= 0) {
            // A clean end is a read of nothing exactly at the end of the file.
            listing.complete = size == 0 && s.curBlockPos == s.archiveSize;
            if (!listing.complete && volumes.inSet && volumes.problem.empty())
                volumes.problem = "volume " + volumes.name + " ends early or its block chain is broken";
            break;
        }
        listing.blocks.push_back(blockInfo(s));
        const ArchiveEntryInfo& info = listing.blocks.back();
        if (volumes.inSet && info.headType == END_HEAD && (info.flags & EARC_NEXT_VOLUME)) {
            if (!enterNextVolume(s, volumes)) break;
            continue;
        }
        if (info.headType == SUB_HEAD && unreachable.empty()) {
            KORVANA_LOG("Sorry, sub-headers not supported.");
            unreachable = "Sorry, sub-headers not supported.";
        }
        if (info.isFile() && volumes.inSet && info.splitBefore()) {
            // The rest of an entry that was not decoded: skipped with it. At the very start it
            // is a set begun in the middle.
            if (firstEntry)
                notFirst = volumes.name + " starts inside an entry (" + info.name +
                                  "): it is not the first volume of its set";
            firstEntry = false;
        } else if (info.isFile()) {
            firstEntry = false;
            const bool wanted = visitor.begin(info);
            if (wanted && !unreachable.empty()) {
                visitor.end(info, false, unreachable);
            } else if (wanted) {
                logExtracting(info.name.c_str(), path, secret);
                messages.last.clear();
                EntrySink sink;
                sink.visitor = &visitor;
                const size_t firstVolume = volumes.opened.size() - 1;
                const bool ok = decodeEntry(s, volumes, &sink, chunk) && checkEntry(s.fileHead, sink) && !sink.refused &&
                                volumes.problem.empty();
                std::string reason = sink.refused ? std::string() : messages.last;
                if (!volumes.problem.empty()) {
                    reason = volumes.problem;
                } else if (!ok && volumes.opened.size() - 1 > firstVolume && !sink.refused) {
                    // Each part passed its own check: the parts themselves may not belong together.
                    reason += " (the entry runs from " + volumes.opened[firstVolume] + " to " + volumes.name +
                              ": one of them may be out of order or from another set)";
                }
                if (ok) {
                    KORVANA_LOGF("Extracted %u Bytes.", sink.produced);
                } else {
                    logExtractFailed(info.name.c_str(), 0);
                }
                visitor.end(info, ok, reason);
            } else if (listing.solidArchive && unreachable.empty() && info.method != 0x30) {
                // Its bytes are the history of the solid entries after it.
                decodeEntry(s, volumes, nullptr, chunk);
            }
            if (!volumes.problem.empty()) break;  // the set cannot be followed further
        }
        if (fseeko(s.archive, s.nextBlockPos, SEEK_SET) != 0) break;
    }
    listing.volumeSet = volumes.inSet;
    listing.volumes = volumes.opened;
    listing.problem = volumes.problem.empty() ? notFirst : volumes.problem;
    if (!listing.problem.empty()) listing.complete = false;

    setDebugLogListener(messages.previous, messages.previousContext);
    wipeSecret(s.password, sizeof s.password);
    wipeSecret(&s.crypt, sizeof s.crypt);
    s.encryption = 0;
    closeArchive(s);
    return 1;
}

}  // namespace korvana
