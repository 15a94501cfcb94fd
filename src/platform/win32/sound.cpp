// The music on Windows: the MP3 decoded through ACM (mp3_stream.h) and played through waveOut,
// fed by a thread of its own from a ring of buffers, so the show's thread never waits for it.
#include "platform/sound.h"

#include <array>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>
#include <thread>

#include <windows.h>
#include <mmsystem.h>

#include "platform/win32/mp3_stream.h"

namespace korvana {

namespace {

constexpr size_t kBufferCount = 4;
constexpr size_t kFramesPerBuffer = 8;  // about 0.2 s each at 44.1 kHz
constexpr uint64_t kLargestFile = uint64_t{1} << 30;

struct Buffer {
    WAVEHDR header{};
    std::vector<uint8_t> pcm;
    bool prepared = false;
};

struct SoundState {
    bool muted = false;
    bool deviceReady = false;
    bool streamOpen = false;  // muted runs "open" without a file
    bool playing = false;
    int32_t lastError = SOUND_ERR_NONE;
    detail::Mp3Decoder decoder;
    HWAVEOUT device = nullptr;
    HANDLE wake = nullptr;  // signalled by waveOut when a buffer is done, and by us
    std::array<Buffer, kBufferCount> buffers;
    std::mutex lock;        // the decoder, the buffers and the device between the two threads
    std::atomic<bool> stop{false};
    std::thread feeder;
};

SoundState* sound = new SoundState;  // never destroyed: the feeder may outlive static destruction

bool fail(int32_t code) {
    sound->lastError = code;
    return false;
}

// Refills every buffer waveOut has finished with (or never had). Called with the lock held.
void refill() {
    for (Buffer& buffer : sound->buffers) {
        if (buffer.prepared && (buffer.header.dwFlags & WHDR_DONE) == 0) continue;
        if (buffer.prepared) {
            waveOutUnprepareHeader(sound->device, &buffer.header, sizeof(WAVEHDR));
            buffer.prepared = false;
        }
        buffer.pcm.clear();
        while (buffer.pcm.empty() && sound->decoder.decode(kFramesPerBuffer, buffer.pcm)) {
        }
        if (buffer.pcm.empty()) continue;  // the music has ended
        buffer.header = WAVEHDR{};
        buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.pcm.data());
        buffer.header.dwBufferLength = static_cast<DWORD>(buffer.pcm.size());
        if (waveOutPrepareHeader(sound->device, &buffer.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) continue;
        buffer.prepared = true;
        if (waveOutWrite(sound->device, &buffer.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            waveOutUnprepareHeader(sound->device, &buffer.header, sizeof(WAVEHDR));
            buffer.prepared = false;
        }
    }
}

void feed() {
    while (!sound->stop.load()) {
        {
            std::lock_guard<std::mutex> guard(sound->lock);
            refill();
        }
        WaitForSingleObject(sound->wake, INFINITE);
    }
}

// Takes every buffer back from the device; with the lock held.
void releaseBuffers() {
    waveOutReset(sound->device);
    for (Buffer& buffer : sound->buffers) {
        if (buffer.prepared) waveOutUnprepareHeader(sound->device, &buffer.header, sizeof(WAVEHDR));
        buffer.prepared = false;
    }
}

}  // namespace

void setSoundMuted(bool muted) { sound->muted = muted; }
bool soundMuted() { return sound->muted; }

bool soundInit(int32_t mixRate) {
    sound->lastError = SOUND_ERR_NONE;
    if (sound->muted || sound->deviceReady) return true;
    // The device is opened for the music's own format when it starts; here it only has to exist
    // and take 16-bit stereo at the mixing rate.
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(mixRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * 4;
    if (mixRate <= 0 || waveOutGetNumDevs() == 0 ||
        waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR)
        return fail(SOUND_ERR_INIT);
    sound->deviceReady = true;
    return true;
}

bool soundOpenStream(const char* path) {
    if (sound->muted) {
        sound->streamOpen = true;
        return true;
    }
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        return fail(why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND ? SOUND_ERR_FILE_NOTFOUND
                                                                               : SOUND_ERR_FILE_BAD);
    }
    LARGE_INTEGER size{};
    std::vector<uint8_t> bytes;
    bool read = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
                static_cast<uint64_t>(size.QuadPart) <= kLargestFile;
    if (read) {
        try {
            bytes.resize(static_cast<size_t>(size.QuadPart));
        } catch (const std::bad_alloc&) {
            CloseHandle(file);
            return fail(SOUND_ERR_MEMORY);
        }
        DWORD got = 0;
        read = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                                 got == bytes.size());
    }
    CloseHandle(file);
    if (!read) return fail(SOUND_ERR_FILE_BAD);
    std::lock_guard<std::mutex> guard(sound->lock);
    const int32_t opened = sound->decoder.open(std::move(bytes));
    if (opened != SOUND_ERR_NONE) return fail(opened);
    sound->streamOpen = true;
    return true;
}

int32_t soundPlayStream(bool paused) {
    if (!sound->streamOpen || sound->playing) {
        fail(SOUND_ERR_PLAY);
        return -1;
    }
    if (sound->muted) return 0;
    if (!sound->deviceReady) {
        fail(SOUND_ERR_PLAY);
        return -1;
    }
    sound->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format = sound->decoder.pcmFormat();
    if (sound->wake == nullptr ||
        waveOutOpen(&sound->device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(sound->wake), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        if (sound->wake != nullptr) CloseHandle(sound->wake);
        sound->wake = nullptr;
        sound->device = nullptr;
        fail(SOUND_ERR_PLAY);
        return -1;
    }
    // Paused before anything is queued, so the first sound heard is the music's beginning.
    if (paused) waveOutPause(sound->device);
    sound->stop = false;
    sound->feeder = std::thread(feed);
    sound->playing = true;
    return 0;
}

void soundSetPaused(int32_t channel, bool paused) {
    if (sound->muted || !sound->playing || channel != 0) return;
    std::lock_guard<std::mutex> guard(sound->lock);
    if (paused)
        waveOutPause(sound->device);
    else
        waveOutRestart(sound->device);
}

bool soundSetPosition(double seconds) {
    if (sound->muted) return true;
    if (!sound->streamOpen || !std::isfinite(seconds) || seconds < 0) return false;
    std::lock_guard<std::mutex> guard(sound->lock);
    const double sample = seconds * sound->decoder.pcmFormat().nSamplesPerSec;
    sound->decoder.seek(sample >= 1e18 ? UINT64_MAX : static_cast<uint64_t>(sample));
    if (sound->playing) {
        // waveOutReset returns every queued buffer; a paused device stays paused.
        releaseBuffers();
        SetEvent(sound->wake);
    }
    return true;
}

double soundStreamLength() {
    if (sound->muted || !sound->streamOpen) return 0.0;
    std::lock_guard<std::mutex> guard(sound->lock);
    const DWORD rate = sound->decoder.pcmFormat().nSamplesPerSec;
    return rate == 0 ? 0.0 : double(sound->decoder.totalSamples()) / rate;
}

int32_t soundGetError() { return sound->lastError; }

void soundClose() {
    if (sound->playing) {
        sound->stop = true;
        SetEvent(sound->wake);
        sound->feeder.join();
        releaseBuffers();
        waveOutClose(sound->device);
        CloseHandle(sound->wake);
    }
    const bool muted = sound->muted;
    delete sound;
    sound = new SoundState;
    sound->muted = muted;
}

}  // namespace korvana
