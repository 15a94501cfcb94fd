// The program's options. Without any, the show runs exactly as it always has: full screen, the
// data in the working directory (or the default content), with music, from the start.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvana {

struct CommandLine {
    bool windowed = false;
    bool mute = false;
    bool help = false;
    bool version = false;
    bool haveDataDir = false;
    std::string dataDir;
    uint32_t seekMilliseconds = 0;
    // --scale: 1 to MAX_PICTURE_SCALE, or PICTURE_SCALE_AUTO.
    int32_t scale = 1;
    // --screenshot: the picture at this time of a run on the virtual clock, written to the file.
    bool haveScreenshot = false;
    uint32_t screenshotMilliseconds = 0;
    std::string screenshotPath;
    // --capture: the show from `captureFrom` to `captureTo` (default: the soundtrack's end) as a
    // video of `captureFps` frames a second, `captureWidth` x `captureHeight` (0: the picture's).
    bool haveCapture = false;
    std::string capturePath;
    bool haveCaptureFrom = false;
    uint32_t captureFrom = 0;
    bool haveCaptureTo = false;
    uint32_t captureTo = 0;
    bool haveCaptureFps = false;
    int32_t captureFps = 50;
    bool haveCaptureSize = false;
    int32_t captureWidth = 0;
    int32_t captureHeight = 0;
    // --preset, --crf, --lossless: H.264's quality (empty and -1: the defaults).
    std::string capturePreset;
    int32_t captureCrf = -1;
    bool captureLossless = false;
};

// One option: its name, the names of its arguments (for the help text), what it does, and how it
// takes its arguments into the CommandLine (false with a reason for a bad argument). New options
// are new rows of commandLineOptions().
struct OptionSpec {
    const char* name;
    std::vector<const char*> argumentNames;
    const char* help;
    std::function<bool(CommandLine& out, const std::vector<std::string>& arguments, std::string& error)> take;
};

const std::vector<OptionSpec>& commandLineOptions();

// False with a message in `error` for an unknown option, a missing argument, a bad value or
// options that do not go together.
bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error);

// Seconds as the options accept them: a non-negative decimal number of at most 86400 s,
// rounded to whole milliseconds.
bool parseSeconds(const std::string& text, uint32_t& milliseconds);

// A video size "WxH": both even (the video's colour planes have half the size), 2 to 8192.
bool parseVideoSize(const std::string& text, int32_t& width, int32_t& height);

std::string usageText(const char* programName);

}  // namespace korvana
