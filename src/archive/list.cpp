// archiveList: the same marker, header and block-scan code as extraction, stopping at every block.
#include <cstring>

#include "archive/archive.h"
#include "archive/archive_state.h"
#include "archive/crc32.h"
#include "archive/debug_log.h"

namespace korvana {

namespace {

constexpr uint16_t LHD_LARGE = 0x0100;     // 64-bit sizes before the name: not read by this reader
constexpr uint16_t LHD_SALT = 0x0400;      // 8 bytes of salt after the name
constexpr uint16_t LHD_EXTTIME = 0x1000;   // extended times after the name (and salt)

// The modification time's part that its DOS time cannot hold, from the extended times that
// follow the name: a 16-bit field of four 4-bit groups (modification time in the top one:
// 8 present, 4 one second more, low two bits the count of 100 ns bytes that follow, most
// significant last). Only the modification time's group is read; it is the first.
uint32_t extendedTimeNanos(const ArchiveState& s) {
    const FileHeader& head = s.fileHead;
    if (!(head.Flags & LHD_EXTTIME) || (head.Flags & LHD_LARGE)) return 0;
    size_t at = head.NameSize + ((head.Flags & LHD_SALT) ? 8 : 0);
    const size_t rest = head.HeadSize - FILE_HEAD_SIZE;
    if (at + 2 > rest) return 0;
    const unsigned group = s.headerRest[at + 1] >> 4;
    at += 2;
    if (!(group & 8)) return 0;
    const unsigned count = group & 3;
    if (at + count > rest) return 0;
    uint32_t fraction = 0;  // in 100 ns
    for (unsigned i = 0; i < count; ++i) fraction |= uint32_t(s.headerRest[at + i]) << (8 * (3 - count + i));
    if (fraction >= 10000000u) return 0;  // more than a second: not a fraction, so not trusted
    return ((group & 4) ? 1000000000u : 0u) + fraction * 100u;
}

}  // namespace

ArchiveEntryInfo blockInfo(const ArchiveState& s) {
    ArchiveEntryInfo info;
    info.offset = s.curBlockPos;
    info.headType = s.blockHead.HeadType;
    info.flags = s.blockHead.Flags;
    info.headSize = s.blockHead.HeadSize;
    info.dataSize = (s.blockHead.Flags & LONG_BLOCK) ? s.blockHead.DataSize : 0;
    if (info.isFile()) {
        info.dataSize = s.fileHead.PackSize;
        info.name.assign(reinterpret_cast<const char*>(s.headerRest), s.fileHead.NameSize);
        // Stored names end at a NUL when a Unicode form follows it.
        info.name.resize(std::strlen(info.name.c_str()));
        info.unpSize = s.fileHead.UnpSize;
        info.fileCrc = s.fileHead.FileCRC;
        info.unpVer = s.fileHead.UnpVer;
        info.method = s.fileHead.Method;
        info.hostOs = s.fileHead.HostOS;
        info.fileTime = s.fileHead.FileTime;
        info.attributes = s.fileHead.FileAttr;
        info.timeNanos = extendedTimeNanos(s);
        info.headerCrcOk = s.headerCrcOk;
    }
    return info;
}

int archiveList(const char* archiveName, ArchiveListing& listing) {
    ArchiveState& s = archiveState;
    listing = ArchiveListing{};
    initCrc();
    if (!archiveName) return 0;
    if (!openArchive(s, archiveName)) {
        KORVANA_LOG("Error opening file.");
        return 0;
    }
    int result = 0;
    if (!isArchive()) {
        KORVANA_LOG("Not a RAR file");
    } else {
        result = 1;
        listing.solidArchive = (s.mainHead.Flags & MHD_SOLID) != 0;
        listing.mainFlags = s.mainHead.Flags;
        listing.firstBlock = 7 + static_cast<int64_t>(s.mainHead.HeadSize);
        VolumeCursor volumes;
        volumes.name = archiveName;
        volumes.opened.push_back(archiveName);
        volumes.inSet = (s.mainHead.Flags & MHD_VOLUME) != 0;
        bool walking = fseeko(s.archive, s.mainHead.HeadSize - MAIN_HEAD_SIZE, SEEK_CUR) == 0;
        while (walking) {
            const int size = readBlock(0);
            if (size <= 0) {
                // A clean end is a read of nothing exactly at the end of the file.
                listing.complete = size == 0 && s.curBlockPos == s.archiveSize;
                if (!listing.complete && volumes.inSet)
                    volumes.problem = "volume " + volumes.name + " ends early or its block chain is broken";
                break;
            }
            listing.blocks.push_back(blockInfo(s));
            const ArchiveEntryInfo& info = listing.blocks.back();
            if (volumes.inSet && info.headType == END_HEAD && (info.flags & EARC_NEXT_VOLUME)) {
                walking = enterNextVolume(s, volumes);
                continue;
            }
            walking = fseeko(s.archive, s.nextBlockPos, SEEK_SET) == 0;
        }
        listing.volumeSet = volumes.inSet;
        listing.volumes = volumes.opened;
        listing.problem = volumes.problem;
        if (!listing.problem.empty()) listing.complete = false;
    }
    closeArchive(s);
    return result;
}

}  // namespace korvana
