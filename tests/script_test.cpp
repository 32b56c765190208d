// Scripted runs of the small game on the headless device: each step's finished
// effect is in the shot that follows it, replays are identical, a run without a
// script ends well on a signal, and every way a run can go wrong ends it with a
// message and a failing status.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>

#include "tests/picture.h"
#include "tests/process.h"

namespace {

const std::string kDir = ::testing::TempDir() + "globoid-script-"; // scripts and shots

struct Outcome {
    int status;
    std::string out, err;
};

// Runs the small game on a script of this text, with $ standing for `shots`; env
// may set the limit on each step's wait, else the default holds.
Outcome play(const std::string& name, std::string text, const std::string& shots = "",
             const char* env = "GLOBOID_SCRIPT_LIMIT_MS") {
    for (size_t at; (at = text.find('$')) != std::string::npos;) text.replace(at, 1, kDir + shots);
    if (!text.empty()) std::ofstream(kDir + name) << text;
    test::Child child({MINIGAME, "--script", kDir + name}, {env});
    int status = child.wait(30000);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, child.seen(), child.errors()};
}

const char* kSteps = R"(# every kind of step, each followed by a shot of its effect
move 100 100
shot $a.png
click 200 150   # leaves a mark under the cursor
shot $b.png
key kp6 down
shot $c.png
key kp6 up
tap 0x37
move 700 -20    # clamped into the screen
shot $d.png
)";

TEST(ScriptTest, EachShotShowsTheFinishedEffectOfTheStepsBeforeItAndReplaysAreTheSame) {
    Outcome run = play("steps.txt", kSteps, "one-");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("click 200 150\nkey 0x4a numlock 0\nkey 0x37 numlock 0\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 5), "done\n") << "a script that runs out closes the game";

    test::Picture shot[4];
    for (int i = 0; i < 4; i++) {
        shot[i] = test::read_png(kDir + "one-" + char('a' + i) + ".png");
        ASSERT_EQ(shot[i].rgb.size(), 640u * 480);
    }
    auto at = [&](int i, int x, int y) { return shot[i].at(x, y) & 0xFFFFFFu; }; // colour only
    // The cursor's tip is black with white below, marks are red, a lit box green.
    auto cursor_at = [&](int i, int x, int y) {
        return !at(i, x, y) && !at(i, x + 1, y + 1) && at(i, x + 1, y + 2) == 0xFFFFFF;
    };
    const uint32_t kMark = 0xFF2020, kLit = 0x20E020;
    EXPECT_TRUE(cursor_at(0, 100, 100));
    EXPECT_TRUE(cursor_at(1, 200, 150));
    EXPECT_EQ(at(1, 207, 150), kMark); // beside the cursor's tip
    EXPECT_NE(at(0, 207, 150), kMark);
    EXPECT_EQ(at(2, 180, 450), kLit); // the keypad 6 box
    EXPECT_NE(at(1, 180, 450), kLit);
    EXPECT_EQ(at(3, 60, 450), kLit); // the keypad 7 box, after tap 0x37
    EXPECT_TRUE(cursor_at(3, 623, 0));

    ASSERT_EQ(play("again.txt", kSteps, "two-").status, 0);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(test::read_png(kDir + "two-" + char('a' + i) + ".png").rgb, shot[i].rgb) << "shot " << i;
}

TEST(ScriptTest, WithoutAScriptARunIdlesUntilCtrlCOrSigtermEndsItWell) {
    for (int sig : {SIGINT, SIGTERM}) {
        test::Child idle({MINIGAME, "--headless"});
        ASSERT_TRUE(idle.expect("ready"));
        idle.signal(sig);
        EXPECT_EQ(idle.wait(), 0) << idle.errors();
        EXPECT_NE(idle.seen().find("done\n"), std::string::npos);
    }
}

TEST(ScriptTest, EveryWayARunCanGoWrongEndsItLoudly) {
    const struct {
        const char* script;
        std::string error;
        bool starts; // else the script is refused before the game starts
        const char* env = "GLOBOID_SCRIPT_LIMIT_MS";
    } bad[] = {
        {"", "cannot read script " + kDir + "missing.txt", false},
        {"move 1 2\njump 3\n", "bad.txt, line 2: unknown step \"jump\"", false},
        {"tap kp5\n", "bad.txt, line 1: unknown key \"kp5\"", false},
        {"move 1\n", "bad.txt, line 1: cannot read \"move 1\"", false},
        {"press 4\n", "bad.txt, line 1: cannot read", false},
        {"key space sideways\n", "bad.txt, line 1: cannot read", false},
        {"signal HUP\n", "bad.txt, line 1: unknown signal", false},
        {"signal\n", "bad.txt, line 1: cannot read", false},
        // The secondary button makes the small game stop polling for good.
        {"press 2\nshot $never.png\n", "bad.txt, line 1: the game did not take in \"press 2\" within 300 ms", true,
         "GLOBOID_SCRIPT_LIMIT_MS=300"},
        {"shot /no/such/dir/x.png\n", "bad.txt, line 1: cannot write /no/such/dir/x.png", true},
    };
    std::remove((kDir + "never.png").c_str());
    for (const auto& b : bad) {
        Outcome run = play(b.script[0] ? "bad.txt" : "missing.txt", b.script, "", b.env);
        EXPECT_EQ(run.status, 2) << b.script;
        EXPECT_NE(run.err.find(b.error), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("ready") != std::string::npos, b.starts) << run.out;
    }
    EXPECT_TRUE(test::read_png(kDir + "never.png").rgb.empty());
}

} // namespace
