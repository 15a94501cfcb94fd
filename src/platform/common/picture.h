// The persistent picture of the window layer: a framebuffer object (RGBA8 colour, 24-bit depth)
// that all drawing goes into, presented by a blit into the window's own framebuffer. Both backends
// use it; each passes in its own way of looking up GL entry points. The rest of the program knows
// the picture through window.h.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gl.h"

namespace korvana::detail {

using ProcLookup = void* (*)(const char* name);

// Needs a current context; looks the framebuffer entry points up through `lookUp`. Cleared to
// black once. False when the context cannot give such a picture.
bool createPicture(ProcLookup lookUp, int32_t width, int32_t height);
// Deletes the picture (the context must still be current); safe when there is none.
void releasePicture();
bool havePicture();
int32_t currentPictureWidth();
int32_t currentPictureHeight();
void bindPictureFramebuffer();

// The state the scenes may have left that the blit must not see, kept across the swap.
struct PresentState {
    GLboolean scissor = GL_FALSE;
    GLboolean colourMask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    GLfloat clearColour[4] = {0, 0, 0, 0};
};
// Blits the picture into the window's framebuffer (bound afterwards), scaled to the largest
// rectangle of its aspect inside drawableWidth x drawableHeight, black around it. Swap next, then
// finishPresent.
PresentState blitPictureToWindow(int32_t drawableWidth, int32_t drawableHeight);
// Binds the picture again and restores what blitPictureToWindow changed.
void finishPresent(const PresentState& saved);

// The picture as RGBA bytes, top row first. False without a picture.
bool readPictureRgba(std::vector<uint8_t>& rgba);

}  // namespace korvana::detail
