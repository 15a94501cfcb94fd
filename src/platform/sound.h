// The music: one MP3 streamed from a plain file (SDL2_mixer on Linux, ACM into waveOut on Windows,
// Web Audio in the browser), started right before the first frame; afterwards only the player
// pauses it and moves it (pause, seeks, switching the music off and on). Failures are reported as
// the codes of the sound error table, read with soundGetError and turned into the user's text by
// soundErrorText.
#pragma once

#include <cstdint>

namespace korvana {

// The codes of the table that this component reports.
constexpr int32_t SOUND_ERR_NONE = 0;
constexpr int32_t SOUND_ERR_INIT = 3;          // no audio device
constexpr int32_t SOUND_ERR_PLAY = 5;          // playback cannot start
constexpr int32_t SOUND_ERR_FILE_NOTFOUND = 9;
constexpr int32_t SOUND_ERR_FILE_FORMAT = 10;  // the file is there but is no music we can decode
constexpr int32_t SOUND_ERR_FILE_BAD = 11;     // the file is there but cannot be read
constexpr int32_t SOUND_ERR_MEMORY = 12;
constexpr int32_t SOUND_ERR_CODEC = 18;        // the system has no decoder for the music (Windows)

// The English text of a code; codes compare as unsigned, so negative codes are "Unknown error".
const char* soundErrorText(int32_t code);

// Muted, nothing opens an audio device or the music file, and every step below succeeds.
void setSoundMuted(bool muted);
bool soundMuted();

// Opens the audio device at `mixRate` Hz, 16-bit stereo. False -> SOUND_ERR_INIT.
bool soundInit(int32_t mixRate);
// Opens the music for streaming. False -> SOUND_ERR_FILE_NOTFOUND, _FILE_BAD, _FILE_FORMAT, _CODEC or
// _MEMORY.
bool soundOpenStream(const char* path);
// Starts the opened stream from its beginning, once; paused, it waits for soundSetPaused.
// The channel, or -1 -> SOUND_ERR_PLAY.
int32_t soundPlayStream(bool paused);
void soundSetPaused(int32_t channel, bool paused);
// Moves the playing stream to `seconds` from its start, paused or not, also after it has played
// to its end. False when the stream cannot seek.
bool soundSetPosition(double seconds);
// The length of the opened music in seconds; 0 when muted, before a stream is open, or when the
// decoder cannot say.
double soundStreamLength();
// The code of the last failure (SOUND_ERR_NONE when nothing failed yet).
int32_t soundGetError();
// Stops the music and closes the device; safe in any state.
void soundClose();

}  // namespace korvana
