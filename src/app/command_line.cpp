// Option parsing. Arguments come from the user: every value is checked, nothing is trusted.
#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "app/show.h"
#if KORVANA_HAVE_CAPTURE
#include "capture/video_writer.h"
#endif

// The help names the defaults; the writer's constants are checked against these in its build.
#define DEFAULT_PRESET_TEXT "veryfast"
#define DEFAULT_CRF_TEXT "25"

namespace korvana {

#if KORVANA_HAVE_CAPTURE
static_assert(std::string_view(DEFAULT_PRESET_TEXT) == DEFAULT_VIDEO_PRESET, "the help's default preset");
static_assert(DEFAULT_CRF_TEXT[0] - '0' == DEFAULT_VIDEO_CRF / 10 && DEFAULT_CRF_TEXT[1] - '0' == DEFAULT_VIDEO_CRF % 10,
              "the help's default quality");
#endif

bool parseSeconds(const std::string& text, uint32_t& milliseconds) {
    if (text.empty() || text.size() > 32) return false;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '.') return false;
    errno = 0;
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(seconds)) return false;
    if (seconds < 0.0 || seconds > 86400.0) return false;
    milliseconds = static_cast<uint32_t>(std::llround(seconds * 1000.0));
    return true;
}

bool parseVideoSize(const std::string& text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size() || text.size() > 11) return false;
    int32_t sides[2] = {0, 0};
    const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
    for (int i = 0; i < 2; ++i) {
        if (parts[i].size() > 5) return false;
        for (char c : parts[i]) {
            if (c < '0' || c > '9') return false;
            sides[i] = sides[i] * 10 + (c - '0');
        }
        if (sides[i] < 2 || sides[i] > 8192 || sides[i] % 2 != 0) return false;
    }
    width = sides[0];
    height = sides[1];
    return true;
}

namespace {

// The checks between options, once all are read.
bool checkCombinations(const CommandLine& options, std::string& error) {
    const bool quality = !options.capturePreset.empty() || options.captureCrf >= 0 || options.captureLossless;
    const bool captureDetail = options.haveCaptureFrom || options.haveCaptureTo || options.haveCaptureFps ||
                               options.haveCaptureSize || quality;
    if (!options.haveCapture) {
        if (captureDetail) error = "--from, --to, --fps, --size, --crf, --preset and --lossless go with --capture";
        return !captureDetail;
    }
#if KORVANA_HAVE_CAPTURE
    VideoFormat format = VideoFormat::Mp4;
    videoFormatForPath(options.capturePath, format);
    if (options.captureLossless && format != VideoFormat::Matroska)
        error = "--lossless writes .mkv files, not '" + options.capturePath + "'";
    else if (options.captureLossless && options.captureCrf >= 0)
        error = "--lossless and --crf do not go together";
    else if (format == VideoFormat::WebM && quality)
        error = "--crf and --preset set H.264's quality, for .mp4 and .mkv; .webm holds VP9";
    if (!error.empty()) return false;
#endif
    if (options.haveScreenshot) error = "--capture and --screenshot do not go together";
    else if (options.seekMilliseconds != 0) error = "--capture starts where --from says, not --seek";
    else if (options.haveCaptureTo && options.captureFrom >= options.captureTo)
        error = "--from must be before --to";
    return error.empty();
}

}  // namespace

