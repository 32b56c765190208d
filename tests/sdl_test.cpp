// The SDL device on a virtual X display (Xvfb, 640x480x24, no window manager),
// driven with xdotool the way a player would: the pointer, clicks and keys reach
// the game, the screen shows the frame buffer exactly, every way of quitting ends
// the program well, and without a display it says why and stops at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>

#include "platform/input.h"
#include "tests/process.h"
#include "tests/xdisplay.h"

namespace {

using test::xdotool;

// Exit status 0, after Run returned.
bool exited_well(test::Child& game) { return game.wait() == 0 && game.seen().find("done\n") != std::string::npos; }

// The line the small game prints for a key it sees.
std::string key_line(uint8 code, int lock) {
    char line[32];
    std::snprintf(line, sizeof line, "key 0x%02x numlock %d", code, lock);
    return line;
}

TEST(SdlTest, ThePlayersInputReachesTheGameAndTheScreenShowsItsFrameExactly) {
    // The frame that the same steps leave on the headless device.
    std::string script = ::testing::TempDir() + "globoid-sdl-steps.txt", shot = script + ".png";
    std::ofstream(script) << "move 100 150\nmove 639 479\nclick 200 100\ntap kp6\nshot " << shot << "\n";
    ASSERT_EQ(test::run({MINIGAME, "--script", script}, {}, 30000), 0);
    test::Picture frame = test::read_png(shot);
    ASSERT_EQ(frame.rgb.size(), 640u * 480u);

    test::Child game({MINIGAME}, test::x_env());
    ASSERT_TRUE(game.expect("ready")) << game.errors();
    const std::pair<std::vector<std::string>, std::string> steps[] = {
        {{"mousemove", "100", "150"}, "mouse 100 150"}, {{"mousemove", "639", "479"}, "mouse 623 463"},
        // A click as short as xdotool makes it is not lost between two passes.
        {{"mousemove", "200", "100", "click", "1"}, "click 200 100"}, {{"key", "KP_Right"}, key_line(KEY_KP6, 0)}};
    for (const auto& [step, seen] : steps) {
        xdotool(step);
        ASSERT_TRUE(game.expect(seen)) << game.seen();
    }
    // The screen follows the frame buffer soon; look until it agrees.
    test::Picture screen;
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((screen = test::screenshot()).rgb != frame.rgb && std::chrono::steady_clock::now() < limit) {}
    test::Difference d = test::compare(frame, screen);
    if (d.count) {
        test::write_ppm("sdl_test_expected.ppm", frame);
        test::write_ppm("sdl_test_actual.ppm", screen);
    }
    EXPECT_EQ(d.count, 0u) << "first at (" << d.x << ", " << d.y << "); see sdl_test_{expected,actual}.ppm";

    const std::pair<const char*, uint8> keys[] = {
        {"KP_Home", KEY_KP7}, {"KP_Prior", KEY_KP9}, {"KP_Left", KEY_KP4}, {"KP_Right", KEY_KP6},
        {"KP_End", KEY_KP1},  {"KP_Next", KEY_KP3},  {"space", KEY_SPACE}, {"Return", KEY_ENTER}};
    for (int lock : {0, 1}) {
        for (const auto& k : keys) {
            xdotool({"key", k.first});
            EXPECT_TRUE(game.expect(key_line(k.second, lock)))
                << k.first << "\n" << game.seen();
        }
        xdotool({"key", "Num_Lock"}); // on after the first round, off again after the second
    }
    // Escape: the game asks to quit, as after a victory.
    xdotool({"key", "Escape"});
    EXPECT_TRUE(game.expect(key_line(KEY_ESCAPE, 0))) << game.seen();
    EXPECT_TRUE(exited_well(game)) << game.errors();
}

TEST(SdlTest, AltF4CtrlCAndSigtermEndTheProgramWell) {
    for (const char* how : {"alt+F4", "INT", "TERM"}) {
        test::Child game({MINIGAME}, test::x_env());
        ASSERT_TRUE(game.expect("ready")) << game.errors();
        if (how[0] == 'a') xdotool({"key", how});
        else game.signal(how[0] == 'I' ? SIGINT : SIGTERM);
        EXPECT_TRUE(exited_well(game)) << how << "\n" << game.errors();
    }
}

TEST(SdlTest, WithoutADisplayItSaysWhyOnOneLineAndStopsAtOnce) {
    for (const std::string& xdg : {std::string("XDG_RUNTIME_DIR"), "XDG_RUNTIME_DIR=" + ::testing::TempDir()}) {
        auto start = std::chrono::steady_clock::now();
        test::Child game({MINIGAME}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", xdg});
        int status = game.wait(5000);
        std::string errors = game.errors();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_NE(errors.find("minigame: cannot take the screen: no display found"), std::string::npos) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(game.seen(), "");
    }
}

} // namespace
