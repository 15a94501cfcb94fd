// The capture loop: the show's own loop on a frame-rate clock, each frame read back and written.
#include "app/video_capture.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/screenshot.h"
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
    if (!request.mute) settings.soundtrack = std::filesystem::absolute(kMusicFile).string();
    settings.soundtrackFromMilliseconds = request.fromMilliseconds;

    ShowOptions options = show;
    options.mute = true;  // the sound goes into the file, not to a device
    options.fullScreen = false;
    options.seekMilliseconds = request.fromMilliseconds;

    const bool terminal = isatty(STDERR_FILENO) != 0;
    VideoWriter writer;
    std::vector<uint8_t> picture;
    bool failed = false;
    uint32_t firstFrameTick = 0, lastProgressTick = 0;
    options.afterFrame = [&](const FramePlan&) {
        if (failed) return;
        if (writer.picturesWritten() == 0) {
            // The picture's size is known once the window is open.
            settings.pictureWidth = pictureWidth();
            settings.pictureHeight = pictureHeight();
            settings.width = request.width > 0 ? request.width : settings.pictureWidth;
            settings.height = request.height > 0 ? request.height : settings.pictureHeight;
            firstFrameTick = lastProgressTick = tickCount();
            failed = !writer.open(settings, error);
        }
        if (!failed && !readPicture(picture)) {
            failed = true;
            error = "cannot read the picture back";
        }
        failed = failed || !writer.addPicture(picture.data(), error);
        const int64_t written = writer.picturesWritten();
        if (failed || written >= total) {
            injectEscape();
            return;
        }
        if (terminal && tickCount() - lastProgressTick >= kProgressEveryMs) {
            lastProgressTick = tickCount();
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
    const int showResult = runShow(options, clock, scenes);
    const bool interrupted = quitRequested();
    resetInput();
    if (terminal && writer.picturesWritten() > 0) std::fputc('\n', stderr);
    if (showResult != 0) return showResult;  // the show has said why

    if (!failed && !interrupted && writer.picturesWritten() == total) failed = !writer.finish(error);
    if (!failed && (interrupted || quitRequested())) {
        writer.abandon();
        std::fprintf(stderr, "korvana: capture interrupted; %s not written\n", request.path.c_str());
        return 1;
    }
    if (!failed && writer.picturesWritten() != total) {
        failed = true;
        error = "the show ended before the video's end";
    }
    if (failed || !writer.commit(error)) {
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
    return 0;
}

}  // namespace korvana