const std::vector<OptionSpec>& commandLineOptions() {
    static const std::vector<OptionSpec> options = {
        {"--windowed", {}, "play in a window (640 x 480 times the scale) instead of full screen",
         [](CommandLine& out, const std::vector<std::string>&, std::string&) {
             out.windowed = true;
             return true;
         }},
        {"--data", {"DIR"}, "read megadata.rar and ripped.mp3 from DIR",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             if (args[0].empty()) {
                 error = "--data needs a folder";
                 return false;
             }
             out.haveDataDir = true;
             out.dataDir = args[0];
             return true;
         }},
        {"--mute", {}, "no sound: opens no audio device and no music file",
         [](CommandLine& out, const std::vector<std::string>&, std::string&) {
             out.mute = true;
             return true;
         }},
        {"--seek", {"SECONDS"}, "start that far into the show, the music at the same place",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             if (!parseSeconds(args[0], out.seekMilliseconds)) {
                 error = "--seek needs a number of seconds from 0 to 86400, not '" + args[0] + "'";
                 return false;
             }
             return true;
         }},
        {"--screenshot", {"SECONDS", "FILE.png"},
         "write the picture at that time as PNG and exit (virtual clock, no sound)",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             if (!parseSeconds(args[0], out.screenshotMilliseconds)) {
                 error = "--screenshot needs a number of seconds from 0 to 86400, not '" + args[0] + "'";
                 return false;
             }
             if (args[1].empty()) {
                 error = "--screenshot needs a file to write";
                 return false;
             }
             out.haveScreenshot = true;
             out.screenshotPath = args[1];
             return true;
         }},
        {"--scale", {"N|auto"}, "draw the picture at N x 640 by N x 480 (N = 1 to 4), or the largest that fits",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             const std::string& word = args[0];
             if (word == "auto") {
                 out.scale = PICTURE_SCALE_AUTO;
                 return true;
             }
             if (word.size() == 1 && word[0] >= '1' && word[0] <= '0' + MAX_PICTURE_SCALE) {
                 out.scale = word[0] - '0';
                 return true;
             }
             error = "--scale needs a whole number from 1 to " + std::to_string(MAX_PICTURE_SCALE) +
                     " or 'auto', not '" + word + "'";
             return false;
         }},
        {"--capture", {"FILE"},
         "write the show as a video (.mp4, .mkv or .webm) with its music and exit; no display needed",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
#if KORVANA_HAVE_CAPTURE
             VideoFormat format;
             if (!videoFormatForPath(args[0], format)) {
                 error = "--capture writes .mp4, .mkv or .webm files, not '" + args[0] + "'";
                 return false;
             }
#else
             error = "--capture is not in this build (it has no video encoder)";
             return false;
#endif
             out.haveCapture = true;
             out.capturePath = args[0];
             return true;
         }},
        {"--from", {"SECONDS"}, "with --capture: start the video that far into the show (default 0)",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             if (!parseSeconds(args[0], out.captureFrom)) {
                 error = "--from needs a number of seconds from 0 to 86400, not '" + args[0] + "'";
                 return false;
             }
             out.haveCaptureFrom = true;
             return true;
         }},
        {"--to", {"SECONDS"}, "with --capture: end the video there (default: where the music ends)",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             if (!parseSeconds(args[0], out.captureTo)) {
                 error = "--to needs a number of seconds from 0 to 86400, not '" + args[0] + "'";
                 return false;
             }
             out.haveCaptureTo = true;
             return true;
         }},
        {"--fps", {"N"}, "with --capture: frames a second, 1 to 1000 (default 50, the show's own pace)",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             const std::string& text = args[0];
             int32_t fps = 0;
             bool ok = !text.empty() && text.size() <= 4;
             for (char c : text) {
                 ok = ok && c >= '0' && c <= '9';
                 if (ok) fps = fps * 10 + (c - '0');
             }
             if (!ok || fps < 1 || fps > 1000) {
                 error = "--fps needs a whole number from 1 to 1000, not '" + text + "'";
                 return false;
             }
             out.haveCaptureFps = true;
             out.captureFps = fps;
             return true;
         }},
        {"--size", {"WxH"}, "with --capture: the video's size, both even (default: the picture's size)",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             if (!parseVideoSize(args[0], out.captureWidth, out.captureHeight)) {
                 error = "--size needs WIDTHxHEIGHT, both even numbers from 2 to 8192, not '" + args[0] + "'";
                 return false;
             }
             out.haveCaptureSize = true;
             return true;
         }},
        {"--preset", {"NAME"}, "with --capture: x264's preset, ultrafast to placebo (default " DEFAULT_PRESET_TEXT ")",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
#if KORVANA_HAVE_CAPTURE
             if (!isVideoPreset(args[0])) {
                 error = "--preset needs one of x264's presets (";
                 for (const char* const* p = videoPresetNames(); *p != nullptr; ++p)
                     error += std::string(p == videoPresetNames() ? "" : ", ") + *p;
                 error += "), not '" + args[0] + "'";
                 return false;
             }
#endif
             out.capturePreset = args[0];
             return true;
         }},
        {"--crf", {"N"}, "with --capture: H.264's quality, 0 (best) to 51 (default " DEFAULT_CRF_TEXT ")",
         [](CommandLine& out, const std::vector<std::string>& args, std::string& error) {
             const std::string& text = args[0];
             int32_t crf = 0;
             bool ok = !text.empty() && text.size() <= 2;
             for (char c : text) {
                 ok = ok && c >= '0' && c <= '9';
                 if (ok) crf = crf * 10 + (c - '0');
             }
             if (!ok || crf > 51) {
                 error = "--crf needs a whole number from 0 to 51, not '" + text + "'";
                 return false;
             }
             out.captureCrf = crf;
             return true;
         }},
        {"--lossless", {}, "with --capture: a lossless video (.mkv) with lossless sound, for editing",
         [](CommandLine& out, const std::vector<std::string>&, std::string&) {
             out.captureLossless = true;
             return true;
         }},
        {"--help", {}, "print this help and exit",
         [](CommandLine& out, const std::vector<std::string>&, std::string&) {
             out.help = true;
             return true;
         }},
        {"--version", {}, "print the version and exit",
         [](CommandLine& out, const std::vector<std::string>&, std::string&) {
             out.version = true;
             return true;
         }},
    };
    return options;
}

bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error) {
    const auto& options = commandLineOptions();
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const OptionSpec* option = nullptr;
        for (const OptionSpec& candidate : options)
            if (word == candidate.name) option = &candidate;
        if (option == nullptr) {
            error = "unknown option '" + word + "'";
            return false;
        }
        const size_t count = option->argumentNames.size();
        if (static_cast<size_t>(argc - 1 - i) < count) {
            error = word + " needs " + std::to_string(count) + (count == 1 ? " argument" : " arguments");
            return false;
        }
        std::vector<std::string> arguments(argv + i + 1, argv + i + 1 + count);
        if (!option->take(out, arguments, error)) return false;
        i += static_cast<int>(count);
    }
    return checkCombinations(out, error);
}

std::string usageText(const char* programName) {
    std::string text = std::string("Usage: ") + programName + " [OPTION]...\n"
                       "Plays the Korvana demo: five scenes over the music until Escape.\n\nOptions:\n";
    for (const OptionSpec& option : commandLineOptions()) {
        std::string left = std::string("  ") + option.name;
        for (const char* argument : option.argumentNames) left += std::string(" ") + argument;
        if (left.size() < 26) left.resize(26, ' ');
        else left += "  ";
        text += left + option.help + "\n";
    }
    static const char* const keys[][2] = {
        {"Space, P", "pause and play on (the music stops and goes on with the picture)"},
        {"Left, Right", "back and forward 5 s (with Shift 30 s); the music jumps too"},
        {"Page Up, Page Down", "back and forward 30 s"},
        {"Home", "from the start"},
        {"M", "music off and on"},
        {"F, Alt+Enter", "full screen on and off"},
        {"Escape", "end the show"},
    };
    text += "\nKeys while the show plays:\n";
    for (const auto& key : keys) {
        std::string left = std::string("  ") + key[0];
        left.resize(26, ' ');
        text += left + key[1] + "\n";
    }
    return text;
}

}  // namespace korvana
