// The capture loop: the show's own loop on a frame-rate clock, each frame read back and written.
#include "app/video_capture.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/screenshot.h"
#include "capture/picture_pipeline.h"
#include "capture/video_writer.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/window.h"

namespace korvana {

namespace {

constexpr const char* kMusicFile = "ripped.mp3";
constexpr uint32_t kProgressEveryMs = 250;

// Frame k at tick SCREENSHOT_START_TICK + k * 1000 / fps, so at 50 frames a second the frames
// are those of --screenshot.
class FrameRateClock final : public Clock {
public:
    explicit FrameRateClock(int32_t fps) : fps_(static_cast<uint64_t>(fps)) {}
    uint32_t now() override { return SCREENSHOT_START_TICK + static_cast<uint32_t>(frame_ * 1000u / fps_); }
    void sleep(uint32_t) override {}
    void frameDone() override { ++frame_; }

private:
    uint64_t frame_ = 0;
    uint64_t fps_;
};

// Picture buffers between the drawing and the writer (the one being encoded, the rest waiting):
// enough to even out frames that draw or encode slower than others, few enough to keep memory
// and the work left at a stop small.
constexpr size_t kQueuedPictures = 4;
// The writer's thread, as the system's tools show it.
constexpr const char* kWriterThreadName = "korvana-encode";

// Processor time of the capture's stages, in seconds, from the first frame on (not the start-up
// before it). Drawing is the time of the threads that draw, this one and the GL's own; encoding
// is the rest of the process's time, whichever threads the encoders make.
struct ProcessorTimes {
    long drawingThread = 0;  // this thread's id
    double start = 0;        // drawing threads at the first frame
    double processStart = 0; // the whole process at the first frame
    double drawingEnd = 0;   // drawing threads once the last frame is drawn and read
    double readBack = 0;     // this thread, in the read-back calls
    double conversion = 0;   // the writer's thread, in the colour conversion
    double encoding = 0;     // the rest, conversion included
};

double threadProcessorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Processor time of this process's threads whose name passes `take`, from /proc (Linux).
template <typename Take>
double threadsProcessorSeconds(Take take) {
    const double ticks = double(sysconf(_SC_CLK_TCK));
    double seconds = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::FILE* file = std::fopen((entry.path() / "stat").c_str(), "r");
        if (file == nullptr) continue;
        char line[1024] = {};
        const size_t length = std::fread(line, 1, sizeof line - 1, file);
        std::fclose(file);
        // "tid (name) state ..." with utime and stime the 14th and 15th fields.
        const std::string text(line, length);
        const size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        unsigned long user = 0, system = 0;
        if (std::sscanf(text.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                        &system) != 2)
            continue;
        if (take(text.substr(open + 1, close - open - 1), std::stol(entry.path().filename().string())))
            seconds += double(user + system) / ticks;
    }
    return seconds;
}

// The drawing thread and the GL's (Mesa's software renderer names its threads "llvmpipe-N").
double drawingProcessorSeconds(long drawingThread) {
    return threadsProcessorSeconds(
        [&](const std::string& name, long id) { return id == drawingThread || name.rfind("llvmpipe", 0) == 0; });
}

double processProcessorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::string minutesAndSeconds(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

double elapsedSeconds(uint32_t sinceTick) { return (tickCount() - sinceTick) / 1000.0; }

// The end of the video: --to, else the soundtrack's end. Without --mute the soundtrack must be
// readable either way. 0 and a message when it is not, or when no end is known.
uint32_t captureEnd(const VideoCaptureRequest& request, std::string& error, bool& usageError) {
    uint64_t length = 0;
    std::string reason;
    const bool haveSound = soundLengthMilliseconds(kMusicFile, length, reason);
    if (!haveSound && !request.mute) {
        error = reason;
        return 0;
    }
    if (request.haveTo) return request.toMilliseconds;
    if (!haveSound) {
        usageError = true;
        error = "--capture needs --to when there is no soundtrack to end with (" + reason + ")";
        return 0;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(length, 86400000u));
}

}  // namespace

int runVideoCapture(const ShowOptions& show, const VideoCaptureRequest& request, const SceneTable& scenes) {
    const uint32_t startTick = tickCount();
    const std::filesystem::path target(request.path);
    const std::string name = target.filename().string();
    VideoSettings settings;
    if (!videoFormatForPath(request.path, settings.format)) {
        std::fprintf(stderr, "korvana: --capture writes .mp4, .mkv or .webm files, not '%s'\n", request.path.c_str());
        return 2;
    }
    const std::string folder = target.parent_path().string();
    if (access(folder.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "korvana: cannot write into %s: %s\n", folder.c_str(), std::strerror(errno));
        return 2;
    }

    std::string error;
    bool usageError = false;
    const uint32_t end = captureEnd(request, error, usageError);
    if (!error.empty()) {
        std::fprintf(stderr, "korvana: %s\n", error.c_str());
        return usageError ? 2 : 1;
    }
    if (request.fromMilliseconds >= end) {
        std::fprintf(stderr, "korvana: --from %.3f is not before the end of the video at %.3f s\n",
                     request.fromMilliseconds / 1000.0, end / 1000.0);
        return 2;
    }
    // Enough frames to cover from..end: the last one starts before the end.
    const int64_t total = (int64_t(end - request.fromMilliseconds) * request.fps + 999) / 1000;
    const double videoSeconds = double(total) / request.fps;

    settings.path = request.path;
    settings.fps = request.fps;
    settings.preset = request.preset;
    settings.crf = request.crf;
    settings.lossless = request.lossless;
    if (!request.mute) settings.soundtrack = std::filesystem::absolute(kMusicFile).string();
    settings.soundtrackFromMilliseconds = request.fromMilliseconds;

    ShowOptions options = show;
    options.mute = true;  // the sound goes into the file, not to a device
    options.fullScreen = false;
    options.playerKeys = false;
    options.seekMilliseconds = request.fromMilliseconds;

    const bool terminal = isatty(STDERR_FILENO) != 0;
    // The writer lives on the pipeline's thread: opened, fed, finished and committed there.
    VideoWriter writer;
    std::unique_ptr<PicturePipeline> pipeline;
    ProcessorTimes times;
    bool failed = false;
    int64_t drawn = 0;     // frames drawn and their read-back begun
    int64_t submitted = 0;  // frames read back and queued for the writer
    uint32_t firstFrameTick = 0, lastProgressTick = 0;
    // Finishes the read of frame `submitted` into a free buffer and queues it.
    auto submitOldest = [&]() {
        uint8_t* buffer = pipeline->acquire();
        if (buffer == nullptr) return false;
        const double before = threadProcessorSeconds();
        const bool read = endPictureRead(int(submitted % PICTURE_READ_SLOTS), buffer);
        times.readBack += threadProcessorSeconds() - before;
        if (!read) {
            error = "cannot read the picture back";
            return false;
        }
        pipeline->submit();
        ++submitted;
        return true;
    };
    options.afterFrame = [&](const FramePlan&) {
        if (failed) return;
        if (drawn == 0) {
            // The picture's size is known once the window is open.
            settings.pictureWidth = pictureWidth();
            settings.pictureHeight = pictureHeight();
            settings.width = request.width > 0 ? request.width : settings.pictureWidth;
            settings.height = request.height > 0 ? request.height : settings.pictureHeight;
            firstFrameTick = lastProgressTick = tickCount();
            times.drawingThread = long(syscall(SYS_gettid));
            times.processStart = processProcessorSeconds();
            times.start = drawingProcessorSeconds(times.drawingThread);
            pipeline = std::make_unique<PicturePipeline>(
                size_t(settings.pictureWidth) * size_t(settings.pictureHeight) * 4u, kQueuedPictures,
                [&writer](const uint8_t* rgba, std::string& reason) { return writer.addPicture(rgba, reason); },
                kWriterThreadName);
            failed = !pipeline->run([&](std::string& reason) { return writer.open(settings, reason); }, error);
        }
        if (!failed) {
            const double before = threadProcessorSeconds();
            failed = !beginPictureRead(int(drawn % PICTURE_READ_SLOTS));
            times.readBack += threadProcessorSeconds() - before;
            if (failed) error = "cannot read the picture back";
            else ++drawn;
        }
        // Each read is finished once the next frames have been drawn, all of them after the last.
        while (!failed && (drawn - submitted >= PICTURE_READ_SLOTS || (drawn == total && submitted < total)))
            if (!submitOldest()) {
                failed = true;
                if (error.empty()) error = pipeline->failure();
            }
        if (failed || drawn >= total) {
            if (drawn >= total) times.drawingEnd = drawingProcessorSeconds(times.drawingThread);
            injectEscape();
            return;
        }
        if (terminal && tickCount() - lastProgressTick >= kProgressEveryMs) {
            lastProgressTick = tickCount();
            const int64_t written = pipeline->picturesDone();
            const double wall = elapsedSeconds(firstFrameTick);
            const double speed = wall > 0 ? (double(written) / request.fps) / wall : 0.0;
            const double left = speed > 0 ? (double(total - written) / request.fps) / speed : 0.0;
            std::fprintf(stderr, "\rkorvana: %s: frame %lld of %lld (%lld%%), %.1fx real time, %s left   ", name.c_str(),
                         static_cast<long long>(written), static_cast<long long>(total),
                         static_cast<long long>(written * 100 / total), speed, minutesAndSeconds(left).c_str());
        }
    };

    FrameRateClock clock(request.fps);
    resetInput();
    setWindowHidden(true);  // the frames go to the file; a window would only flash them by
    const int showResult = runShow(options, clock, scenes);
    setWindowHidden(false);
    const bool interrupted = quitRequested();
    resetInput();
    if (terminal && drawn > 0) std::fputc('\n', stderr);
    if (showResult != 0) return showResult;  // the show has said why; the writer's file goes with it

    if (!failed && !interrupted && submitted == total) {
        failed = !pipeline->run(
            [&](std::string& reason) {
                if (!writer.finish(reason)) return false;
                // The drawing threads have been idle since the last frame.
                times.encoding = processProcessorSeconds() - times.processStart - (times.drawingEnd - times.start);
                times.conversion = writer.conversionSeconds();
                return true;
            },
            error);
    }
    if (!failed && (interrupted || quitRequested())) {
        pipeline.reset();
        writer.abandon();
        std::fprintf(stderr, "korvana: capture interrupted; %s not written\n", request.path.c_str());
        return 1;
    }
    if (!failed && submitted != total) {
        failed = true;
        error = "the show ended before the video's end";
    }
    if (!failed) failed = !pipeline->run([&](std::string& reason) { return writer.commit(reason); }, error);
    pipeline.reset();
    if (failed) {
        writer.abandon();
        std::fprintf(stderr, "korvana: %s; %s not written\n", error.c_str(), request.path.c_str());
        return 1;
    }
    std::error_code ec;
    const double megabytes = double(std::filesystem::file_size(target, ec)) / 1e6;
    const double wall = elapsedSeconds(startTick);
    std::fprintf(stderr, "korvana: wrote %s: %lld frames, %.2f s at %d fps, %.2fx real time, %.1f MB\n",
                 request.path.c_str(), static_cast<long long>(total), videoSeconds, request.fps,
                 wall > 0 ? videoSeconds / wall : 0.0, ec ? 0.0 : megabytes);
    const double perFrame = 1000.0 / double(total);
    std::fprintf(stderr,
                 "korvana: processor time per frame: drawing %.1f ms, reading back %.1f ms, converting %.1f ms, "
                 "encoding %.1f ms\n",
                 (times.drawingEnd - times.start - times.readBack) * perFrame, times.readBack * perFrame,
                 times.conversion * perFrame, (times.encoding - times.conversion) * perFrame);
    return 0;
}

}  // namespace korvana
