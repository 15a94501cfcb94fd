// Marker, main header and block headers of RAR 2.x, and the scan from block to block.
#include <cstring>

#include "archive/archive.h"
#include "archive/archive_state.h"
#include "archive/crc32.h"
#include "archive/debug_log.h"

namespace korvana {

namespace {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int64_t tell(FILE* file) { return static_cast<int64_t>(ftello(file)); }

bool seekTo(FILE* file, int64_t position) {
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

const uint8_t RAR_MARK[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
const uint8_t ORVIKA_MARK[7] = {'O', 'r', 'v', 'i', 'k', 'a', '!'};
const uint8_t OLD_MARK[4] = {0x52, 0x45, 0x7E, 0x5E};

// The rest of a file header after its fixed 32 bytes: the name and any extension up to HeadSize.
// Reading it whole lets the CRC cover everything the archiver covered and leaves the file at the
// first byte of the packed data however long the header is.
int readFileHeaderRest(ArchiveState& s) {
    FileHeader& head = s.fileHead;
    if (head.HeadSize < FILE_HEAD_SIZE || head.HeadSize - FILE_HEAD_SIZE < head.NameSize) {
        KORVANA_LOGF("Broken file header at offset %lld: its name does not fit in its %u bytes",
                     static_cast<long long>(s.curBlockPos), static_cast<unsigned>(head.HeadSize));
        return -1;
    }
    const size_t rest = head.HeadSize - FILE_HEAD_SIZE;
    if (std::fread(s.headerRest, 1, rest, s.archive) != rest) {
        KORVANA_LOGF("Archive truncated inside the file header at offset %lld",
                     static_cast<long long>(s.curBlockPos));
        return -1;
    }
    s.storedNameTooLong = head.NameSize >= STORED_NAME_SIZE;
    if (s.storedNameTooLong) {
        KORVANA_LOGF("Name of %u bytes at offset %lld is longer than %u bytes: entry can't be used",
                     static_cast<unsigned>(head.NameSize), static_cast<long long>(s.curBlockPos),
                     STORED_NAME_SIZE - 1);
        s.storedName[0] = 0;
    } else {
        std::memcpy(s.storedName, s.headerRest, head.NameSize);
        s.storedName[head.NameSize] = 0;
    }
    // The archiver covers the fixed part and the name; a header extension is covered too by some
    // writers and not by others (a file comment is not), so either form is accepted.
    const uint32_t nameCrc = calcCrc32(s.headCrc, s.headerRest, head.NameSize);
    s.headCrc = calcCrc32(nameCrc, s.headerRest + head.NameSize, rest - head.NameSize);
    s.headerCrcOk = static_cast<uint16_t>(~nameCrc) == head.HeadCRC ||
                    static_cast<uint16_t>(~s.headCrc) == head.HeadCRC;
    if (!s.headerCrcOk) KORVANA_LOG("file header broken");
    return head.NameSize;
}

}  // namespace

int isArchive() {
    ArchiveState& s = archiveState;
    if (std::fread(s.markHead.Mark, 1, 7, s.archive) != 7) return 0;
    if (std::memcmp(s.markHead.Mark, OLD_MARK, 4) == 0) {
        KORVANA_LOG("Attention: format as OLD detected! Can't handel archive!");
        return 0;
    }
    if (std::memcmp(s.markHead.Mark, RAR_MARK, 7) == 0 ||
        std::memcmp(s.markHead.Mark, ORVIKA_MARK, 7) == 0) {
        if (readHeader(MAIN_HEAD) != static_cast<int>(MAIN_HEAD_SIZE)) return 0;
        // A main header shorter than its fixed part would send the scan backwards.
        if (s.mainHead.HeadSize < MAIN_HEAD_SIZE) return 0;
        return 1;
    }
    KORVANA_LOG("unknown archive type (only plain RAR "
                "supported (normal and solid "
                "archives), SFX and Volumes "
                "are NOT supported!)");
    return 0;
}

int readHeader(uint8_t type) {
    ArchiveState& s = archiveState;
    switch (type) {
    case MAIN_HEAD: {
        uint8_t buffer[MAIN_HEAD_SIZE] = {};
        const size_t got = std::fread(buffer, 1, sizeof buffer, s.archive);
        MainHeader& head = s.mainHead;
        head.HeadCRC = get16(buffer);
        head.HeadType = buffer[2];
        head.Flags = get16(buffer + 3);
        head.HeadSize = get16(buffer + 5);
        head.Reserved = get16(buffer + 7);
        head.Reserved1 = get32(buffer + 9);
        // Computed as the archiver did, but like the archiver's own readers we do not insist on it.
        s.headCrc = calcCrc32(0xFFFFFFFFu, buffer + 2, MAIN_HEAD_SIZE - 2);
        return static_cast<int>(got);
    }
    case FILE_HEAD: {
        // Zeroed first, so a short read at the end of the file leaves no stale fields.
        uint8_t buffer[FILE_HEAD_SIZE] = {};
        const size_t got = std::fread(buffer, 1, sizeof buffer, s.archive);
        FileHeader& head = s.fileHead;
        head.HeadCRC = get16(buffer);
        head.HeadType = buffer[2];
        head.Flags = get16(buffer + 3);
        head.HeadSize = get16(buffer + 5);
        head.PackSize = get32(buffer + 7);
        head.UnpSize = get32(buffer + 11);
        head.HostOS = buffer[15];
        head.FileCRC = get32(buffer + 16);
        head.FileTime = get32(buffer + 20);
        head.UnpVer = buffer[24];
        head.Method = buffer[25];
        head.NameSize = get16(buffer + 26);
        head.FileAttr = get32(buffer + 28);
        s.headCrc = calcCrc32(0xFFFFFFFFu, buffer + 2, FILE_HEAD_SIZE - 2);
        return static_cast<int>(got);
    }
    case 0:
        KORVANA_LOG("ShortBlockHeader not supported!");
        return 0;
    case COMM_HEAD:
        KORVANA_LOG("Comment headers not supported! Please create archives without comments.");
        return 0;
    case PROTECT_HEAD:
        KORVANA_LOG("Protected headers not supported!");
        return 0;
    default:
        KORVANA_LOG("Unknown//unsupported !");
        return 0;
    }
}

int readBlock(uint32_t blockType) {
    ArchiveState& s = archiveState;
    const FileHeader saved = s.fileHead;
    const bool subBlockStop = (blockType & 0x8000) != 0;
    const uint8_t wanted = static_cast<uint8_t>(blockType & 0xFF);

    int size = 0;
    for (;;) {
        s.curBlockPos = tell(s.archive);
        if (s.curBlockPos < 0) return 0;
        size = readHeader(FILE_HEAD);
        if (size > 0) {
            const FileHeader& head = s.fileHead;
            // The common part of a block header is 7 bytes; anything less is a torn file.
            if (size < 7) {
                KORVANA_LOGF("Archive truncated: %d bytes of a block header at offset %lld", size,
                             static_cast<long long>(s.curBlockPos));
                s.fileHead = saved;
                return 0;
            }
            if (head.HeadSize < 7) {
                KORVANA_LOGF("Broken block chain: header size %u at offset %lld",
                             static_cast<unsigned>(head.HeadSize),
                             static_cast<long long>(s.curBlockPos));
                s.fileHead = saved;
                return 0;
            }
            s.nextBlockPos = s.curBlockPos + head.HeadSize;
            if (head.Flags & LONG_BLOCK) s.nextBlockPos += head.PackSize;
            if (s.nextBlockPos <= s.curBlockPos) {
                s.fileHead = saved;
                return 0;
            }
            if (s.nextBlockPos > s.archiveSize) {
                KORVANA_LOGF("Archive truncated: the block at offset %lld ends at %lld, past the "
                             "end of the file (%lld bytes)",
                             static_cast<long long>(s.curBlockPos),
                             static_cast<long long>(s.nextBlockPos),
                             static_cast<long long>(s.archiveSize));
                s.fileHead = saved;
                return 0;
            }
            if (wanted != SUB_HEAD) s.lastBlock = wanted;
        }
        const uint8_t type = s.fileHead.HeadType;
        if (size == 0 || wanted == 0 || type == wanted ||
            (type == SUB_HEAD && subBlockStop && s.lastBlock == wanted))
            break;
        if (!seekTo(s.archive, s.nextBlockPos)) return 0;
    }

    s.blockHead.HeadCRC = s.fileHead.HeadCRC;
    s.blockHead.HeadType = s.fileHead.HeadType;
    s.blockHead.Flags = s.fileHead.Flags;
    s.blockHead.HeadSize = s.fileHead.HeadSize;
    s.blockHead.DataSize = s.fileHead.PackSize;

    // A file block, when file blocks are wanted (or every block is): read its name.
    if (size > 0 && s.fileHead.HeadType == FILE_HEAD && (wanted == FILE_HEAD || wanted == 0)) {
        // A file block of fewer than 32 bytes is not a file header at all.
        if (size < static_cast<int>(FILE_HEAD_SIZE)) {
            KORVANA_LOGF("Archive truncated inside the file header at offset %lld",
                         static_cast<long long>(s.curBlockPos));
            s.fileHead = saved;
            return 0;
        }
        const int nameSize = readFileHeaderRest(s);
        if (nameSize < 0) {
            s.fileHead = saved;
            return 0;
        }
        return size + nameSize;
    }

    s.fileHead = saved;
    seekTo(s.archive, s.curBlockPos);
    return size;
}

int compareArchiveName(const char* wanted, const char* stored) {
    // Both names are folded the same way: "\", "/" -> "_", a-z -> A-Z. 512 bytes is beyond every
    // name the reader keeps; longer inputs are compared over their first 512 bytes.
    constexpr size_t WORK_SIZE = 512;
    auto fold = [](unsigned char c) -> unsigned char {
        if (c == '\\' || c == '/') return '_';
        if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
        return c;
    };
    if (!wanted) wanted = "";
    if (!stored) stored = "";
    for (size_t i = 0; i < WORK_SIZE; ++i) {
        const unsigned char a = fold(static_cast<unsigned char>(wanted[i]));
        const unsigned char b = fold(static_cast<unsigned char>(stored[i]));
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
    return 0;
}

}  // namespace korvana
