// Following a volume set: the next volume's name, its checks, and an entry's passage from one
// volume into the next.
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_state.h"
#include "archive/crc32.h"
#include "archive/debug_log.h"

namespace korvana {

namespace {

bool stop(VolumeCursor& v, const std::string& problem) {
    v.problem = problem;
    KORVANA_LOG(problem.c_str());
    return false;
}

// CRC32 of the current part's packed bytes as stored, read again from the volume.
bool partCrc(ArchiveState& s, uint32_t& crc) {
    const int64_t start = s.curBlockPos + s.fileHead.HeadSize;
    if (fseeko(s.archive, static_cast<off_t>(start), SEEK_SET) != 0) return false;
    std::vector<uint8_t> piece(1u << 16);
    uint32_t left = s.fileHead.PackSize;
    uint32_t c = 0xFFFFFFFFu;
    while (left > 0) {
        const size_t n = left < piece.size() ? left : piece.size();
        if (std::fread(piece.data(), 1, n, s.archive) != n) return false;
        c = calcCrc32(c, piece.data(), n);
        left -= static_cast<uint32_t>(n);
    }
    crc = ~c;
    return true;
}

}  // namespace

bool enterNextVolume(ArchiveState& s, VolumeCursor& v) {
    const std::string next = nextVolumeName(v.name);
    if (next.empty()) return stop(v, "no volume can follow " + v.name);
    closeArchive(s);
    if (!openArchive(s, next.c_str())) return stop(v, "volume " + next + " is missing or cannot be opened");
    v.name = next;
    v.opened.push_back(next);
    if (!isArchive() || !(s.mainHead.Flags & MHD_VOLUME))
        return stop(v, "volume " + next + " is damaged or not a volume of this set");
    if (fseeko(s.archive, s.mainHead.HeadSize - MAIN_HEAD_SIZE, SEEK_CUR) != 0)
        return stop(v, "volume " + next + " is damaged");
    return true;
}

bool continueEntry(ArchiveState& s, VolumeCursor& v) {
    const std::string entry(s.storedName);
    const std::string volume = v.name;
    uint32_t crc = 0;
    if (!partCrc(s, crc)) return stop(v, "volume " + volume + " ends inside " + entry);
    if (crc != s.fileHead.FileCRC)
        return stop(v, "volume " + volume + " is damaged: its part of " + entry + " fails its CRC");
    if (!enterNextVolume(s, v)) {
        v.problem += " (" + entry + " continues in it)";
        return false;
    }
    const int size = readBlock(0);
    if (size <= 0 || s.fileHead.HeadType != FILE_HEAD || !(s.fileHead.Flags & LHD_SPLIT_BEFORE) ||
        entry != s.storedName)
        return stop(v, "volume " + v.name + " does not continue " + entry + " (out of order, or from another set)");
    s.packLeft = s.fileHead.PackSize;
    return true;
}

}  // namespace korvana
