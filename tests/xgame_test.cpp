// The whole game on a real X server (Xvfb, 640x480x24, no window manager), played
// with xdotool as a player would: space on the title, clicks on marbles, and the
// six keypad keys by the names that leave Num Lock alone. After every step the
// screen must come to show exactly the frame that the same steps give on the
// headless device. The window carries the game's icon; closing it, or SIGTERM,
// ends the game with status 0.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <png.h>
#include <sys/wait.h>
#include <thread>

#include "tests/picture.h"
#include "tests/process.h"
#include "tests/xdisplay.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kBuild = GLOBOID_BUILD_DIR;
std::string shots; // a fresh directory for the headless run's shots

// Where the pointer waits before the game starts. The game draws its own cursor
// into the frame, so both runs must have it at the same place at every step.
const char* const kRestX = "600";
const char* const kRestY = "20";

// One step as xdotool gives it on the X server, and as the headless device's
// script gives it. Cell (x, y) is clicked at (25x + 69, 38y - 43).
struct Step {
    std::vector<std::string> xdotool;
    std::string script;
};
const Step kSteps[] = {
    {{"key", "space"}, "tap space"},
    {{"mousemove", "269", "109", "click", "1"}, "click 269 109"}, // first player, (8, 4)
    {{"key", "KP_Next"}, "tap kp3"},                              // down-right to (9, 5)
    {{"mousemove", "269", "261", "click", "1"}, "click 269 261"}, // second player, (8, 8)
    {{"key", "KP_Prior"}, "tap kp9"},                             // up-right to (9, 7)
    {{"mousemove", "194", "71", "click", "1"}, "click 194 71"},   // (5, 3)
    {{"key", "KP_End"}, "tap kp1"},                               // down-left to (4, 4)
    {{"mousemove", "369", "261", "click", "1"}, "click 369 261"}, // (12, 8)
    {{"key", "KP_Home"}, "tap kp7"},                              // up-left to (11, 7)
    {{"mousemove", "294", "147", "click", "1"}, "click 294 147"}, // (9, 5)
    {{"key", "KP_Right"}, "tap kp6"},                             // right to (11, 5)
    {{"mousemove", "319", "261", "click", "1"}, "click 319 261"}, // (10, 8)
    {{"key", "KP_Left"}, "tap kp4"},                              // left to (8, 8)
};
constexpr size_t kStepCount = sizeof kSteps / sizeof kSteps[0];

std::string shot_path(size_t i) { return shots + "/step" + std::to_string(i) + ".png"; }

// The frames expected: shot 0 is the title, shot i follows step i.
std::vector<test::Picture> expected;

// The game in the build tree, beside its pictures, on the X display.
std::unique_ptr<test::Child> start_game() {
    test::xdotool({"mousemove", kRestX, kRestY});
    return std::make_unique<test::Child>(test::in_dir(kBuild, {kBuild + "/globoid"}), test::x_env());
}

// Waits until the screen shows `want`; on a mismatch that outlasts the limit,
// writes both pictures into the working directory and fails.
void expect_screen(const test::Picture& want, const std::string& name) {
    test::Picture screen;
    auto limit = Clock::now() + std::chrono::seconds(20);
    do {
        screen = test::screenshot();
        if (screen.rgb == want.rgb) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < limit);
    test::Difference d = test::compare(want, screen);
    test::write_ppm("xgame_test_" + name + "_expected.ppm", want);
    test::write_ppm("xgame_test_" + name + "_actual.ppm", screen);
    ADD_FAILURE() << name << ": " << d.count << " pixels differ, the first at (" << d.x << ", " << d.y
                  << "); see xgame_test_" << name << "_{expected,actual}.ppm";
}

