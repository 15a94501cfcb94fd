// The default soundtrack: a synthesized track (drums, bass, pads, arpeggio) whose sections change
// where the show changes scenes, and its MP3 encoding through LAME.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvana::content {

inline constexpr int kSampleRate = 44100;
inline constexpr double kTrackSeconds = 160;

// Interleaved 16-bit stereo of the whole track.
std::vector<int16_t> synthesizeTrack();

// CBR MP3 at 44.1 kHz stereo. Empty with a reason in `error` on failure.
std::vector<uint8_t> encodeMp3(const std::vector<int16_t>& stereo, int kbps, std::string& error);

}  // namespace korvana::content
