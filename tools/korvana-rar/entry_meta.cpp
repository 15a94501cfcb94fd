// An entry's time and mode as korvana-rar x gives them to the file or folder it writes.
#include <ctime>

#include "output_folder.h"
#include "packer/packer.h"

namespace korvana::rartool {

EntryMeta entryMeta(const ArchiveEntryInfo& entry) {
    EntryMeta meta;
    // The archive holds local time, as DOS kept it; mktime reads it as local time too, with the
    // daylight-saving rule of that date.
    const uint32_t dos = entry.fileTime;
    std::tm t{};
    t.tm_year = int(dos >> 25) + 80;
    t.tm_mon = int((dos >> 21) & 15) - 1;
    t.tm_mday = int((dos >> 16) & 31);
    t.tm_hour = int((dos >> 11) & 31);
    t.tm_min = int((dos >> 5) & 63);
    t.tm_sec = int(dos & 31) * 2;
    t.tm_isdst = -1;
    if (t.tm_mon >= 0 && t.tm_mon < 12 && t.tm_mday >= 1 && t.tm_hour < 24 && t.tm_min < 60 && t.tm_sec < 60) {
        const std::time_t seconds = std::mktime(&t);
        if (seconds != std::time_t(-1)) {
            meta.hasTime = true;
            meta.seconds = int64_t(seconds) + entry.timeNanos / 1000000000u;
            meta.nanos = entry.timeNanos % 1000000000u;
        }
    }
    if (entry.hostOs == kHostUnix) {
        meta.hasMode = true;
        meta.mode = entry.attributes & 0777;
    }
    return meta;
}

}  // namespace korvana::rartool
