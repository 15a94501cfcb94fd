// Option parsing. Arguments come from the user: every value is checked, nothing is trusted.
#include "app/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/show.h"

namespace korvana {

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
    return true;
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
    return text;
}

}  // namespace korvana
