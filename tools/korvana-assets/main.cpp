// korvana-assets: inspects meshes and images the way the show reads them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reports.h"

namespace {

const char* const USAGE =
    "usage: korvana-assets mesh [--archive ARCHIVE] FILE.3ds [NAME...]\n"
    "       korvana-assets image [--archive ARCHIVE] [--jpeg | --tga] FILE\n"
    "       korvana-assets --help | --version\n";

const char* const HELP =
    "Inspects the show's assets with the show's own readers.\n"
    "\n"
    "  mesh FILE.3ds            every named object: vertex, face and mapping counts, first vertex\n"
    "                           and bounds (as the show stores them: z and v negated), or why it\n"
    "                           gives no mesh\n"
    "  mesh FILE.3ds NAME...    the list entries load3ds would append for these names, in order;\n"
    "                           exit status 1 when any entry would be empty\n"
    "  image FILE               how the show would load the image: format, size, channels, and\n"
    "                           accepted or refused with the reason; exit status 1 when refused\n"
    "\n"
    "options:\n"
    "  --archive ARCHIVE        read FILE out of this RAR archive as the show does (FILE is then\n"
    "                           the name inside it, e.g. 3ds/tube.3ds or jpg/rave01.tga)\n"
    "  --jpeg, --tga            decode as JPEG or Targa; otherwise .jpg/.jpeg and .tga decide\n"
    "  --                       the arguments after it are not options\n"
    "\n"
    "Exit status: 0 fine, 1 the asset is unreadable or refused, 2 bad usage.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "korvana-assets: %s\n%s", message.c_str(), USAGE);
    return 2;
}

bool endsWithIgnoringCase(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char a = text[text.size() - n + i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != suffix[i]) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvana::tools;
    if (argc < 2) return usageError("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::printf("%s\n%s", USAGE, HELP);
        return 0;
    }
    if (command == "--version") {
        std::printf("korvana-assets %s\n", KORVANA_VERSION);
        return 0;
    }
    if (command != "mesh" && command != "image") return usageError("unknown command '" + command + "'");

    Source source;
    bool haveArchive = false;
    ImageFormat format = ImageFormat::Unknown;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::printf("%s\n%s", USAGE, HELP);
            return 0;
        } else if (arg == "--archive" || arg.rfind("--archive=", 0) == 0) {
            if (haveArchive) return usageError("--archive given twice");
            if (arg == "--archive") {
                if (i + 1 >= argc) return usageError("--archive needs an archive");
                source.archive = argv[++i];
            } else {
                source.archive = arg.substr(std::strlen("--archive="));
            }
            if (source.archive.empty()) return usageError("--archive needs an archive");
            haveArchive = true;
        } else if (command == "image" && (arg == "--jpeg" || arg == "--tga")) {
            const ImageFormat chosen = arg == "--jpeg" ? ImageFormat::Jpeg : ImageFormat::Targa;
            if (format != ImageFormat::Unknown && format != chosen)
                return usageError("give only one of --jpeg and --tga");
            format = chosen;
        } else {
            return usageError("unknown option '" + arg + "' for " + command);
        }
    }
    if (operands.empty()) return usageError(command + " needs a FILE");
    source.file = operands[0];

    if (command == "mesh")
        return reportMesh(source, std::vector<std::string>(operands.begin() + 1, operands.end()));

    if (operands.size() > 1) return usageError("image takes one FILE");
    const bool formatGiven = format != ImageFormat::Unknown;
    if (!formatGiven) {
        if (endsWithIgnoringCase(source.file, ".jpg") || endsWithIgnoringCase(source.file, ".jpeg"))
            format = ImageFormat::Jpeg;
        else if (endsWithIgnoringCase(source.file, ".tga"))
            format = ImageFormat::Targa;
        else
            return usageError("cannot tell the format of '" + source.file +
                              "' from its name; give --jpeg or --tga");
    }
    return reportImage(source, format, formatGiven);
}
