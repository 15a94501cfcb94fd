// Start-up, the frame loop and tear-down, in the order the show has always kept; the loop runs on
// the player's clock and takes the player's commands after each frame.
#include "app/show.h"

#include <algorithm>
#include <cstdio>

#include "app/overlays.h"
#include "app/player.h"
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

// The music as the player moves it: the show's one stream.
class ShowMusic final : public PlayerMusic {
public:
    explicit ShowMusic(int32_t channel) : channel_(channel) {}
    void setPaused(bool paused) override { soundSetPaused(channel_, paused); }
    void setPosition(uint32_t milliseconds) override { soundSetPosition(milliseconds / 1000.0); }

private:
    int32_t channel_;
};

// A seek starts the show afresh at its target, as a run started there: nothing of the frames
// before it stays in the picture, the hold or the scenes' trail counters.
void restartShowState(const SceneTable& scenes) {
    clearPicture();
    holdFrames = 0;
    if (scenes.restartScenes != nullptr) scenes.restartScenes();
}

// One line on stdout after each of the player's commands, for whoever started the show from a
// terminal (and the tests that press keys to a program they cannot look into): where the show
// is and how. Nothing is printed while no key is pressed.
void printPlayerState(Player& player) {
    static const char* const sceneNames[SCENE_SLOT_COUNT] = {
        "the tube", "the tube box", "the pipe", "the cylinder", "the tube with light trails", "the boxes"};
    const uint32_t u = player.showTime();
    const int32_t slot = sceneIndexAt(u, player.lastPlan().sceneIndex);
    std::printf("korvana: %u.%02u s in %s%s%s\n", u / 1000, u % 1000 / 10,
                slot >= 0 && slot < SCENE_SLOT_COUNT ? sceneNames[slot] : "the show", player.paused() ? ", paused" : "",
                player.musicOn() ? "" : ", music off");
    std::fflush(stdout);
}

void runFrameLoop(const ShowOptions& options, Player& player, const SceneTable& scenes) {
    for (;;) {
        // Paused, nothing is drawn: the picture keeps the last frame and is presented again.
        if (player.drawsFrame()) {
            if (player.takeRestart()) restartShowState(scenes);
            const FramePlan plan = player.planFrame();
            if (plan.holdPulse) holdFrames = HOLD_FRAMES;
            drawSceneSlot(scenes, plan.sceneIndex);

            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            drawOverlayStep(plan.overlay.element, plan.overlay.x, plan.overlay.y);
            glDisable(GL_BLEND);
        }

        player.sleep(kFrameSleep);
        presentFrame();
        player.frameDone();
        if (options.afterFrame) options.afterFrame(player.lastPlan());
        if (escapePressed()) return;
        PlayerCommand command;
        while (takePlayerCommand(command)) {
            if (!options.playerKeys) continue;
            if (command == PlayerCommand::ToggleFullScreen) {
                toggleFullScreen();
            } else {
                player.apply(command);
                printPlayerState(player);
            }
        }
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

    if (!escapePressed()) {
        ShowMusic music(channel);
        // Seeks go as far as the music, and at least to where the last scene stays.
        const double length = soundStreamLength();  // a backend's word: kept to a day, NaN to 0
        const double musicSeconds = length > 0.0 ? std::min(length, 86400.0) : 0.0;
        const uint32_t end = std::max(TIMELINE_KEEP_FROM, static_cast<uint32_t>(musicSeconds * 1000.0));
        Player player(clock, options.seekMilliseconds, end, options.mute ? nullptr : &music);
        setSceneClock(&player);
        runFrameLoop(options, player, scenes);
        setSceneClock(&clock);
    }

    destroyGLWindow();
    showTaskbar();
    destroyOverlays();
    return 0;
}

}  // namespace korvana
