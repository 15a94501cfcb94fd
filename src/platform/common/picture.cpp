#include "platform/common/picture.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/window.h"

namespace korvana::detail {

namespace {

// Framebuffer-object entry points (core names first, the EXT variants as fallback). Kept here:
// nothing outside the window layer binds framebuffers.
using PFN_GenFramebuffers = void(APIENTRY*)(GLsizei, GLuint*);
using PFN_DeleteFramebuffers = void(APIENTRY*)(GLsizei, const GLuint*);
using PFN_BindFramebuffer = void(APIENTRY*)(GLenum, GLuint);
using PFN_GenRenderbuffers = void(APIENTRY*)(GLsizei, GLuint*);
using PFN_DeleteRenderbuffers = void(APIENTRY*)(GLsizei, const GLuint*);
using PFN_BindRenderbuffer = void(APIENTRY*)(GLenum, GLuint);
using PFN_RenderbufferStorage = void(APIENTRY*)(GLenum, GLenum, GLsizei, GLsizei);
using PFN_FramebufferRenderbuffer = void(APIENTRY*)(GLenum, GLenum, GLenum, GLuint);
using PFN_CheckFramebufferStatus = GLenum(APIENTRY*)(GLenum);
using PFN_BlitFramebuffer = void(APIENTRY*)(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield,
                                            GLenum);

constexpr GLenum kFramebuffer = 0x8D40;
constexpr GLenum kReadFramebuffer = 0x8CA8;
constexpr GLenum kDrawFramebuffer = 0x8CA9;
constexpr GLenum kRenderbuffer = 0x8D41;
constexpr GLenum kColorAttachment0 = 0x8CE0;
constexpr GLenum kDepthAttachment = 0x8D00;
constexpr GLenum kFramebufferComplete = 0x8CD5;
constexpr GLenum kRgba8 = 0x8058;
constexpr GLenum kDepthComponent24 = 0x81A6;

struct FramebufferApi {
    PFN_GenFramebuffers genFramebuffers = nullptr;
    PFN_DeleteFramebuffers deleteFramebuffers = nullptr;
    PFN_BindFramebuffer bindFramebuffer = nullptr;
    PFN_GenRenderbuffers genRenderbuffers = nullptr;
    PFN_DeleteRenderbuffers deleteRenderbuffers = nullptr;
    PFN_BindRenderbuffer bindRenderbuffer = nullptr;
    PFN_RenderbufferStorage renderbufferStorage = nullptr;
    PFN_FramebufferRenderbuffer framebufferRenderbuffer = nullptr;
    PFN_CheckFramebufferStatus checkFramebufferStatus = nullptr;
    PFN_BlitFramebuffer blitFramebuffer = nullptr;
};

// Pixel-buffer-object entry points (GL 1.5 names first, then ARB), for reading the picture back
// without waiting for it. Optional: without them a read is made at once.
using PFN_GenBuffers = void(APIENTRY*)(GLsizei, GLuint*);
using PFN_DeleteBuffers = void(APIENTRY*)(GLsizei, const GLuint*);
using PFN_BindBuffer = void(APIENTRY*)(GLenum, GLuint);
using PFN_BufferData = void(APIENTRY*)(GLenum, std::ptrdiff_t, const void*, GLenum);
using PFN_MapBuffer = void*(APIENTRY*)(GLenum, GLenum);
using PFN_UnmapBuffer = GLboolean(APIENTRY*)(GLenum);

constexpr GLenum kPixelPackBuffer = 0x88EB;
constexpr GLenum kStreamRead = 0x88E1;
constexpr GLenum kReadOnly = 0x88B8;

struct BufferApi {
    PFN_GenBuffers genBuffers = nullptr;
    PFN_DeleteBuffers deleteBuffers = nullptr;
    PFN_BindBuffer bindBuffer = nullptr;
    PFN_BufferData bufferData = nullptr;
    PFN_MapBuffer mapBuffer = nullptr;
    PFN_UnmapBuffer unmapBuffer = nullptr;
    bool loaded() const {
        return genBuffers && deleteBuffers && bindBuffer && bufferData && mapBuffer && unmapBuffer;
    }
};

// One read in flight: in a pixel buffer, or (without them) in memory, bottom row first as GL
// gives it.
struct ReadSlot {
    GLuint buffer = 0;
    std::vector<uint8_t> copy;
    bool pending = false;
};

struct PictureState {
    FramebufferApi fb;
    BufferApi buffers;
    ReadSlot reads[PICTURE_READ_SLOTS];
    GLuint framebuffer = 0;
    GLuint colourBuffer = 0;
    GLuint depthBuffer = 0;
    int32_t width = 0;
    int32_t height = 0;
};

PictureState picture;

template <typename T>
T lookUpEither(ProcLookup lookUp, const char* core, const char* ext) {
    void* p = lookUp(core);
    if (p == nullptr) p = lookUp(ext);
    return reinterpret_cast<T>(p);
}

void clearPictureToStart() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool loadFramebufferApi(ProcLookup lookUp, FramebufferApi& fb) {
    fb.genFramebuffers = lookUpEither<PFN_GenFramebuffers>(lookUp, "glGenFramebuffers", "glGenFramebuffersEXT");
    fb.deleteFramebuffers =
        lookUpEither<PFN_DeleteFramebuffers>(lookUp, "glDeleteFramebuffers", "glDeleteFramebuffersEXT");
    fb.bindFramebuffer = lookUpEither<PFN_BindFramebuffer>(lookUp, "glBindFramebuffer", "glBindFramebufferEXT");
    fb.genRenderbuffers = lookUpEither<PFN_GenRenderbuffers>(lookUp, "glGenRenderbuffers", "glGenRenderbuffersEXT");
    fb.deleteRenderbuffers =
        lookUpEither<PFN_DeleteRenderbuffers>(lookUp, "glDeleteRenderbuffers", "glDeleteRenderbuffersEXT");
    fb.bindRenderbuffer = lookUpEither<PFN_BindRenderbuffer>(lookUp, "glBindRenderbuffer", "glBindRenderbufferEXT");
    fb.renderbufferStorage =
        lookUpEither<PFN_RenderbufferStorage>(lookUp, "glRenderbufferStorage", "glRenderbufferStorageEXT");
    fb.framebufferRenderbuffer =
        lookUpEither<PFN_FramebufferRenderbuffer>(lookUp, "glFramebufferRenderbuffer", "glFramebufferRenderbufferEXT");
    fb.checkFramebufferStatus =
        lookUpEither<PFN_CheckFramebufferStatus>(lookUp, "glCheckFramebufferStatus", "glCheckFramebufferStatusEXT");
    fb.blitFramebuffer = lookUpEither<PFN_BlitFramebuffer>(lookUp, "glBlitFramebuffer", "glBlitFramebufferEXT");
    return fb.genFramebuffers && fb.deleteFramebuffers && fb.bindFramebuffer && fb.genRenderbuffers &&
           fb.deleteRenderbuffers && fb.bindRenderbuffer && fb.renderbufferStorage && fb.framebufferRenderbuffer &&
           fb.checkFramebufferStatus && fb.blitFramebuffer;
}

void loadBufferApi(ProcLookup lookUp, BufferApi& b) {
    b.genBuffers = lookUpEither<PFN_GenBuffers>(lookUp, "glGenBuffers", "glGenBuffersARB");
    b.deleteBuffers = lookUpEither<PFN_DeleteBuffers>(lookUp, "glDeleteBuffers", "glDeleteBuffersARB");
    b.bindBuffer = lookUpEither<PFN_BindBuffer>(lookUp, "glBindBuffer", "glBindBufferARB");
    b.bufferData = lookUpEither<PFN_BufferData>(lookUp, "glBufferData", "glBufferDataARB");
    b.mapBuffer = lookUpEither<PFN_MapBuffer>(lookUp, "glMapBuffer", "glMapBufferARB");
    b.unmapBuffer = lookUpEither<PFN_UnmapBuffer>(lookUp, "glUnmapBuffer", "glUnmapBufferARB");
    if (!b.loaded()) b = BufferApi{};
}

}  // namespace

bool createPicture(ProcLookup lookUp, int32_t width, int32_t height) {
    releasePicture();
    if (width <= 0 || height <= 0) return false;
    FramebufferApi& fb = picture.fb;
    if (!loadFramebufferApi(lookUp, fb)) return false;
    fb.genRenderbuffers(1, &picture.colourBuffer);
    fb.bindRenderbuffer(kRenderbuffer, picture.colourBuffer);
    fb.renderbufferStorage(kRenderbuffer, kRgba8, width, height);
    fb.genRenderbuffers(1, &picture.depthBuffer);
    fb.bindRenderbuffer(kRenderbuffer, picture.depthBuffer);
    fb.renderbufferStorage(kRenderbuffer, kDepthComponent24, width, height);
    fb.bindRenderbuffer(kRenderbuffer, 0);
    fb.genFramebuffers(1, &picture.framebuffer);
    fb.bindFramebuffer(kFramebuffer, picture.framebuffer);
    fb.framebufferRenderbuffer(kFramebuffer, kColorAttachment0, kRenderbuffer, picture.colourBuffer);
    fb.framebufferRenderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, picture.depthBuffer);
    if (fb.checkFramebufferStatus(kFramebuffer) != kFramebufferComplete) {
        releasePicture();
        return false;
    }
    // A new renderbuffer's contents are undefined; start from black once. After this the picture
    // is only ever changed by the show's own drawing (and the player's seeks, which start it
    // afresh the same way).
    glViewport(0, 0, width, height);
    clearPictureToStart();
    if (glGetError() != GL_NO_ERROR) {
        releasePicture();
        return false;
    }
    picture.width = width;
    picture.height = height;
    loadBufferApi(lookUp, picture.buffers);
    return true;
}

