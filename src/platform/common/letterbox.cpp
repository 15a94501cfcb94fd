// Where the picture goes inside a window of any size; the same on every backend.
#include "platform/window.h"

namespace korvana {

PresentRect letterboxRect(int32_t drawableWidth, int32_t drawableHeight, int32_t pictureW, int32_t pictureH) {
    PresentRect r;
    if (drawableWidth <= 0 || drawableHeight <= 0 || pictureW <= 0 || pictureH <= 0) return r;
    const int64_t dw = drawableWidth, dh = drawableHeight;
    if (dw * pictureH >= dh * pictureW) {  // wider than the picture: bars left and right
        r.height = drawableHeight;
        r.width = static_cast<int32_t>(dh * pictureW / pictureH);
    } else {
        r.width = drawableWidth;
        r.height = static_cast<int32_t>(dw * pictureH / pictureW);
    }
    r.x = (drawableWidth - r.width) / 2;
    r.y = (drawableHeight - r.height) / 2;
    return r;
}

}  // namespace korvana
