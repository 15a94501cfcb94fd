// The video writer: RGBA pictures in, one after the other, plus the soundtrack's file, and out
// comes one video file, through FFmpeg's libraries. It knows nothing of how the pictures are made.
// The file is written under a temporary name in the same folder and takes its own name only when
// it is complete, so nothing half-written ever stands under the name the user asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvana {

// The file name's extension (any case) chooses the container and codecs: .mp4 holds H.264 (libx264,
// yuv420p, constant quality) with AAC sound, .mkv the same H.264 with FLAC sound (no priming, so it
// starts with the first picture), .webm VP9 with Vorbis sound.
enum class VideoFormat { Mp4, Matroska, WebM };
bool videoFormatForPath(const std::string& path, VideoFormat& format);

struct VideoSettings {
    std::string path;
    VideoFormat format = VideoFormat::Mp4;
    // The pictures handed in: RGBA, top row first, rows packed.
    int32_t pictureWidth = 0;
    int32_t pictureHeight = 0;
    // The video's size (both even: yuv420p halves the colour planes); pictures are scaled to it
    // with a bicubic filter when it differs.
    int32_t width = 0;
    int32_t height = 0;
    int32_t fps = 50;
    // H.264's quality: x264's preset name and constant rate factor; empty and -1 take the defaults
    // below. `lossless` (Matroska only) keeps every picture exactly as converted, in full colour
    // resolution (yuv444p), for editing.
    std::string preset;
    int32_t crf = -1;
    bool lossless = false;
    // Sound file whose sound from `soundtrackFromMilliseconds` on goes beside the pictures,
    // sample-exact and as long as the pictures last; empty: no sound track at all.
    std::string soundtrack;
    uint32_t soundtrackFromMilliseconds = 0;
};

// The default H.264 setting, chosen by measuring the whole show at 640 x 480 against a lossless
// capture (README: "Capturing a video").
constexpr const char* DEFAULT_VIDEO_PRESET = "veryfast";
constexpr int32_t DEFAULT_VIDEO_CRF = 25;
// Lossless pictures are fast to make and large; "ultrafast" keeps the capture's pace.
constexpr const char* DEFAULT_LOSSLESS_PRESET = "ultrafast";
constexpr int32_t MAX_VIDEO_CRF = 51;

// x264's preset names, fastest first; true when `name` is one of them.
bool isVideoPreset(const std::string& name);
const char* const* videoPresetNames();  // null-terminated

class VideoWriter {
public:
    VideoWriter();
    // Removes the temporary file of a video that was not committed.
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Creates the temporary file and writes the container's header. False with the reason.
    bool open(const VideoSettings& settings, std::string& error);
    // One picture, shown for 1/fps s after the previous one; the sound is written along up to it.
    bool addPicture(const uint8_t* rgba, std::string& error);
    // Drains the encoders, ends the sound where the pictures end and closes the temporary file.
    bool finish(std::string& error);
    // Gives the finished file its own name (replacing a file of that name).
    bool commit(std::string& error);
    // Closes and removes whatever was written; the writer is then closed.
    void abandon();

    int64_t picturesWritten() const;
    // Processor time of the calling thread spent converting pictures to the video's colours and
    // size, in seconds.
    double conversionSeconds() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Length of a sound file in milliseconds, as decoded (whole milliseconds). False with the reason when
// the file cannot be read as sound.
bool soundLengthMilliseconds(const std::string& path, uint64_t& milliseconds, std::string& error);

}  // namespace korvana
