// The music on SDL2_mixer.
#include "platform/sound.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

namespace korvana {

namespace {

struct SoundState {
    bool muted = false;
    bool deviceOpen = false;
    bool streamOpen = false;  // muted runs "open" without a file
    Mix_Music* music = nullptr;
    int32_t lastError = SOUND_ERR_NONE;
};

SoundState sound;

bool fail(int32_t code) {
    sound.lastError = code;
    return false;
}

bool outOfMemory() {
    const char* message = SDL_GetError();
    return message != nullptr && (std::strstr(message, "Out of memory") != nullptr ||
                                  std::strstr(message, "out of memory") != nullptr);
}

}  // namespace

void setSoundMuted(bool muted) { sound.muted = muted; }
bool soundMuted() { return sound.muted; }

bool soundInit(int32_t mixRate) {
    sound.lastError = SOUND_ERR_NONE;
    if (sound.muted || sound.deviceOpen) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail(SOUND_ERR_INIT);
    if (Mix_OpenAudio(mixRate, AUDIO_S16SYS, 2, 2048) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(outOfMemory() ? SOUND_ERR_MEMORY : SOUND_ERR_INIT);
    }
    sound.deviceOpen = true;
    return true;
}

bool soundOpenStream(const char* path) {
    if (sound.muted) {
        sound.streamOpen = true;
        return true;
    }
    struct stat info {};
    if (stat(path, &info) != 0)
        return fail(errno == ENOENT || errno == ENOTDIR ? SOUND_ERR_FILE_NOTFOUND : SOUND_ERR_FILE_BAD);
    if (!S_ISREG(info.st_mode)) return fail(SOUND_ERR_FILE_BAD);
    // MP3 support may be a plug-in loaded on demand; a build without it fails below as an
    // unknown format, which is what the user needs to hear.
    Mix_Init(MIX_INIT_MP3);
    Mix_Music* music = Mix_LoadMUS(path);
    if (music == nullptr) {
        if (outOfMemory()) return fail(SOUND_ERR_MEMORY);
        FILE* probe = std::fopen(path, "rb");
        if (probe == nullptr) return fail(SOUND_ERR_FILE_BAD);
        std::fclose(probe);
        return fail(SOUND_ERR_FILE_FORMAT);
    }
    if (sound.music != nullptr) Mix_FreeMusic(sound.music);
    sound.music = music;
    sound.streamOpen = true;
    return true;
}

int32_t soundPlayStream(bool paused) {
    if (!sound.streamOpen) {
        fail(SOUND_ERR_PLAY);
        return -1;
    }
    if (sound.muted) return 0;
    if (!sound.deviceOpen) {
        fail(SOUND_ERR_PLAY);
        return -1;
    }
    // The mixer starts a stream as soon as it is played; silence it until it is paused and
    // rewound, so the first sound heard is the stream's beginning when it is unpaused.
    const int volume = Mix_VolumeMusic(-1);
    if (paused) Mix_VolumeMusic(0);
    if (Mix_PlayMusic(sound.music, 1) != 0) {
        Mix_VolumeMusic(volume);
        fail(SOUND_ERR_PLAY);
        return -1;
    }
    if (paused) {
        Mix_PauseMusic();
        Mix_RewindMusic();
        Mix_VolumeMusic(volume);
    }
    return 0;
}

void soundSetPaused(int32_t channel, bool paused) {
    if (sound.muted || !sound.deviceOpen || channel != 0) return;
    if (paused)
        Mix_PauseMusic();
    else
        Mix_ResumeMusic();
}

bool soundSetPosition(double seconds) {
    if (sound.muted) return true;
    if (!sound.deviceOpen || sound.music == nullptr || !(seconds >= 0.0)) return false;
    // Played to its end, the mixer has let the stream go and cannot move it: it is started again
    // (silenced, as in soundPlayStream) and left paused or playing as it was.
    if (!Mix_PlayingMusic()) {
        const bool paused = Mix_PausedMusic() != 0;
        const int volume = Mix_VolumeMusic(-1);
        Mix_VolumeMusic(0);
        if (Mix_PlayMusic(sound.music, 1) != 0) {
            Mix_VolumeMusic(volume);
            return false;
        }
        if (paused) Mix_PauseMusic();
        Mix_VolumeMusic(volume);
    }
    return Mix_SetMusicPosition(seconds) == 0;
}

double soundStreamLength() {
    if (sound.muted || sound.music == nullptr) return 0.0;
    const double length = Mix_MusicDuration(sound.music);
    return length > 0.0 ? length : 0.0;
}

int32_t soundGetError() { return sound.lastError; }

void soundClose() {
    if (sound.deviceOpen) {
        Mix_HaltMusic();
        if (sound.music != nullptr) Mix_FreeMusic(sound.music);
        Mix_CloseAudio();
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    const bool muted = sound.muted;
    sound = SoundState{};
    sound.muted = muted;
}

}  // namespace korvana
