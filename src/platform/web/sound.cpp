// The music through Web Audio (page.js): the browser decodes the whole MP3 from the page's file
// system into a buffer that plays from the wanted place. Browsers start sound only after a click,
// so a stream unpaused before it waits for the click and then starts where the show's clock is.
#include "platform/sound.h"

#include <emscripten.h>

namespace korvana {

namespace {
bool muted = false;
int32_t lastError = SOUND_ERR_NONE;
bool opened = false;
bool streamOpen = false;
bool playing = false;

bool fail(int32_t code) {
    lastError = code;
    return false;
}
}  // namespace

EM_JS(int, korvana_sound_init, (int32_t mixRate), { return Module.korvana.soundInit(mixRate); });
// 0 when decoded, else the sound error code.
EM_ASYNC_JS(int, korvana_sound_open, (const char* path), { return await Module.korvana.soundOpen(UTF8ToString(path)); });
EM_JS(void, korvana_sound_want_play, (int play), { Module.korvana.soundWantPlay(play != 0); });
EM_JS(void, korvana_sound_position, (double seconds), { Module.korvana.soundPosition(seconds); });
EM_JS(void, korvana_sound_close, (), { Module.korvana.soundClose(); });
EM_JS(double, korvana_sound_length, (), { return Module.korvana.soundLength(); });

void setSoundMuted(bool value) { muted = value; }
bool soundMuted() { return muted; }

bool soundInit(int32_t mixRate) {
    if (muted) return true;
    if (!korvana_sound_init(mixRate)) return fail(SOUND_ERR_INIT);
    opened = true;
    return true;
}

bool soundOpenStream(const char* path) {
    if (muted) return true;
    if (!opened) return fail(SOUND_ERR_INIT);
    const int code = korvana_sound_open(path);
    if (code != 0) return fail(code);
    streamOpen = true;
    return true;
}

int32_t soundPlayStream(bool paused) {
    if (muted) return 0;
    if (!streamOpen || playing) {
        lastError = SOUND_ERR_PLAY;
        return -1;
    }
    playing = true;
    korvana_sound_want_play(paused ? 0 : 1);
    return 0;
}

void soundSetPaused(int32_t channel, bool paused) {
    if (muted || !playing || channel != 0) return;
    korvana_sound_want_play(paused ? 0 : 1);
}

bool soundSetPosition(double seconds) {
    if (muted) return true;
    if (!playing || seconds < 0.0) return false;
    korvana_sound_position(seconds);
    return true;
}

double soundStreamLength() { return muted || !streamOpen ? 0.0 : korvana_sound_length(); }

int32_t soundGetError() { return lastError; }

void soundClose() {
    if (opened) korvana_sound_close();
    opened = streamOpen = playing = false;
}

}  // namespace korvana
