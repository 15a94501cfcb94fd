// Capture speed: 20 s of the show rendered into a video by the program itself (`korvana
// --capture`), as a multiple of real time, at each output size below; beside it the same frames
// drawn without a video (`--screenshot` at the same end, which draws every frame and reads back
// only the last), so the video's own cost per frame shows. Wall and CPU time both: the renderer is
// Mesa's llvmpipe on however many cores there are, and the machine may be shared.
#include <cstring>

#include "bench_util.h"

using namespace korvana::bench;

namespace {

constexpr double kShowSeconds = 20.0;
constexpr int kFrames = 1000;  // 20 s at the capture's default 50 frames a second

struct Output {
    const char* label;
    const char* options;  // added to the program's command line
};

// One row per output; a new size or picture scale is one more line.
constexpr Output kOutputs[] = {
    {"640 x 480", ""},
    {"1280 x 960", "--size 1280x960"},
    {"1280 x 960, --scale 2", "--scale 2"},
};

}  // namespace

int main(int argc, char** argv) {
    int runs = 1;
    if (argc > 1) {
        runs = std::atoi(argv[1]);
        if (runs < 1 || runs > 20) {
            std::fprintf(stderr, "usage: bench_capture [runs per figure, 1..20; best is shown]\n");
            return 2;
        }
    }
    const fs::path program = fs::path(KORVANA_BINARY_DIR) / "src/app/korvana";
    const fs::path content = fs::path(KORVANA_BINARY_DIR) / "content";
    if (!fs::exists(program) || !fs::exists(content / "ripped.mp3")) {
        std::fprintf(stderr, "bench_capture: build korvana and the default content first\n");
        return 1;
    }
    Scratch scratch;
    const std::string start = "cd " + quote(scratch.path()) + " && SDL_VIDEODRIVER=offscreen " + quote(program) +
                              " --data " + quote(content) + " ";
    std::printf("capture of %.0f s of the show (%d frames) on %ld cores, best of %d\n", kShowSeconds, kFrames,
                sysconf(_SC_NPROCESSORS_ONLN), runs);

    const Timing drawn = timeShell(start + "--screenshot 20 frame.png", runs);
    if (drawn.wall < 0) {
        std::fprintf(stderr, "bench_capture: the program failed\n");
        return 1;
    }
    std::printf("  %-26s %6.2fx real time  %6.1f s wall  %6.1f s CPU  %5.1f ms CPU/frame\n", "frames drawn, no video",
                kShowSeconds / drawn.wall, drawn.wall, drawn.cpu, drawn.cpu * 1000 / kFrames);

    for (const Output& output : kOutputs) {
        const fs::path video = scratch.path() / "show.mp4";
        const Timing t = timeShell(start + "--capture show.mp4 --to 20 " + output.options + " 2>/dev/null", runs);
        if (t.wall < 0) {
            std::printf("  %-26s failed\n", output.label);
            continue;
        }
        std::error_code ec;
        const double mb = double(fs::file_size(video, ec)) / 1e6;
        std::printf("  %-26s %6.2fx real time  %6.1f s wall  %6.1f s CPU  %5.1f ms CPU/frame (video: %+.1f)  %6.1f MB\n",
                    (std::string("video ") + output.label).c_str(), kShowSeconds / t.wall, t.wall, t.cpu,
                    t.cpu * 1000 / kFrames, (t.cpu - drawn.cpu) * 1000 / kFrames, mb);
    }
    return 0;
}
