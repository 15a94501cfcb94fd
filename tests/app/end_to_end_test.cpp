// The real program, started as the user starts it, headless: it plays frames and ends with 0 on
// SIGTERM or SIGINT, reports a missing music file and an unusable display with exit code 1, and
// refuses bad options with exit code 2.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/run_program.h"
#include "platform/test_media.h"

namespace korvana {
namespace {

using test::kProgram;
using test::Outcome;
using test::run;

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kProgram)) << kProgram << " is not built";
    }
};

TEST_F(EndToEnd, PlaysUntilSigtermOrSigintAndExitsZero) {
    if (!test::haveLame()) GTEST_SKIP() << "the lame encoder is not installed";
    test::ScratchDir dir;
    ASSERT_TRUE(test::makeMp3(dir.path() / "ripped.mp3", 2.0));

    const Outcome windowed = run(dir.path(), {"--windowed"}, 1500, SIGTERM);
    EXPECT_TRUE(windowed.aliveAtSignal);  // still playing after 1.5 s
    EXPECT_TRUE(windowed.exited);
    EXPECT_EQ(windowed.code, 0) << windowed.err;

    const Outcome fullScreen = run(dir.path(), {}, 1200, SIGINT);
    EXPECT_TRUE(fullScreen.aliveAtSignal);
    EXPECT_TRUE(fullScreen.exited);
    EXPECT_EQ(fullScreen.code, 0) << fullScreen.err;

    const Outcome muted = run(dir.path(), {"--mute", "--windowed", "--seek", "100"}, 800, SIGTERM);
    EXPECT_TRUE(muted.aliveAtSignal);
    EXPECT_EQ(muted.code, 0) << muted.err;
}

TEST_F(EndToEnd, MissingMusicIsTheSoundErrorAndExitOne) {
    test::ScratchDir dir;
    std::filesystem::create_directories(dir.path() / "data");
    // --data keeps the program from falling back to the default content.
    const Outcome o = run(dir.path(), {"--windowed", "--data", (dir.path() / "data").string()});
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("File not found"), std::string::npos) << o.err;
}

TEST_F(EndToEnd, NoUsableDisplayIsTheScreenmodeMessageAndExitOne) {
    test::ScratchDir dir;
    const Outcome o = run(dir.path(), {"--mute"}, -1, SIGTERM, "nonexistent");
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("The selected screenmode is not supported!"), std::string::npos) << o.err;
}

// The picture keeps quiet about a missing mesh or image, and the person is told why, once: the
// archive missing, then a member missing, and nothing at all when everything is there.
TEST_F(EndToEnd, AMissingArchiveOrMemberIsNamedOnce) {
    const std::filesystem::path content = std::filesystem::path(KORVANA_BINARY_DIR) / "content";
    if (!std::filesystem::exists(content / "megadata.rar")) GTEST_SKIP() << "default content not built";
    test::ScratchDir dir;
    const std::filesystem::path data = dir.path() / "data";
    std::filesystem::create_directories(data);
    const std::vector<std::string> shot = {"--data", data.string(), "--screenshot", "0", "shot.png"};

    const Outcome none = run(dir.path(), shot);
    EXPECT_EQ(none.code, 0) << none.err;
    EXPECT_EQ(none.err, "korvana: no megadata.rar in " + data.string() +
                            ": the show plays without its meshes and images\n");

    std::filesystem::copy_file(content / "megadata.rar", data / "megadata.rar");
    const Outcome whole = run(dir.path(), shot);
    EXPECT_EQ(whole.code, 0);
    EXPECT_EQ(whole.err, "");

    const std::string rar = KORVANA_BINARY_DIR "/tools/korvana-rar";
    ASSERT_EQ(std::system((rar + " d " + (data / "megadata.rar").string() + " 'jpg/tube_lys.jpg' >/dev/null").c_str()), 0);
    const Outcome lacking = run(dir.path(), shot);
    EXPECT_EQ(lacking.code, 0);
    EXPECT_EQ(lacking.err, "korvana: megadata.rar in " + data.string() + " has no \"jpg/tube_lys.jpg\"\n");
}

TEST_F(EndToEnd, OptionsThatEndAtOnce) {
    test::ScratchDir dir;
    const Outcome unknown = run(dir.path(), {"--fullscreen"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("unknown option '--fullscreen'"), std::string::npos) << unknown.err;

    const Outcome missingData = run(dir.path(), {"--data", (dir.path() / "nope").string()});
    EXPECT_EQ(missingData.code, 2);
    EXPECT_NE(missingData.err.find("nope"), std::string::npos);

    const Outcome badSeek = run(dir.path(), {"--seek"});
    EXPECT_EQ(badSeek.code, 2);
    for (const char* scale : {"0", "5", "x"}) {
        const Outcome badScale = run(dir.path(), {"--scale", scale});
        EXPECT_EQ(badScale.code, 2) << scale;
        EXPECT_NE(badScale.err.find("--scale"), std::string::npos) << badScale.err;
    }

    const Outcome help = run(dir.path(), {"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--windowed"), std::string::npos);

    const Outcome version = run(dir.path(), {"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string("korvana ") + KORVANA_VERSION + "\n");
}

}  // namespace
}  // namespace korvana
