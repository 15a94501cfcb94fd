// The reader's one static record and its internal operations: header parsing, the block scan,
// packed-data input with decryption. Only the reader's own files and its tests include this.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/crypt.h"
#include "archive/unpack.h"

namespace korvana {

constexpr uint32_t WANTED_NAME_SIZE = 260;   // at most 259 characters
constexpr uint32_t ARCHIVE_NAME_SIZE = 256;  // at most 255 characters
constexpr uint32_t PASSWORD_SIZE = 255;      // at most 254 characters
constexpr uint32_t STORED_NAME_SIZE = 260;   // at most 259 bytes

constexpr uint8_t MARK_HEAD = 0x72;
constexpr uint8_t MAIN_HEAD = 0x73;
constexpr uint8_t FILE_HEAD = 0x74;
constexpr uint8_t COMM_HEAD = 0x75;
constexpr uint8_t SUB_HEAD = 0x77;
constexpr uint8_t PROTECT_HEAD = 0x78;

constexpr uint16_t LONG_BLOCK = 0x8000;   // a data area follows the header
constexpr uint16_t MHD_VOLUME = 0x0001;
constexpr uint16_t MHD_SOLID = 0x0008;
constexpr uint16_t LHD_SPLIT_BEFORE = 0x0001;
constexpr uint16_t LHD_SPLIT_AFTER = 0x0002;
constexpr uint16_t EARC_NEXT_VOLUME = 0x0001;
constexpr uint8_t END_HEAD = 0x7B;
constexpr uint16_t LHD_PASSWORD = 0x0004;
constexpr uint16_t LHD_SOLID = 0x0010;

constexpr uint32_t MAIN_HEAD_SIZE = 13;
constexpr uint32_t FILE_HEAD_SIZE = 32;

struct MarkHeader {
    uint8_t Mark[7];
};

struct MainHeader {
    uint16_t HeadCRC;
    uint8_t HeadType;
    uint16_t Flags;
    uint16_t HeadSize;
    uint16_t Reserved;
    uint32_t Reserved1;
};

struct FileHeader {
    uint16_t HeadCRC;
    uint8_t HeadType;
    uint16_t Flags;
    uint16_t HeadSize;
    uint32_t PackSize;
    uint32_t UnpSize;
    uint8_t HostOS;
    uint32_t FileCRC;
    uint32_t FileTime;
    uint8_t UnpVer;
    uint8_t Method;
    uint16_t NameSize;
    uint32_t FileAttr;
};

struct BlockHeader {
    uint16_t HeadCRC;
    uint8_t HeadType;
    uint16_t Flags;
    uint16_t HeadSize;
    uint32_t DataSize;
};

struct ArchiveState {
    // Call arguments.
    char fileName[WANTED_NAME_SIZE];
    char archiveName[ARCHIVE_NAME_SIZE];
    char password[PASSWORD_SIZE];
    uint32_t* outSize;

    // Archive access.
    FILE* archive;
    int64_t archiveSize;  // bytes in the open file: no block may claim more
    MarkHeader markHead;
    MainHeader mainHead;
    FileHeader fileHead;
    uint32_t headCrc;     // running CRC of the last header read
    BlockHeader blockHead;
    char storedName[STORED_NAME_SIZE];
    bool storedNameTooLong;  // the current file block's name does not fit storedName
    bool headerCrcOk;        // the current file block's header CRC matched
    int64_t curBlockPos;
    int64_t nextBlockPos;
    uint8_t lastBlock;

    // Output.
    uint8_t* output;
    uint32_t outputCapacity;  // bytes allocated for output (UnpSize, or more for padded blocks)

    // Unpacking.
    uint8_t* window;  // one for the whole process, made on first use (see processWindow)
    bool found;
    uint32_t encryption;  // 0 not encrypted, else the entry's UnpVer
    uint32_t packLeft;

    UnpackState unpack;
    CryptState crypt;
    bool firstCallDone;  // the debug log is set up on the first call of the process only

    // The whole of one block header beyond its fixed part (name and extensions); HeadSize is 16 bits.
    uint8_t headerRest[65536];
};

// The one state of the reader.
extern ArchiveState archiveState;

// Opens `path` as s.archive and measures it (s.archiveSize); false, with nothing left open, when
// it cannot be opened or measured.
bool openArchive(ArchiveState& s, const char* path);
void closeArchive(ArchiveState& s);

// Header parsing and scanning on archiveState.archive.
int isArchive();
int readHeader(uint8_t type);
int readBlock(uint32_t blockType);

// Packed input of the current entry, decrypted when it is encrypted. Never writes beyond
// dest[count - 1]; returns the count read or 0xFFFFFFFF on a read error.
uint32_t unpRead(uint8_t* dest, uint32_t count);

// Opens the archive, checks its marker and main header, makes the window ready and stands at the
// first block; logs and closes on failure.
bool openForScan(ArchiveState& s, const char* path);

// Where a walk or listing stands in a volume set (for the tools; the show's reader reads single
// archives only).
struct VolumeCursor {
    std::string name;     // the volume open now
    bool inSet = false;   // the first volume has the volume flag
    std::string problem;  // why the set could not be followed to its end, naming the volume
    std::vector<std::string> opened;  // every volume opened, the first included
};

// Opens the volume after v.name as s.archive (closing the one open), checks its marker and main
// header and stands at its first block. False, with v.problem set and logged, when it is missing
// or not a volume.
bool enterNextVolume(ArchiveState& s, VolumeCursor& v);

// At the end of the current entry's part (s.packLeft 0, its header marked continued): checks the
// part's CRC, enters the next volume and reads the continuation's header, so that s.packLeft
// counts its data. False, with v.problem set and logged, when the part is damaged or the next
// volume is missing, out of order or from another set.
bool continueEntry(ArchiveState& s, VolumeCursor& v);

int extractFile();
int unstoreFile();

// The block just read (readBlock) as a listing row.
struct ArchiveEntryInfo;
ArchiveEntryInfo blockInfo(const ArchiveState& s);

// What every call of the reader does first: the debug log on the first call of the process, then
// the CRC table.
void beginReaderCall();

// The window, allocated and zeroed on first use and kept for the process (s.window); null, after
// logging why, when it cannot be had.
uint8_t* processWindow(ArchiveState& s);

// The progress line of one extraction. A given password is never written, only a mask.
void logExtracting(const char* fileName, const char* archiveName, const char* password);
// The closing line of a failed extraction.
void logExtractFailed(const char* fileName, uint32_t size);

// How many bytes the output of the current entry (`head`, the block at s.curBlockPos) needs: at
// least 1, so that even an empty entry has a real block. An encrypted stored entry is read in
// whole cipher blocks, decrypted in place, and UnpSize bytes of it are kept. False, after logging
// why, for sizes the entry's packed data cannot justify, and for packed data that would run past
// the end of the file: no header makes us allocate more than the archive can hold.
bool outputCapacity(const ArchiveState& s, const FileHeader& head, bool decrypting, uint32_t& capacity);

}  // namespace korvana
