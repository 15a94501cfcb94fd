// Entry point of the show: options, the data folder, the debug log's place, then the show itself
// on the real clock.
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/app_info.h"
#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/screenshot.h"
#include "app/show.h"
#if KORVANA_HAVE_CAPTURE
#include "app/video_capture.h"
#endif
#include "archive/debug_log.h"
#include "assets/asset_archive.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
    using namespace korvana;
    useStarterConsole();
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "korvana";

    CommandLine options;
    std::string error;
    if (!parseCommandLine(argc, argv, options, error)) {
        std::fprintf(stderr, "korvana: %s\nTry '%s --help' for the options.\n", error.c_str(), program);
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(program).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("korvana %s\n", korvanaVersion());
        return 0;
    }
    // Named from where the user stands, before the data folder may become the working directory.
    const std::string screenshotPath =
        options.haveScreenshot ? std::filesystem::absolute(options.screenshotPath).string() : std::string();
    const std::string capturePath =
        options.haveCapture ? std::filesystem::absolute(options.capturePath).string() : std::string();
    if (!enterDataFolder(options.haveDataDir ? options.dataDir : std::string(), defaultDataFolders(), error)) {
        std::fprintf(stderr, "korvana: %s\n", error.c_str());
        return 2;
    }

    // The archive reader logs only where the application tells it to.
    static const std::string logPath = debugLogPathForPlatform();
    setDebugLogPath(logPath.empty() ? nullptr : logPath.c_str());
    // The picture keeps quiet about a mesh or image it lacks; the person is told once why (on the
    // web, stderr is the console and a line on the page).
    setAssetProblemReporter([](const char* text) {
        std::fprintf(stderr, "%s\n", text);
        std::fflush(stderr);
    });

    ShowOptions show;
    show.fullScreen = !options.windowed;
    show.mute = options.mute;
    show.seekMilliseconds = options.seekMilliseconds;
    show.scale = options.scale;
    if (options.haveScreenshot)
        return runScreenshot(show, options.screenshotMilliseconds, screenshotPath, showSceneTable());
#if KORVANA_HAVE_CAPTURE
    if (options.haveCapture) {
        VideoCaptureRequest capture;
        capture.path = capturePath;
        capture.fromMilliseconds = options.captureFrom;
        capture.haveTo = options.haveCaptureTo;
        capture.toMilliseconds = options.captureTo;
        capture.fps = options.captureFps;
        capture.width = options.captureWidth;
        capture.height = options.captureHeight;
        capture.mute = options.mute;
        capture.preset = options.capturePreset;
        capture.crf = options.captureCrf;
        capture.lossless = options.captureLossless;
        return runVideoCapture(show, capture, showSceneTable());
    }
#endif
    RealClock clock;
    return runShow(show, clock, showSceneTable());
}
