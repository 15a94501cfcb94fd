// archiveList: the same marker, header and block-scan code as extraction, stopping at every block.
#include <cstring>

#include "archive/archive.h"
#include "archive/archive_state.h"
#include "archive/crc32.h"
#include "archive/debug_log.h"

namespace korvana {

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
