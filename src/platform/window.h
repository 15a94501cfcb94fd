// The show's window, its OpenGL context and the picture everything is drawn into.
//
// The context is a legacy (compatibility) one, double-buffered, RGBA with 8-bit alpha and a
// 24-bit depth buffer, swap interval 0 (the show's own 20 ms sleep paces it). All drawing goes
// into one persistent offscreen picture (a framebuffer object of width x height, RGBA8 colour and
// 24-bit depth) that stays bound for the whole frame. presentFrame scales it into the window with
// black bars and swaps; the picture itself is never cleared by this layer, because the light
// trails add each frame onto what the colour buffer already holds, which a window's back buffer
// does not promise to keep across a swap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana {

// Opens the window and makes its context current, with a width x height picture. Full screen is
// the desktop's full-screen mode on Linux (no display-mode change, so `refresh` and `bitsPerPixel`
// only describe what the show wants) in a window as large as the screen, and a display-mode change
// on Windows (refused -> false without a message); windowed is a width x height window.
// Failures: the video system cannot start -> message
// "Kunne ikke registrere vinduesklassen" (caption "Fejl"), false; the window cannot be made ->
// false without a message; no usable GL context or picture -> message
// "Kunne ikke oprette en OpenGL Context." (caption "Fejl"), window destroyed, false.
bool createGLWindow(int32_t width, int32_t height, int32_t refresh, int32_t bitsPerPixel, bool fullScreen);

// For a run nobody watches (a video capture; SDL backend): windows made after this are never
// shown, and presentFrame only handles their events, the picture being read back instead.
void setWindowHidden(bool hidden);

// Destroys the picture, the context and the window, and stops the video system. Safe to call
// when no window is open.
void destroyGLWindow();

// Blits the picture to the window's back buffer (largest rectangle of the picture's aspect, black
// around it), swaps, binds the picture again and handles the pending window events. Does nothing
// without a window.
void presentFrame();

// Full screen on or off while the window is open (the player's F and Alt+Enter): on covers the
// screen the window is on without a display-mode change, off gives a window of the picture's
// size; the picture is letterboxed into whatever the window has. Nothing without a window, for a
// hidden one, and on the web, where the page asks the browser (its Fullscreen API needs the
// viewer's key press itself).
void toggleFullScreen();

// Handles the pending window events (Escape, window close, the player's keys) without presenting.
void pumpWindowEvents();

bool glWindowOpen();
// The size of the picture everything is drawn into: the one place the drawing code learns it from.
int32_t pictureWidth();
int32_t pictureHeight();

// What pictureWidth/pictureHeight report while no window is open, for code that binds a picture of
// its own in a context of its own (the tests' headless GL). 0 x 0 until set.
void setDetachedPictureSize(int32_t width, int32_t height);

// The room a picture can have, asked before any window is open: the screen's size for full
// screen, the desktop's usable area (without panels) for a window. False when the video system
// cannot start or cannot say.
bool pictureRoom(bool fullScreen, int32_t& width, int32_t& height);

// Clears the picture to black (alpha 0) and its depth to the farthest, as a new window's picture
// starts; the clear colour and depth are left at those values. Nothing without a picture.
void clearPicture();

// Binds the picture as the target of drawing and reading again (after code that bound another).
void bindPicture();

// The picture as RGBA bytes, width x height x 4, top row first. False without a window.
bool readPicture(std::vector<uint8_t>& rgba);

// Reading the picture back without waiting for the drawing to finish: beginPictureRead starts a
// copy of the picture as it will be once drawn into read slot `slot` (0 to PICTURE_READ_SLOTS - 1,
// in pixel buffer objects where the GL has them) and returns; endPictureRead waits for that copy
// and writes it, width x height x 4 bytes top row first, to `rgba`. A slot holds one read at a
// time. False without a window, for a slot with no read begun, or when the GL fails.
constexpr int PICTURE_READ_SLOTS = 3;
bool beginPictureRead(int slot);
bool endPictureRead(int slot, uint8_t* rgba);

// The rectangle of the window that shows the picture.
struct PresentRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};
// Largest rectangle of the picture's aspect inside a drawable, centred (whole pixels).
PresentRect letterboxRect(int32_t drawableWidth, int32_t drawableHeight, int32_t pictureW, int32_t pictureH);

}  // namespace korvana
