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

#include "tests/process.h"
#include "tests/xdisplay.h"

namespace {

using test::Picture;
using test::screenshot;
using test::xdotool;

const std::string kDump = ::testing::TempDir() + "globoid-sdl-frame.raw";

std::vector<std::string> game_env() {
    std::vector<std::string> env = test::x_env();
    env.push_back("MINIGAME_DUMP=" + kDump);
    return env;
}

// The frame the game last copied out, as the small game dumps it.
Picture dumped() {
    std::ifstream in(kDump, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Picture p;
    if (bytes.size() != 640 * 480 * 4) return p;
    for (size_t i = 0; i < 640 * 480; i++) {
        const uint8_t* px = reinterpret_cast<const uint8_t*>(&bytes[i * 4]);
        p.rgb.push_back(uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0]);
    }
    return p;
}

bool exited_well(test::Child& game) {
    int status = game.wait();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && game.seen().find("done\n") != std::string::npos;
}

TEST(SdlTest, ThePointerAndClicksReachTheGame) {
    test::Child game({MINIGAME}, game_env());
    ASSERT_TRUE(game.expect("ready")) << game.errors();
    xdotool({"mousemove", "100", "150"});
    EXPECT_TRUE(game.expect("mouse 100 150")) << game.seen();
    xdotool({"mousemove", "639", "479"});
    EXPECT_TRUE(game.expect("mouse 623 463")) << game.seen();
    // A click as short as xdotool makes it is not lost between two passes.
    xdotool({"mousemove", "50", "60", "click", "1"});
    EXPECT_TRUE(game.expect("click 50 60")) << game.seen();
    game.signal(SIGTERM);
    EXPECT_TRUE(exited_well(game)) << game.errors();
}

TEST(SdlTest, TheKeysReachTheGameWithNumLockOffAndOn) {
    const std::pair<const char*, const char*> keys[] = {
        {"KP_Home", "0x37"}, {"KP_Prior", "0x39"}, {"KP_Left", "0x48"}, {"KP_Right", "0x4a"},
        {"KP_End", "0x58"},  {"KP_Next", "0x5a"},  {"space", "0x5e"},   {"Return", "0x47"}};
    test::Child game({MINIGAME}, game_env());
    ASSERT_TRUE(game.expect("ready")) << game.errors();
    xdotool({"mousemove", "320", "240"});
    for (int lock : {0, 1}) {
        for (const auto& k : keys) {
            xdotool({"key", k.first});
            EXPECT_TRUE(game.expect(std::string("key ") + k.second + " numlock " + std::to_string(lock)))
                << k.first << "\n" << game.seen();
        }
        xdotool({"key", "Num_Lock"}); // on after the first round, off again after the second
    }
    // Escape: the game asks to quit, as after a victory.
    xdotool({"key", "Escape"});
    EXPECT_TRUE(game.expect("key 0x01 numlock 0")) << game.seen();
    EXPECT_TRUE(exited_well(game)) << game.errors();
}

TEST(SdlTest, TheScreenShowsTheFrameBufferExactly) {
    std::remove(kDump.c_str());
    test::Child game({MINIGAME}, game_env());
    ASSERT_TRUE(game.expect("ready")) << game.errors();
    xdotool({"mousemove", "200", "100", "click", "1"});
    ASSERT_TRUE(game.expect("click 200 100")) << game.seen();
    xdotool({"key", "KP_Right"});
    ASSERT_TRUE(game.expect("key 0x4a numlock 0")) << game.seen();
    // The screen follows the frame buffer soon; look until both agree.
    Picture frame, screen;
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        frame = dumped();
        screen = screenshot();
    } while ((frame.rgb.empty() || frame.rgb != screen.rgb) && std::chrono::steady_clock::now() < limit);
    ASSERT_EQ(frame.rgb.size(), 640u * 480u);
    ASSERT_EQ(screen.rgb.size(), 640u * 480u);
    test::Difference d = test::compare(frame, screen);
    if (d.count) {
        test::write_ppm("sdl_test_expected.ppm", frame);
        test::write_ppm("sdl_test_actual.ppm", screen);
    }
    EXPECT_EQ(d.count, 0u) << "first at (" << d.x << ", " << d.y
                           << "); see sdl_test_expected.ppm and sdl_test_actual.ppm";
    game.signal(SIGINT);
    EXPECT_TRUE(exited_well(game)) << game.errors();
}

TEST(SdlTest, AltF4EndsTheProgramWell) {
    test::Child game({MINIGAME}, game_env());
    ASSERT_TRUE(game.expect("ready")) << game.errors();
    xdotool({"mousemove", "320", "240"});
    xdotool({"key", "alt+F4"});
    EXPECT_TRUE(exited_well(game)) << game.errors();
}

TEST(SdlTest, WithoutADisplayItSaysWhyOnOneLineAndStopsAtOnce) {
    const std::string runtime = ::testing::TempDir();
    for (const std::string& xdg : {std::string("XDG_RUNTIME_DIR"), "XDG_RUNTIME_DIR=" + runtime}) {
        auto start = std::chrono::steady_clock::now();
        test::Child game({MINIGAME}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", xdg});
        int status = game.wait(5000);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::string errors = game.errors();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
        EXPECT_LT(seconds, 2.0);
        EXPECT_NE(errors.find("minigame: cannot take the screen: no display found"), std::string::npos) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(game.seen(), "");
    }
}

} // namespace
