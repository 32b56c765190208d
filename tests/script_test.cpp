// Scripted runs of the small game on the headless device: each step's finished
// effect is in the shot that follows it, replays are identical, and every way a
// run can go wrong ends it with a message and a failing status.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <png.h>
#include <sys/wait.h>

#include "tests/process.h"

namespace {

const std::string kDir = ::testing::TempDir() + "globoid-script-test/";

std::string write_script(const std::string& name, const std::string& text) {
    std::system(("mkdir -p " + kDir).c_str());
    std::ofstream(kDir + name) << text;
    return kDir + name;
}

struct Image {
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        const uint8_t* p = &rgb[(size_t(y) * 640 + x) * 3];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

Image read_png(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    Image out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGB;
    if (image.width != 640 || image.height != 480) return out;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) out.rgb.clear();
    return out;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The small game's pictures: its cursor's tip is black, its marks red, a lit box green.
constexpr uint32_t kTip = 0x000000, kMark = 0xFF2020, kLit = 0x20E020;
bool cursor_at(const Image& shot, int x, int y) {
    return shot.at(x, y) == kTip && shot.at(x + 1, y + 1) == kTip && shot.at(x + 1, y + 2) == 0xFFFFFF;
}

struct Outcome {
    int status;
    std::string out, err;
};

Outcome play(const std::string& script, std::vector<std::string> env = {}) {
    test::Child child({MINIGAME, "--script", script}, env);
    int status = child.wait(30000);
    return {status, child.seen(), child.errors()};
}

const char* kSteps = R"(# every kind of step, each followed by a shot of its effect
move 100 100
shot {dir}a.png
click 200 150   # leaves a mark under the cursor
shot {dir}b.png
key kp6 down
shot {dir}c.png
key kp6 up
tap 0x37
move 700 -20    # clamped into the screen
shot {dir}d.png
)";

std::string steps_in(const std::string& dir) {
    std::string text = kSteps;
    for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir);
    return text;
}

TEST(ScriptTest, EachShotShowsTheFinishedEffectOfTheStepsBeforeIt) {
    Outcome run = play(write_script("steps.txt", steps_in(kDir)));
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.err;
    EXPECT_NE(run.out.find("click 200 150\nkey 0x4a numlock 0\nkey 0x37 numlock 0\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 5), "done\n") << "a script that runs out closes the game";

    Image a = read_png(kDir + "a.png"), b = read_png(kDir + "b.png");
    Image c = read_png(kDir + "c.png"), d = read_png(kDir + "d.png");
    ASSERT_FALSE(a.rgb.empty() || b.rgb.empty() || c.rgb.empty() || d.rgb.empty());
    EXPECT_TRUE(cursor_at(a, 100, 100));
    EXPECT_TRUE(cursor_at(b, 200, 150));
    EXPECT_EQ(b.at(207, 150), kMark); // beside the cursor's tip
    EXPECT_NE(a.at(207, 150), kMark);
    EXPECT_EQ(c.at(180, 450), kLit);  // the keypad 6 box
    EXPECT_NE(b.at(180, 450), kLit);
    EXPECT_EQ(d.at(60, 450), kLit);   // the keypad 7 box, after tap 0x37
    EXPECT_TRUE(cursor_at(d, 623, 0));
}

TEST(ScriptTest, ReplaysGiveTheSamePictures) {
    std::string first = kDir + "one-", second = kDir + "two-";
    ASSERT_EQ(play(write_script("one.txt", steps_in(first))).status, 0);
    ASSERT_EQ(play(write_script("two.txt", steps_in(second))).status, 0);
    for (const char* shot : {"a.png", "b.png", "c.png", "d.png"}) {
        std::string x = slurp(first + shot), y = slurp(second + shot);
        EXPECT_FALSE(x.empty());
        EXPECT_EQ(x, y) << shot;
    }
}

TEST(ScriptTest, ABadScriptIsRefusedBeforeAnythingRuns) {
    for (const char* text : {"move 1 2\njump 3\n", "tap kp5\n", "move 1\n", "press 4\n", "key space sideways\n",
                             "signal HUP\n", "signal\n"}) {
        Outcome run = play(write_script("bad.txt", text));
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 2) << text;
        EXPECT_NE(run.err.find("bad.txt, line "), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("ready"), std::string::npos) << text;
    }
    Outcome missing = play(kDir + "no-such-script.txt");
    EXPECT_TRUE(WIFEXITED(missing.status) && WEXITSTATUS(missing.status) == 2);
    EXPECT_NE(missing.err.find("cannot read script"), std::string::npos) << missing.err;
}

TEST(ScriptTest, AStepTheGameNeverTakesInFailsTheRunLoudly) {
    // The secondary button makes the small game stop polling for good.
    Outcome run = play(write_script("stall.txt", "press 2\nshot " + kDir + "never.png\n"),
                   {"GLOBOID_SCRIPT_LIMIT_MS=300"});
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) != 0);
    EXPECT_NE(run.err.find("line 1: the game did not take in \"press 2\" within 300 ms"), std::string::npos) << run.err;
    EXPECT_TRUE(slurp(kDir + "never.png").empty());
}

TEST(ScriptTest, AShotThatCannotBeWrittenFailsTheRun) {
    Outcome run = play(write_script("noshot.txt", "shot /no/such/dir/x.png\n"));
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) != 0);
    EXPECT_NE(run.err.find("cannot write /no/such/dir/x.png"), std::string::npos) << run.err;
}

TEST(ScriptTest, TheGamesOwnQuitEndsTheRunWell) {
    // Escape makes the small game ask to quit and idle, as the victory screen does.
    Outcome run = play(write_script("escape.txt", "tap escape\nmove 5 5\n"));
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.err;
    EXPECT_NE(run.out.find("key 0x01 numlock 0\ndone\n"), std::string::npos) << run.out;
}

TEST(ScriptTest, TerminationEndsAHeadlessRunWell) {
    for (int sig : {SIGTERM, SIGINT}) {
        test::Child child({MINIGAME, "--headless"});
        ASSERT_TRUE(child.expect("ready"));
        child.signal(sig);
        EXPECT_EQ(child.wait(), 0) << child.errors();
        EXPECT_NE(child.seen().find("done"), std::string::npos);
    }
}

} // namespace
