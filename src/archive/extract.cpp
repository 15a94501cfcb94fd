// archiveExtract: one self-contained call that opens the archive, finds the named entry, unpacks
// it into a fresh buffer, checks its CRC, logs what happened and closes the archive again.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "archive/archive.h"
#include "archive/archive_state.h"
#include "archive/crc32.h"
#include "archive/debug_log.h"

namespace korvana {

ArchiveState archiveState;

namespace {

uint32_t readForUnpack(void* /*context*/, uint8_t* dest, uint32_t count) {
    return unpRead(dest, count);
}

uint32_t roundUp16(uint32_t n) { return static_cast<uint32_t>((static_cast<uint64_t>(n) + 15) & ~uint64_t{15}); }

// The wanted entry of a call decodes straight into its output when nothing after it needs the
// window: it does not continue a solid stream, and the scan stops at it anyway.
bool decodesDirect(const FileHeader& head) {
    return head.Method != 0x30 && (head.Flags & LHD_SOLID) == 0 && head.UnpSize <= 0x7FFFFFFFu;
}

// Decodes a packed entry through the decoder.
void unpackEntry(ArchiveState& s, uint32_t& produced) {
    UnpackIo io;
    io.read = readForUnpack;
    io.context = nullptr;
    io.output = s.found ? s.output : nullptr;
    io.direct = s.found && decodesDirect(s.fileHead);
    io.outSize = &produced;
    io.unpSize = s.fileHead.UnpSize;
    io.solid = (s.fileHead.Flags & LHD_SOLID) != 0;
    unpack(s.unpack, s.window, io);
}

}  // namespace

void beginReaderCall() {
    ArchiveState& s = archiveState;
    if (!s.firstCallDone) {
        s.firstCallDone = true;
        debugLogInit(debugLogPath());
    }
    initCrc();
}

uint8_t* processWindow(ArchiveState& s) {
    // Zeroed once: from then on the decoder clears only what it wrote (UnpackState::WindowDirty).
    if (!s.window) s.window = static_cast<uint8_t*>(std::calloc(UNP_WINDOW_SIZE, 1));
    if (!s.window) KORVANA_LOG("Can't allocate memory for decompression!");
    return s.window;
}

void logExtracting(const char* fileName, const char* archiveName, const char* password) {
    const bool given = password && password[0] != 0;
    KORVANA_LOGF("Extracting >%s< from >%s< (password is >%s<)...", fileName, archiveName,
                 given ? "********" : "");
}

void logExtractFailed(const char* fileName, uint32_t size) {
    KORVANA_LOGF("Error - couldn't extract "
                 ">%s<"
                 " and allocated "
                 "%u Bytes"
                 " of unused memory!",
                 fileName, size);
}

bool outputCapacity(const ArchiveState& s, const FileHeader& head, bool decrypting, uint32_t& capacity) {
    // A block without the long-block flag leaves PackSize out of the chain, so the chain's own
    // check against the file's size has not covered it.
    const int64_t dataLeft = s.archiveSize - (s.curBlockPos + head.HeadSize);
    if (static_cast<int64_t>(head.PackSize) > dataLeft) {
        KORVANA_LOGF("File claims %u packed bytes but the archive holds only %lld more: refused",
                     head.PackSize, static_cast<long long>(dataLeft < 0 ? 0 : dataLeft));
        return false;
    }
    if (head.Method == 0x30) {
        if (head.UnpSize > head.PackSize) {
            KORVANA_LOGF("Stored file claims %u bytes but holds only %u: refused", head.UnpSize,
                         head.PackSize);
            return false;
        }
        // Whole cipher blocks up to UnpSize; the padding after them is never needed.
        capacity = decrypting ? roundUp16(head.UnpSize) : head.UnpSize;
    } else {
        if (static_cast<uint64_t>(head.UnpSize) > maxUnpackedSize(head.PackSize)) {
            KORVANA_LOGF("Packed file claims %u bytes, more than its %u packed bytes can hold: "
                         "refused",
                         head.UnpSize, head.PackSize);
            return false;
        }
        capacity = head.UnpSize;
    }
    if (capacity == 0) capacity = 1;  // a real, freeable block even for an empty entry
    return true;
}

bool openArchive(ArchiveState& s, const char* path) {
    s.archive = std::fopen(path, "rb");
    if (!s.archive) return false;
    s.archiveSize = -1;
    if (fseeko(s.archive, 0, SEEK_END) == 0) s.archiveSize = static_cast<int64_t>(ftello(s.archive));
    if (s.archiveSize < 0 || fseeko(s.archive, 0, SEEK_SET) != 0) {
        closeArchive(s);
        return false;
    }
    s.lastBlock = 0;
    return true;
}

void closeArchive(ArchiveState& s) {
    if (s.archive) std::fclose(s.archive);
    s.archive = nullptr;
}

uint32_t unpRead(uint8_t* dest, uint32_t count) {
    ArchiveState& s = archiveState;
    if (!s.archive) return 0;
    const bool decrypting = s.encryption >= 20;
    // Whole cipher blocks only, while whole blocks are left: the keys evolve per block.
    if (decrypting && count >= 16) count &= ~15u;
    const uint32_t wanted = count < s.packLeft ? count : s.packLeft;
    const size_t got = std::fread(dest, 1, wanted, s.archive);
    if (got != wanted && std::ferror(s.archive)) return 0xFFFFFFFFu;
    const uint32_t n = static_cast<uint32_t>(got);
    s.packLeft -= n;
    if (s.encryption != 0 && s.encryption < 20) {
        KORVANA_LOG("Old Crypt() not supported!");
    } else if (decrypting) {
        uint32_t i = 0;
        for (; i + 16 <= n; i += 16) decryptBlock(s.crypt, dest + i);
        if (i < n) {
            // A torn last block is decrypted as a whole block in scratch space, never past dest.
            uint8_t block[16] = {};
            std::memcpy(block, dest + i, n - i);
            decryptBlock(s.crypt, block);
            std::memcpy(dest + i, block, n - i);
        }
    }
    return n;
}

int unstoreFile() {
    ArchiveState& s = archiveState;
    const bool decrypting = s.encryption >= 20;
    // Encrypted data is read in whole blocks, as far as the packed data reaches.
    const uint32_t toRead = decrypting ? std::min(s.outputCapacity, s.fileHead.PackSize) : s.fileHead.UnpSize;
    const uint32_t got = unpRead(s.output, toRead);
    if (got == 0xFFFFFFFFu) {
        KORVANA_LOG("Read error of stored file!");
        *s.outSize = 0;
        return 0;
    }
    *s.outSize = got < s.fileHead.UnpSize ? got : s.fileHead.UnpSize;
    return 1;
}

bool openForScan(ArchiveState& s, const char* path) {
    if (!openArchive(s, path)) {
        KORVANA_LOG("Error opening file.");
        return false;
    }
    if (!isArchive()) {
        KORVANA_LOG("Not a RAR file");
        closeArchive(s);
        return false;
    }
    if (!processWindow(s) || fseeko(s.archive, s.mainHead.HeadSize - MAIN_HEAD_SIZE, SEEK_CUR) != 0) {
        closeArchive(s);
        return false;
    }
    return true;
}

int extractFile() {
    ArchiveState& s = archiveState;
    s.found = false;
    if (!openForScan(s, s.archiveName)) return 0;
    int result = 0;
    const bool solidArchive = (s.mainHead.Flags & MHD_SOLID) != 0;
    while (readBlock(FILE_HEAD | 0x8000) > 0) {
        if (s.blockHead.HeadType == SUB_HEAD) {
            KORVANA_LOG("Sorry, sub-headers not supported.");
            break;
        }
        FileHeader& head = s.fileHead;
        s.found = !s.storedNameTooLong && compareArchiveName(s.fileName, s.storedName) == 0;
        const bool decrypting = s.password[0] != 0 && (head.Flags & LHD_PASSWORD) != 0;
        if (s.found) {
            uint32_t capacity = 0;
            if (!outputCapacity(s, head, decrypting && head.UnpVer >= 20, capacity)) break;
            if (decodesDirect(head)) capacity = head.UnpSize + UNP_DIRECT_SLACK;
            // Zero-filled: the CRC covers UnpSize bytes even if fewer arrive.
            s.output = static_cast<uint8_t*>(std::calloc(capacity, 1));
            if (!s.output) {
                KORVANA_LOG("can't allocate memory for the file decompression");
                break;
            }
            s.outputCapacity = capacity;
            *s.outSize = 0;
        }
        if (solidArchive || s.found) {
            if (head.UnpVer < 13 || head.UnpVer > 20) {
                KORVANA_LOG("unknown compression method");
                break;
            }
            s.encryption = decrypting ? head.UnpVer : 0;
            if (s.encryption) setCryptKeys(s.crypt, s.password);
            s.packLeft = head.PackSize;
            if (head.Method == 0x30) {
                // Stored data never enters the window, so only the wanted entry is read.
                if (s.found && !unstoreFile()) break;
            } else {
                uint32_t produced = 0;
                unpackEntry(s, produced);
                if (s.found) *s.outSize = produced;
            }
            if (s.output) {
                const uint32_t crc = calcCrc32(0xFFFFFFFFu, s.output, head.UnpSize);
                if (head.FileCRC != ~crc) {
                    KORVANA_LOG("CRC32 error - file couldn't be decompressed correctly!");
                    break;
                }
                if (*s.outSize != head.UnpSize) {
                    KORVANA_LOGF("Only %u of %u bytes could be extracted", *s.outSize, head.UnpSize);
                    break;
                }
            }
        }
        if (fseeko(s.archive, s.nextBlockPos, SEEK_SET) != 0) break;
        if (s.found) {
            result = 1;
            break;
        }
    }
    closeArchive(s);
    return result;
}

int archiveExtract(uint8_t** outBuffer, uint32_t* outSize, const char* fileName,
                   const char* archiveName, const char* password) {
    ArchiveState& s = archiveState;
    beginReaderCall();

    uint32_t localSize = 0;
    if (!outSize) outSize = &localSize;
    s.outSize = outSize;
    s.output = nullptr;
    s.outputCapacity = 0;
    *outSize = 0;
    if (outBuffer) *outBuffer = nullptr;

    const char* name = fileName ? fileName : "";
    const char* path = archiveName ? archiveName : "";
    const char* secret = password ? password : "";
    logExtracting(name, path, secret);

    int result = 0;
    if (!outBuffer) {
        KORVANA_LOG("No place given for the extracted file");
    } else if (std::strlen(name) >= WANTED_NAME_SIZE) {
        KORVANA_LOGF("File name too long (%zu characters, at most %u)", std::strlen(name),
                     WANTED_NAME_SIZE - 1);
    } else if (std::strlen(path) >= ARCHIVE_NAME_SIZE) {
        KORVANA_LOGF("Archive name too long (%zu characters, at most %u)", std::strlen(path),
                     ARCHIVE_NAME_SIZE - 1);
    } else if (std::strlen(secret) >= PASSWORD_SIZE) {
        KORVANA_LOGF("Password too long (at most %u characters)", PASSWORD_SIZE - 1);
    } else {
        std::memset(s.fileName, 0, sizeof s.fileName);
        std::memset(s.archiveName, 0, sizeof s.archiveName);
        std::memset(s.password, 0, sizeof s.password);
        std::memcpy(s.fileName, name, std::strlen(name));
        std::memcpy(s.archiveName, path, std::strlen(path));
        std::memcpy(s.password, secret, std::strlen(secret));
        result = extractFile();
    }

    wipeSecret(s.password, sizeof s.password);
    wipeSecret(&s.crypt, sizeof s.crypt);
    closeArchive(s);

    if (result) {
        // The buffer is exactly the entry's size, whatever padding the reading needed.
        const uint32_t size = s.fileHead.UnpSize;
        if (s.outputCapacity > size && size > 0) {
            if (void* smaller = std::realloc(s.output, size)) s.output = static_cast<uint8_t*>(smaller);
        }
        KORVANA_LOGF("Extracted %u Bytes.", *outSize);
    } else {
        std::free(s.output);
        s.output = nullptr;
        *outSize = 0;
        logExtractFailed(name, *outSize);
    }
    if (outBuffer) *outBuffer = s.output;
    s.output = nullptr;
    s.outputCapacity = 0;
    s.outSize = nullptr;
    s.encryption = 0;
    return result;
}

}  // namespace korvana
