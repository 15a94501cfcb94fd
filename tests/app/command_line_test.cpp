// Options and the data folder: what each option sets, every bad input refused with a reason, and
// where the show looks for its data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/show.h"
#include "platform/test_media.h"

namespace korvana {
namespace {

bool parse(std::vector<const char*> args, CommandLine& out, std::string& error) {
    args.insert(args.begin(), "korvana");
    return parseCommandLine(static_cast<int>(args.size()), args.data(), out, error);
}

TEST(CommandLine, NoArgumentsIsTheShowAsItAlwaysWas) {
    CommandLine cl;
    std::string error;
    ASSERT_TRUE(parse({}, cl, error));
    EXPECT_FALSE(cl.windowed);
    EXPECT_FALSE(cl.mute);
    EXPECT_FALSE(cl.help);
    EXPECT_FALSE(cl.version);
    EXPECT_FALSE(cl.haveDataDir);
    EXPECT_EQ(cl.seekMilliseconds, 0u);
    EXPECT_EQ(cl.scale, 1);
}

TEST(CommandLine, EachOption) {
    CommandLine cl;
    std::string error;
    ASSERT_TRUE(parse({"--windowed", "--data", "/some/where", "--mute", "--seek", "61.25"}, cl, error)) << error;
    EXPECT_TRUE(cl.windowed);
    EXPECT_TRUE(cl.mute);
    EXPECT_TRUE(cl.haveDataDir);
    EXPECT_EQ(cl.dataDir, "/some/where");
    EXPECT_EQ(cl.seekMilliseconds, 61250u);

    CommandLine scaled, automatic;
    EXPECT_TRUE(parse({"--scale", "4"}, scaled, error));
    EXPECT_EQ(scaled.scale, 4);
    EXPECT_TRUE(parse({"--scale", "auto"}, automatic, error));
    EXPECT_EQ(automatic.scale, PICTURE_SCALE_AUTO);

    CommandLine help, version;
    EXPECT_TRUE(parse({"--help"}, help, error));
    EXPECT_TRUE(help.help);
    EXPECT_TRUE(parse({"--version"}, version, error));
    EXPECT_TRUE(version.version);

    // The data folder argument may look like an option; it is taken as the folder.
    CommandLine odd;
    EXPECT_TRUE(parse({"--data", "--mute"}, odd, error));
    EXPECT_EQ(odd.dataDir, "--mute");
    EXPECT_FALSE(odd.mute);
}

TEST(CommandLine, BadInputIsRefusedWithAReason) {
    const std::vector<std::vector<const char*>> bad = {
        {"--fullscreen"}, {"-w"}, {"windowed"}, {""}, {"--data"}, {"--seek"}, {"--data", ""},
        {"--seek", "abc"}, {"--seek", "-1"}, {"--seek", "1e3"}, {"--seek", "86400.5"}, {"--seek", ""},
        {"--seek", "nan"}, {"--seek", "1.2.3"}, {"--seek", "99999999999999999999999999999999999"},
        {"--windowed", "--seek", "5", "--bogus"}, {"--scale"}, {"--scale", "0"}, {"--scale", "5"},
        {"--scale", "x"}, {"--scale", "-1"}, {"--scale", "02"}, {"--scale", "Auto"}, {"--scale", ""}};
    for (const auto& args : bad) {
        CommandLine cl;
        std::string error;
        EXPECT_FALSE(parse(args, cl, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
    CommandLine cl;
    std::string error;
    parse({"--bogus"}, cl, error);
    EXPECT_NE(error.find("--bogus"), std::string::npos);
}

TEST(CommandLine, CaptureQualityAndWhatItGoesWith) {
    CommandLine h264, lossless;
    std::string error;
    ASSERT_TRUE(parse({"--capture", "a.mp4", "--crf", "23", "--preset", "faster"}, h264, error)) << error;
    EXPECT_EQ(h264.captureCrf, 23);
    EXPECT_EQ(h264.capturePreset, "faster");
    EXPECT_FALSE(h264.captureLossless);
    ASSERT_TRUE(parse({"--capture", "a.MKV", "--lossless", "--preset", "medium"}, lossless, error)) << error;
    EXPECT_TRUE(lossless.captureLossless);
    EXPECT_EQ(lossless.captureCrf, -1);

    const std::vector<std::vector<const char*>> bad = {
        {"--capture", "a.mp4", "--crf", "52"},       {"--capture", "a.mp4", "--crf", "-1"},
        {"--capture", "a.mp4", "--crf", "2.5"},      {"--capture", "a.mp4", "--crf", ""},
        {"--capture", "a.mp4", "--preset", "Fast"},  {"--capture", "a.mp4", "--preset", ""},
        {"--capture", "a.mp4", "--lossless"},        {"--capture", "a.mkv", "--lossless", "--crf", "0"},
        {"--capture", "a.webm", "--crf", "20"},      {"--capture", "a.webm", "--preset", "fast"},
        {"--crf", "20"},                             {"--lossless"}};
    for (const auto& args : bad) {
        CommandLine cl;
        EXPECT_FALSE(parse(args, cl, error)) << args[1] << " " << args[args.size() - 1];
        EXPECT_FALSE(error.empty());
    }
}

TEST(CommandLine, SecondsAndHelpText) {
    uint32_t ms = 1;
    EXPECT_TRUE(parseSeconds("0", ms));
    EXPECT_EQ(ms, 0u);
    EXPECT_TRUE(parseSeconds("115", ms));
    EXPECT_EQ(ms, 115000u);
    EXPECT_TRUE(parseSeconds("0.0015", ms));
    EXPECT_EQ(ms, 2u);  // rounded to whole milliseconds
    EXPECT_TRUE(parseSeconds("86400", ms));
    EXPECT_EQ(ms, 86400000u);

    const std::string usage = usageText("korvana");
    for (const OptionSpec& option : commandLineOptions()) EXPECT_NE(usage.find(option.name), std::string::npos);
    EXPECT_NE(usage.find("--data DIR"), std::string::npos);
    EXPECT_NE(usage.find("--seek SECONDS"), std::string::npos);
}

TEST(PictureScale, LargestThatFits) {
    EXPECT_EQ(largestPictureScale(640, 480), 1);
    EXPECT_EQ(largestPictureScale(1280, 800), 1);  // 960 lines do not fit in 800
    EXPECT_EQ(largestPictureScale(1920, 1080), 2);
    EXPECT_EQ(largestPictureScale(1920, 1440), 3);
    EXPECT_EQ(largestPictureScale(3840, 2160), 4);
    EXPECT_EQ(largestPictureScale(7680, 4320), 4);  // never beyond the largest
    EXPECT_EQ(largestPictureScale(320, 200), 1);    // never below 1
    EXPECT_EQ(largestPictureScale(0, 0), 1);
}

TEST(DataFolder, WorkingDirectoryDefaultsOrTheNamedFolder) {
    namespace fs = std::filesystem;
    test::ScratchDir scratch;
    const fs::path root = fs::canonical(scratch.path());
    fs::create_directories(root / "cwd");
    fs::create_directories(root / "content");
    fs::create_directories(root / "installed");
    const std::vector<std::string> defaults = {(root / "missing").string(), (root / "content").string(),
                                               (root / "installed").string()};
    std::string error;
    {
        // Neither file here: the first default folder that exists.
        test::WorkingDir wd(root / "cwd");
        ASSERT_TRUE(enterDataFolder("", defaults, error));
        EXPECT_EQ(fs::current_path(), root / "content");
    }
    {
        // Either file is enough to stay.
        std::ofstream(root / "cwd" / "ripped.mp3") << "x";
        test::WorkingDir wd(root / "cwd");
        ASSERT_TRUE(enterDataFolder("", defaults, error));
        EXPECT_EQ(fs::current_path(), root / "cwd");
        fs::remove(root / "cwd" / "ripped.mp3");
        std::ofstream(root / "cwd" / "megadata.rar") << "x";
        ASSERT_TRUE(enterDataFolder("", defaults, error));
        EXPECT_EQ(fs::current_path(), root / "cwd");
    }
    {
        // No default exists: stay, and let the show say what is missing.
        fs::remove(root / "cwd" / "megadata.rar");
        test::WorkingDir wd(root / "cwd");
        ASSERT_TRUE(enterDataFolder("", {(root / "nothing").string()}, error));
        EXPECT_EQ(fs::current_path(), root / "cwd");
        // A named folder wins over everything.
        ASSERT_TRUE(enterDataFolder((root / "installed").string(), defaults, error));
        EXPECT_EQ(fs::current_path(), root / "installed");
    }
    {
        test::WorkingDir wd(root / "cwd");
        error.clear();
        EXPECT_FALSE(enterDataFolder((root / "nowhere").string(), defaults, error));
        EXPECT_NE(error.find("nowhere"), std::string::npos);
        std::ofstream(root / "file") << "x";
        EXPECT_FALSE(enterDataFolder((root / "file").string(), defaults, error));
        EXPECT_EQ(fs::current_path(), root / "cwd");
    }
}

}  // namespace
}  // namespace korvana
