// Start-up, the frame loop and tear-down, in the order the show has always kept.
#include "app/show.h"

#include <cstdio>

#include "app/overlays.h"
#include "platform/gl.h"
#include "platform/input.h"
#include "platform/message_box.h"
#include "platform/sound.h"
#include "platform/taskbar.h"
#include "platform/window.h"
#include "render/frame.h"
#include "scenes/scene_frame.h"

namespace korvana {

namespace {

constexpr const char* kMusicFile = "ripped.mp3";
constexpr uint32_t kFrameSleep = 20;

void showSoundError() { showMessageBox(soundErrorText(soundGetError()), "", MessageIcon::None); }

int32_t resolvePictureScale(const ShowOptions& options) {
    if (options.scale != PICTURE_SCALE_AUTO) return options.scale;
    int32_t width = 0, height = 0;
    return pictureRoom(options.fullScreen, width, height) ? largestPictureScale(width, height) : 1;
}

void runFrameLoop(const ShowOptions& options, Clock& clock, const SceneTable& scenes) {
    TimelineState timeline;
    for (;;) {
        const FramePlan plan = advanceTimeline(timeline, clock.now(), options.seekMilliseconds);
        if (plan.holdPulse) holdFrames = HOLD_FRAMES;
        drawSceneSlot(scenes, plan.sceneIndex);

        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        drawOverlayStep(plan.overlay.element, plan.overlay.x, plan.overlay.y);
        glDisable(GL_BLEND);

        clock.sleep(kFrameSleep);
        presentFrame();
        clock.frameDone();
        if (options.afterFrame) options.afterFrame(plan);
        if (escapePressed()) return;
    }
}

}  // namespace

int32_t largestPictureScale(int32_t roomWidth, int32_t roomHeight) {
    int32_t scale = MAX_PICTURE_SCALE;
    while (scale > 1 && (roomWidth < scale * SCREEN_WIDTH || roomHeight < scale * SCREEN_HEIGHT)) --scale;
    return scale;
}

int runShow(const ShowOptions& options, Clock& clock, const SceneTable& scenes) {
    // The scenes animate by the same clock the timeline runs on.
    struct SceneClockScope {
        explicit SceneClockScope(Clock& c) { setSceneClock(&c); }
        ~SceneClockScope() { setSceneClock(nullptr); }
    } sceneClock(clock);
    installQuitSignalHandlers();
    hideTaskbar();

    setSoundMuted(options.mute);
    if (!soundInit(44100)) {
        showSoundError();
        if (soundGetError() == SOUND_ERR_INIT)
            std::fputs("korvana: no usable audio device; --mute plays the show without sound\n", stderr);
        showTaskbar();
        return 1;
    }
    if (!soundOpenStream(kMusicFile)) {
        showSoundError();
        soundClose();
        showTaskbar();
        return 1;
    }

    const int32_t scale = resolvePictureScale(options);
    if (!createGLWindow(SCREEN_WIDTH * scale, SCREEN_HEIGHT * scale, 60, 32, options.fullScreen)) {
        showMessageBox("The selected screenmode is not supported!", "Error", MessageIcon::Error);
        soundClose();
        showTaskbar();
        return 1;
    }
    // The two-unit drawing calls glActiveTextureARB without asking; rather than let it call a
    // missing entry point, a driver without multitexturing ends the start-up after its message.
    if (!initGLExtensions()) {
        destroyGLWindow();
        soundClose();
        showTaskbar();
        return 1;
    }
    glEnable(GL_TEXTURE_2D);

    loadScenes(scenes);
    loadOverlays();

    const int32_t channel = soundPlayStream(true);
    if (channel == -1) {
        showSoundError();
        soundClose();
        destroyGLWindow();
        destroyOverlays();
        showTaskbar();
        return 1;
    }
    if (options.seekMilliseconds != 0) soundSetPosition(options.seekMilliseconds / 1000.0);
    soundSetPaused(channel, false);

    if (!escapePressed()) runFrameLoop(options, clock, scenes);

    destroyGLWindow();
    showTaskbar();
    destroyOverlays();
    return 0;
}

}  // namespace korvana
