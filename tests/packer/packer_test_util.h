// Helpers of the packer tests: sample data of several kinds, scratch folders, and extraction of
// what we wrote by the outside extractor (unar, run as a black box) and by our own reader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "packer/packer.h"

namespace korvana::test {

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed);
// English-like text made of words with a skewed frequency, in lines.
std::vector<uint8_t> textBytes(size_t n, uint32_t seed);
// Interleaved 16-bit or 8-bit audio-like samples (sum of tones and a little noise).
std::vector<uint8_t> audioBytes(size_t frames, unsigned channels, unsigned bytesPerSample, uint32_t seed);
// Structured binary: records with counters, small integers and repeated tags.
std::vector<uint8_t> binaryBytes(size_t n, uint32_t seed);

// A fresh empty folder under the build tree, removed when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs a program (looked up in PATH) in `dir` (the current folder when empty) with its output
// discarded; its exit code, or -1 when it did not run to an exit.
int runCommand(const std::vector<std::string>& args, const std::filesystem::path& dir = {});

// The korvana-rar program of this build (empty when it is not built).
std::filesystem::path toolPath();
// Runs korvana-rar in `dir` with the arguments; its exit code (-1 when it did not run).
int runTool(const std::filesystem::path& dir, const std::vector<std::string>& args);
void writeBytes(const std::filesystem::path& p, const std::vector<uint8_t>& d);

bool haveUnar();
// Extracts `archive` into `dir` with unar; false when unar reports a failure.
bool unarExtract(const std::filesystem::path& archive, const std::filesystem::path& dir,
                 const std::string& password = "");
std::vector<uint8_t> readFile(const std::filesystem::path& p);
// Path of an entry after extraction ("\" separated names become folders).
std::filesystem::path extractedPath(const std::filesystem::path& dir, const std::string& name);

// Extracts one entry with our reader.
bool readerExtract(const std::filesystem::path& archive, const std::string& name, const std::string& password,
                   std::vector<uint8_t>* data);

// Writes the archive, extracts every entry with archiveExtract and with unar, and checks them byte
// for byte (gtest failures).
void expectRoundTrip(const std::vector<PackInput>& files, const PackOptions& opt, const std::string& label);

}  // namespace korvana::test