bool exited_well(test::Child& game) {
    int status = game.wait(20000);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A connection to the X display for what xdotool cannot do: read a window's
// properties and ask it to close, as a window manager would.
class X {
public:
    X() : d_(XOpenDisplay(test::x_display().c_str())) {}
    ~X() {
        if (d_) XCloseDisplay(d_);
    }
    bool open() const { return d_ != nullptr; }

    // The top-level window of process `pid`, or 0.
    Window window_of(pid_t pid) {
        Window root = DefaultRootWindow(d_), parent = 0, *children = nullptr, found = 0;
        unsigned count = 0;
        if (!XQueryTree(d_, root, &root, &parent, &children, &count)) return 0;
        for (unsigned i = 0; i < count && !found; i++) {
            std::vector<uint32_t> v = property(children[i], "_NET_WM_PID");
            if (v.size() == 1 && v[0] == uint32_t(pid)) found = children[i];
        }
        if (children) XFree(children);
        return found;
    }

    // A property of 32-bit items. Xlib hands each over in a long, sign-extended.
    std::vector<uint32_t> property(Window w, const char* name) {
        Atom atom = XInternAtom(d_, name, True), type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<uint32_t> out;
        if (atom == None || XGetWindowProperty(d_, w, atom, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &count,
                                               &after, &data) != Success)
            return out;
        for (unsigned long i = 0; data && format == 32 && i < count; i++)
            out.push_back(uint32_t(reinterpret_cast<long*>(data)[i]));
        if (data) XFree(data);
        return out;
    }

    void close(Window w) {
        XEvent e;
        std::memset(&e, 0, sizeof e);
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d_, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(XInternAtom(d_, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d_, w, False, NoEventMask, &e);
        XFlush(d_);
    }

private:
    Display* d_;
};

// The icon as drawn at build time: 0xAARRGGBB per pixel, as X keeps icons.
std::vector<uint32_t> drawn_icon() {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint32_t> out;
    if (!png_image_begin_read_from_file(&image, (kBuild + "/icons/globoid-32.png").c_str())) return out;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return out;
    out = {image.width, image.height};
    for (size_t i = 0; i < rgba.size(); i += 4)
        out.push_back(uint32_t(rgba[i + 3]) << 24 | rgba[i] << 16 | rgba[i + 1] << 8 | rgba[i + 2]);
    return out;
}

class XGame : public ::testing::Test {
protected:
    // The same steps on the headless device, with a shot after each.
    static void SetUpTestSuite() {
        std::string pattern = ::testing::TempDir() + "globoid-xgame-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        shots = pattern;
        std::string script = shots + "/steps.txt";
        {
            std::ofstream out(script);
            out << "move " << kRestX << " " << kRestY << "\nshot " << shot_path(0) << "\n";
            for (size_t i = 0; i < kStepCount; i++) out << kSteps[i].script << "\nshot " << shot_path(i + 1) << "\n";
        }
        ASSERT_EQ(test::run(test::in_dir(kBuild, {kBuild + "/globoid", "--script", script}), {}, 60000), 0);
        for (size_t i = 0; i <= kStepCount; i++) {
            expected.push_back(test::read_png(shot_path(i)));
            ASSERT_EQ(expected.back().rgb.size(), 640u * 480u) << shot_path(i);
            // Every step shows, so a step lost on the way cannot pass unnoticed.
            if (i > 0) {
                ASSERT_NE(expected[i].rgb, expected[i - 1].rgb) << "step " << i << " changes nothing";
            }
        }
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(shots); }
};

TEST_F(XGame, EveryStepShowsAsOnTheHeadlessDeviceAndClosingTheWindowEndsTheGame) {
    std::unique_ptr<test::Child> game = start_game();
    expect_screen(expected[0], "title");
    for (size_t i = 0; i < kStepCount && !HasFailure(); i++) {
        test::xdotool(kSteps[i].xdotool);
        expect_screen(expected[i + 1], "step" + std::to_string(i + 1));
    }
    X x;
    ASSERT_TRUE(x.open());
    Window w = x.window_of(game->pid());
    ASSERT_NE(w, 0u);
    x.close(w);
    EXPECT_TRUE(exited_well(*game)) << game->errors();
}

TEST_F(XGame, TheWindowCarriesTheIconAndSigtermEndsTheGame) {
    std::unique_ptr<test::Child> game = start_game();
    expect_screen(expected[0], "title");
    X x;
    ASSERT_TRUE(x.open());
    Window w = x.window_of(game->pid());
    ASSERT_NE(w, 0u);
    std::vector<uint32_t> icon = drawn_icon();
    ASSERT_EQ(icon.size(), 2u + 32 * 32);
    std::vector<uint32_t> shown = x.property(w, "_NET_WM_ICON");
    ASSERT_EQ(shown.size(), icon.size());
    auto [a, b] = std::mismatch(icon.begin(), icon.end(), shown.begin());
    EXPECT_TRUE(a == icon.end()) << "first at pixel " << (a - icon.begin() - 2) << ": drawn " << std::hex << *a
                                 << ", shown " << *b;

    test::xdotool(kSteps[0].xdotool);
    expect_screen(expected[1], "board");
    game->signal(SIGTERM);
    EXPECT_TRUE(exited_well(*game)) << game->errors();
}

} // namespace
