// The sound component on the dummy audio driver: the error table word for word, and each failure
// reported with the code the show turns into its message.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <climits>
#include <fstream>

#include "platform/sound.h"
#include "platform/test_media.h"

namespace korvana {
namespace {

TEST(SoundErrorText, EveryCodeOfTheTable) {
    const char* expected[] = {
        "No errors",
        "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
        "This command failed because FSOUND_Init was not called",
        "Error initializing output device.",
        "The output device is already in use and cannot be reused.",
        "Playing the sound failed.",
        "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
        "Error setting cooperative level for hardware.",
        "Error creating hardware sound buffer.",
        "File not found",
        "Unknown file format",
        "Error loading file",
        "Not enough memory ",
        "The version number of this file format is not supported",
        "An invalid parameter was passed to this function",
        "Tried to use an EAX command on a non EAX enabled channel or output.",
        "Failed to allocate a new channel",
        "Recording not supported on this device",
        "Required Mediaplayer codec is not installed",
    };
    for (int32_t code = 0; code <= 18; ++code) EXPECT_STREQ(soundErrorText(code), expected[code]) << code;
    for (int32_t code : {19, 100, INT32_MAX, -1, -3, INT32_MIN})
        EXPECT_STREQ(soundErrorText(code), "Unknown error") << code;
    // The codes the component reports are the table's rows for those failures.
    EXPECT_STREQ(soundErrorText(SOUND_ERR_INIT), "Error initializing output device.");
    EXPECT_STREQ(soundErrorText(SOUND_ERR_PLAY), "Playing the sound failed.");
    EXPECT_STREQ(soundErrorText(SOUND_ERR_FILE_NOTFOUND), "File not found");
    EXPECT_STREQ(soundErrorText(SOUND_ERR_FILE_FORMAT), "Unknown file format");
    EXPECT_STREQ(soundErrorText(SOUND_ERR_MEMORY), "Not enough memory ");
}

TEST(Sound, OpensStreamsAndReportsEachFailure) {
    test::ScratchDir dir;
    setSoundMuted(false);
    ASSERT_TRUE(soundInit(44100)) << soundErrorText(soundGetError());
    EXPECT_EQ(soundGetError(), SOUND_ERR_NONE);
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);

    // Nothing opened yet: playing cannot start.
    EXPECT_EQ(soundPlayStream(true), -1);
    EXPECT_EQ(soundGetError(), SOUND_ERR_PLAY);

    EXPECT_FALSE(soundOpenStream((dir.path() / "ripped.mp3").c_str()));
    EXPECT_EQ(soundGetError(), SOUND_ERR_FILE_NOTFOUND);

    EXPECT_FALSE(soundOpenStream(dir.path().c_str()));  // a folder is no file to load
    EXPECT_EQ(soundGetError(), SOUND_ERR_FILE_BAD);

    const auto garbage = dir.path() / "garbage.mp3";
    {
        std::ofstream out(garbage, std::ios::binary);
        for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 7) & 0x3F));
    }
    EXPECT_FALSE(soundOpenStream(garbage.c_str()));
    EXPECT_EQ(soundGetError(), SOUND_ERR_FILE_FORMAT);

    if (!test::haveLame()) {
        soundClose();
        GTEST_SKIP() << "the lame encoder is not installed (scripts/install-deps installs it)";
    }
    const auto mp3 = dir.path() / "ripped.mp3";
    ASSERT_TRUE(test::makeMp3(mp3, 2.0));
    ASSERT_TRUE(soundOpenStream(mp3.c_str())) << soundErrorText(soundGetError());
    const int32_t channel = soundPlayStream(true);
    ASSERT_NE(channel, -1);
    EXPECT_TRUE(soundSetPosition(0.5));
    soundSetPaused(channel, false);
    SDL_Delay(50);
    soundClose();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

TEST(Sound, MutedOpensNothing) {
    test::ScratchDir dir;
    setSoundMuted(true);
    EXPECT_TRUE(soundInit(44100));
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_TRUE(soundOpenStream((dir.path() / "ripped.mp3").c_str()));  // not even looked for
    EXPECT_NE(soundPlayStream(true), -1);
    soundClose();
    setSoundMuted(false);
}

TEST(Sound, NoDeviceIsAnOutputDeviceError) {
    // A driver that does not exist stands in for a machine without sound.
    const char* old = SDL_getenv("SDL_AUDIODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    setSoundMuted(false);
    EXPECT_FALSE(soundInit(44100));
    EXPECT_EQ(soundGetError(), SOUND_ERR_INIT);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    if (old) setenv("SDL_AUDIODRIVER", saved.c_str(), 1); else unsetenv("SDL_AUDIODRIVER");
    soundClose();
}

}  // namespace
}  // namespace korvana
