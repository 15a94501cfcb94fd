// `--capture`: the show on the virtual clock, every frame drawn and handed to the video writer
// with the soundtrack from the same start time. Needs neither a display nor an audio device.
#pragma once

#include <cstdint>
#include <string>

#include "app/show.h"

namespace korvana {

struct VideoCaptureRequest {
    std::string path;  // absolute: the show runs in the data folder
    uint32_t fromMilliseconds = 0;
    bool haveTo = false;
    uint32_t toMilliseconds = 0;
    int32_t fps = 50;
    int32_t width = 0;  // 0 x 0: the picture's own size
    int32_t height = 0;
    bool mute = false;
    std::string preset;  // H.264's: empty and -1 for the writer's defaults
    int32_t crf = -1;
    bool lossless = false;
};

// Frame k shows the show at from + k * 1000 / fps ms (whole milliseconds), for every k up to the
// end (the soundtrack's end unless `haveTo`). The exit code: 0 with the video in place; 1 when
// the show could not start, the writing failed, or SIGINT/SIGTERM came (nothing is left behind);
// 2 for a request that cannot work, before any work. Reasons go to stderr, and so does a progress
// line when stderr is a terminal, and a closing line.
int runVideoCapture(const ShowOptions& show, const VideoCaptureRequest& request, const SceneTable& scenes);

}  // namespace korvana