void releasePicture() {
    FramebufferApi& fb = picture.fb;
    const BufferApi& b = picture.buffers;
    for (ReadSlot& slot : picture.reads)
        if (slot.buffer != 0 && b.deleteBuffers != nullptr) b.deleteBuffers(1, &slot.buffer);
    if (fb.bindFramebuffer != nullptr) fb.bindFramebuffer(kFramebuffer, 0);
    if (picture.framebuffer != 0) fb.deleteFramebuffers(1, &picture.framebuffer);
    if (picture.colourBuffer != 0) fb.deleteRenderbuffers(1, &picture.colourBuffer);
    if (picture.depthBuffer != 0) fb.deleteRenderbuffers(1, &picture.depthBuffer);
    picture = PictureState{};
}

bool havePicture() { return picture.framebuffer != 0 && picture.width > 0; }
int32_t currentPictureWidth() { return picture.width; }
int32_t currentPictureHeight() { return picture.height; }

void bindPictureFramebuffer() {
    if (picture.framebuffer != 0) picture.fb.bindFramebuffer(kFramebuffer, picture.framebuffer);
}

PresentState blitPictureToWindow(int32_t drawableWidth, int32_t drawableHeight) {
    PresentState saved;
    saved.scissor = glIsEnabled(GL_SCISSOR_TEST);
    glGetBooleanv(GL_COLOR_WRITEMASK, saved.colourMask);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, saved.clearColour);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    const FramebufferApi& fb = picture.fb;
    const PresentRect r = letterboxRect(drawableWidth, drawableHeight, picture.width, picture.height);
    fb.bindFramebuffer(kReadFramebuffer, picture.framebuffer);
    fb.bindFramebuffer(kDrawFramebuffer, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const bool sameSize = r.width == picture.width && r.height == picture.height;
    fb.blitFramebuffer(0, 0, picture.width, picture.height, r.x, r.y, r.x + r.width, r.y + r.height,
                       GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
    return saved;
}

void finishPresent(const PresentState& saved) {
    bindPictureFramebuffer();
    glClearColor(saved.clearColour[0], saved.clearColour[1], saved.clearColour[2], saved.clearColour[3]);
    glColorMask(saved.colourMask[0], saved.colourMask[1], saved.colourMask[2], saved.colourMask[3]);
    if (saved.scissor) glEnable(GL_SCISSOR_TEST);
}

bool readPictureRgba(std::vector<uint8_t>& rgba) {
    if (!havePicture()) return false;
    const size_t rowBytes = static_cast<size_t>(picture.width) * 4u;
    rgba.resize(rowBytes * static_cast<size_t>(picture.height));
    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    picture.fb.bindFramebuffer(kReadFramebuffer, picture.framebuffer);
    glReadPixels(0, 0, picture.width, picture.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    // GL reads bottom row first; turned over in place, so a capture needs no second picture.
    uint8_t* top = rgba.data();
    uint8_t* bottom = rgba.data() + rgba.size() - rowBytes;
    for (; top < bottom; top += rowBytes, bottom -= rowBytes) std::swap_ranges(top, top + rowBytes, bottom);
    return true;
}

}  // namespace korvana::detail

namespace korvana {

void clearPicture() {
    if (!detail::havePicture()) return;
    detail::bindPictureFramebuffer();
    detail::clearPictureToStart();
}

bool beginPictureRead(int slot) {
    using namespace detail;
    if (!havePicture() || slot < 0 || slot >= PICTURE_READ_SLOTS) return false;
    ReadSlot& read = picture.reads[slot];
    const BufferApi& b = picture.buffers;
    const size_t bytes = size_t(picture.width) * size_t(picture.height) * 4u;
    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    picture.fb.bindFramebuffer(kReadFramebuffer, picture.framebuffer);
    if (b.loaded()) {
        if (read.buffer == 0) {
            b.genBuffers(1, &read.buffer);
            b.bindBuffer(kPixelPackBuffer, read.buffer);
            b.bufferData(kPixelPackBuffer, static_cast<std::ptrdiff_t>(bytes), nullptr, kStreamRead);
        } else {
            b.bindBuffer(kPixelPackBuffer, read.buffer);
        }
        glReadPixels(0, 0, picture.width, picture.height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        b.bindBuffer(kPixelPackBuffer, 0);
    } else {
        read.copy.resize(bytes);
        glReadPixels(0, 0, picture.width, picture.height, GL_RGBA, GL_UNSIGNED_BYTE, read.copy.data());
    }
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    read.pending = glGetError() == GL_NO_ERROR;
    return read.pending;
}

bool endPictureRead(int slot, uint8_t* rgba) {
    using namespace detail;
    if (!havePicture() || slot < 0 || slot >= PICTURE_READ_SLOTS || !picture.reads[slot].pending) return false;
    ReadSlot& read = picture.reads[slot];
    read.pending = false;
    const BufferApi& b = picture.buffers;
    const size_t rowBytes = size_t(picture.width) * 4u;
    const uint8_t* rows = read.copy.data();
    if (read.buffer != 0) {
        b.bindBuffer(kPixelPackBuffer, read.buffer);
        rows = static_cast<const uint8_t*>(b.mapBuffer(kPixelPackBuffer, kReadOnly));
        if (rows == nullptr) {
            b.bindBuffer(kPixelPackBuffer, 0);
            return false;
        }
    }
    // GL gives the bottom row first; the copy turns it over.
    for (int32_t y = 0; y < picture.height; ++y)
        std::memcpy(rgba + size_t(y) * rowBytes, rows + size_t(picture.height - 1 - y) * rowBytes, rowBytes);
    bool ok = true;
    if (read.buffer != 0) {
        ok = b.unmapBuffer(kPixelPackBuffer) == GL_TRUE;
        b.bindBuffer(kPixelPackBuffer, 0);
    }
    return ok;
}

namespace {
int32_t detachedWidth = 0;
int32_t detachedHeight = 0;
}  // namespace

int32_t pictureWidth() { return detail::havePicture() ? detail::currentPictureWidth() : detachedWidth; }
int32_t pictureHeight() { return detail::havePicture() ? detail::currentPictureHeight() : detachedHeight; }

void setDetachedPictureSize(int32_t width, int32_t height) {
    detachedWidth = width;
    detachedHeight = height;
}

}  // namespace korvana
