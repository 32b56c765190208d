// The SDL device on a virtual X display (Xvfb, 640x480x24, no window manager),
// driven with xdotool the way a player would: the pointer, clicks and keys reach
// the game, the screen shows the frame buffer exactly, every way of quitting ends
// the program well, and without a display it says why and stops at once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/process.h"

extern char** environ;

namespace {

std::string display; // ":N" once Xvfb runs
pid_t xvfb = -1;
const std::string kDump = ::testing::TempDir() + "globoid-sdl-frame.raw";

// Starts Xvfb on a display it picks itself (-displayfd), so parallel runs never clash.
class VirtualDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp", nullptr};
        int failed = posix_spawnp(&xvfb, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        ASSERT_EQ(failed, 0) << "Xvfb is missing: scripts/deps.sh installs it";
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display = ":" + number;
    }
    void TearDown() override {
        if (xvfb > 0) {
            kill(xvfb, SIGTERM);
            waitpid(xvfb, nullptr, 0);
        }
    }
};
const auto* virtual_display = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

std::string with_option(const char* name, const std::string& option) {
    const char* options = std::getenv(name);
    return std::string(name) + "=" + (options ? std::string(options) + ":" : "") + option;
}

// Under the sanitizers, the display's own libraries are not ours to judge: D-Bus
// and the GL driver keep a few allocations to the end of the process, and the GL
// driver's threads work among themselves. Our code's leaks are looked for in the
// headless runs, which share all of it but the SDL device.
std::vector<std::string> game_env() {
    return {"DISPLAY=" + display, "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "GLOBOID_WINDOWED", "GLOBOID_DEVICE",
            "GLOBOID_SCRIPT", "MINIGAME_DUMP=" + kDump, with_option("ASAN_OPTIONS", "detect_leaks=0"),
            with_option("TSAN_OPTIONS", "suppressions=" DISPLAY_SUPPRESSIONS)};
}

void xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/xdotool");
    ASSERT_EQ(test::run(args, {"DISPLAY=" + display}), 0) << "xdotool " << args[1];
}

struct Picture {
    std::vector<uint32_t> rgb; // 0xRRGGBB per pixel
};

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

uint32_t be32(const std::string& s, size_t at) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&s[at]);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The whole screen as `xwd -root` sees it: a big-endian header, a colour map,
// then rows of 32-bit pixels whose byte order and channel masks the header gives.
Picture screenshot() {
    std::string path = ::testing::TempDir() + "globoid-sdl-root.xwd";
    Picture p;
    if (test::run({"/usr/bin/xwd", "-root", "-silent", "-out", path}, {"DISPLAY=" + display}) != 0) return p;
    std::ifstream in(path, std::ios::binary);
    std::string x((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (x.size() < 100) return p;
    uint32_t header = be32(x, 0), width = be32(x, 16), height = be32(x, 20), byte_order = be32(x, 28);
    uint32_t bits = be32(x, 44), row = be32(x, 48), red = be32(x, 56), green = be32(x, 60), blue = be32(x, 64);
    uint32_t colours = be32(x, 76);
    size_t start = header + colours * 12;
    if (width != 640 || height != 480 || bits != 32 || x.size() < start + size_t(row) * 480) return p;
    auto channel = [](uint32_t v, uint32_t mask) {
        while (!(mask & 1)) mask >>= 1, v >>= 1;
        return v & mask;
    };
    for (uint32_t y = 0; y < 480; y++)
        for (uint32_t c = 0; c < 640; c++) {
            const uint8_t* q = reinterpret_cast<const uint8_t*>(&x[start + y * row + c * 4]);
            uint32_t v = byte_order == 0 ? uint32_t(q[0]) | q[1] << 8 | q[2] << 16 | uint32_t(q[3]) << 24
                                         : uint32_t(q[3]) | q[2] << 8 | q[1] << 16 | uint32_t(q[0]) << 24;
            p.rgb.push_back(channel(v, red) << 16 | channel(v, green) << 8 | channel(v, blue));
        }
    return p;
}

void write_ppm(const std::string& path, const Picture& p) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n640 480\n255\n";
    for (uint32_t v : p.rgb) out << char(v >> 16) << char(v >> 8) << char(v);
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
    size_t count = 0, first = 0;
    for (size_t i = 0; i < frame.rgb.size(); i++)
        if (frame.rgb[i] != screen.rgb[i] && count++ == 0) first = i;
    if (count) {
        write_ppm("sdl_test_expected.ppm", frame);
        write_ppm("sdl_test_actual.ppm", screen);
    }
    EXPECT_EQ(count, 0u) << "first at (" << first % 640 << ", " << first / 640
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
