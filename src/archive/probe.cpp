// What a file offered as an archive really is, and which entry versions the reader decodes: the
// words the tools refuse other RAR generations with, instead of a CRC error or an empty listing.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "archive/archive.h"

namespace korvana {

namespace {

constexpr uint8_t kRarMark[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr uint8_t kRar5Mark[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
constexpr uint8_t kRar1Mark[4] = {0x52, 0x45, 0x7E, 0x5E};
constexpr uint8_t kOwnMark[7] = {'O', 'r', 'v', 'i', 'k', 'a', '!'};  // the show's own variant of the marker
constexpr uint16_t kMainEncryptedHeaders = 0x0080;

std::string version(uint8_t unpVer) { return std::to_string(unpVer / 10) + "." + std::to_string(unpVer % 10); }

}  // namespace

ArchiveProbe probeArchive(const char* archiveName) {
    ArchiveProbe probe;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(archiveName ? archiveName : "", "rb"), &std::fclose);
    if (!file) {
        probe.what = "cannot be opened";
        return probe;
    }
    uint8_t head[7 + 13] = {};
    const size_t got = std::fread(head, 1, sizeof head, file.get());
    if (got >= 4 && std::memcmp(head, kRar1Mark, 4) == 0) {
        probe.kind = ArchiveKind::Rar1;
        probe.what = "a RAR 1.x archive (the format before RAR 1.5), which this tool does not read";
    } else if (got >= 8 && std::memcmp(head, kRar5Mark, 8) == 0) {
        probe.kind = ArchiveKind::Rar5;
        probe.what = "a RAR 5 archive, which this tool does not read (it reads RAR 2.x)";
    } else if (got >= 7 && (std::memcmp(head, kRarMark, 7) == 0 || std::memcmp(head, kOwnMark, 7) == 0)) {
        const uint16_t flags = static_cast<uint16_t>(head[10] | head[11] << 8);
        if (got == sizeof head && head[9] == 0x73 && (flags & kMainEncryptedHeaders)) {
            probe.kind = ArchiveKind::EncryptedHeaders;
            probe.what = "a RAR 3.x/4.x archive with encrypted headers, which this tool does not read "
                         "(it reads RAR 2.x)";
        } else {
            probe.kind = ArchiveKind::Rar2;
        }
    } else {
        probe.kind = ArchiveKind::NotRar;
        probe.what = "not a RAR archive";
    }
    return probe;
}

std::string nextVolumeName(const std::string& name) {
    const size_t dot = name.rfind('.');
    const size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ".r00";
    std::string ext = name.substr(dot + 1);
    if (ext.size() == 3 && (ext[0] == 'r' || ext[0] == 'R') && (ext[1] == 'a' || ext[1] == 'A') &&
        (ext[2] == 'r' || ext[2] == 'R'))
        return name.substr(0, dot + 1) + (ext[0] == 'R' ? "R00" : "r00");
    if (ext.size() != 3 || !std::isalpha(static_cast<unsigned char>(ext[0])) ||
        !std::isdigit(static_cast<unsigned char>(ext[1])) || !std::isdigit(static_cast<unsigned char>(ext[2])))
        return name + ".r00";
    int number = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
    char letter = ext[0];
    if (number == 100) {
        if (letter == 'z' || letter == 'Z') return "";
        ++letter;
        number = 0;
    }
    char tail[4] = {letter, static_cast<char>('0' + number / 10), static_cast<char>('0' + number % 10), 0};
    return name.substr(0, dot + 1) + tail;
}

std::string unsupportedEntryReason(uint8_t unpVer, uint8_t method) {
    if (unpVer >= 50) return "packed by RAR 5 (unpack version " + version(unpVer) + "), which this reader does not decode";
    if (unpVer >= 29)
        return "packed with RAR 3.x/4.x compression (unpack version " + version(unpVer) +
               "), which this reader does not decode (it decodes RAR 2.x)";
    if (unpVer > 20) return "unpack version " + version(unpVer) + " is newer than RAR 2.0's, which this reader decodes";
    if (unpVer < 13)
        return "unpack version " + version(unpVer) + " is older than any RAR 1.5 to 2.x writes: not readable here";
    if (method == 0x30) return "";  // stored bytes are the same in every version
    if (unpVer < 20)
        return "packed by RAR 1.x (unpack version " + version(unpVer) +
               "), whose method this reader does not decode (it decodes RAR 2.0's)";
    return "";
}

}  // namespace korvana
