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
#include <fstream>
#include <memory>
#include <thread>

#include "tests/picture.h"
#include "tests/process.h"
#include "tests/xdisplay.h"

namespace {

const std::string kBuild = GLOBOID_BUILD_DIR;

// One step as xdotool gives it on the X server, and as the headless device's
// script gives it. Cell (x, y) is clicked at its centre, (25x + 69, 38y - 43).
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

// The frames expected: [0] the title, [i] the frame after step i.
std::vector<test::Picture> expected;

class XGame : public ::testing::Test {
protected:
    // The same steps on the headless device, with a shot after each. The game draws
    // its own cursor into the frame, so both runs start with the pointer at (600, 20).
    static void SetUpTestSuite() {
        const std::string dir = test::scratch("xgame"), script = dir + "/steps.txt";
        std::string steps = "move 600 20\n";
        for (size_t i = 0; i <= std::size(kSteps); i++)
            steps += (i ? kSteps[i - 1].script + "\n" : "") + "shot " + dir + "/" + std::to_string(i) + ".png\n";
        std::ofstream(script) << steps;
        ASSERT_EQ(test::run(test::in_dir(kBuild, {kBuild + "/globoid", "--script", script}), {}, 60000), 0);
        for (size_t i = 0; i <= std::size(kSteps); i++) {
            expected.push_back(test::read_png(dir + "/" + std::to_string(i) + ".png"));
            ASSERT_EQ(expected[i].rgb.size(), 640u * 480u) << "shot " << i;
            // Every step shows, so a step lost on the way cannot pass unnoticed.
            ASSERT_TRUE(i == 0 || !test::differs(expected[i], expected[i - 1]).empty()) << "step " << i;
        }
    }

    // The game on the display, its title shown, and its top-level window found by
    // its _NET_WM_PID.
    void SetUp() override {
        test::xdotool({"mousemove", "600", "20"});
        game = std::make_unique<test::Child>(test::in_dir(kBuild, {kBuild + "/globoid"}), test::x_env());
        expect_screen(0);
        x = XOpenDisplay(test::x_display().c_str());
        ASSERT_NE(x, nullptr);
        Window root = DefaultRootWindow(x), parent = 0, *children = nullptr;
        unsigned count = 0;
        ASSERT_TRUE(XQueryTree(x, root, &root, &parent, &children, &count));
        for (unsigned i = 0; i < count; i++)
            if (property(children[i], "_NET_WM_PID") == std::vector<uint32_t>{uint32_t(game->pid())})
                window = children[i];
        if (children) XFree(children);
        ASSERT_NE(window, 0u);
    }
    void TearDown() override {
        if (x) XCloseDisplay(x);
    }

    // Waits until the screen shows expected[i]; on a mismatch that outlasts the
    // limit, writes both pictures into the working directory and fails.
    void expect_screen(size_t i) {
        test::Picture screen;
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            screen = test::screenshot();
            if (test::differs(screen, expected[i]).empty()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < limit);
        std::string name = "xgame_test_" + std::to_string(i);
        test::write_ppm(name + "_expected.ppm", expected[i]);
        test::write_ppm(name + "_actual.ppm", screen);
        ADD_FAILURE() << "step " << i << ": " << test::differs(screen, expected[i]) << "; see " << name << "_*.ppm";
    }

    // A property of 32-bit items. Xlib hands each over in a long, sign-extended.
    std::vector<uint32_t> property(Window w, const char* name) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<uint32_t> out;
        if (XGetWindowProperty(x, w, XInternAtom(x, name, False), 0, 1 << 20, False, XA_CARDINAL, &type, &format,
                               &count, &after, &data) != Success)
            return out;
        for (unsigned long i = 0; data && format == 32 && i < count; i++)
            out.push_back(uint32_t(reinterpret_cast<long*>(data)[i]));
        if (data) XFree(data);
        return out;
    }

    std::unique_ptr<test::Child> game;
    Display* x = nullptr;
    Window window = 0;
};

TEST_F(XGame, EveryStepShowsAsOnTheHeadlessDeviceAndClosingTheWindowEndsTheGame) {
    for (size_t i = 0; i < std::size(kSteps) && !HasFailure(); i++) {
        test::xdotool(kSteps[i].xdotool);
        expect_screen(i + 1);
    }
    // Asked to close, as a window manager would.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, window, False, NoEventMask, &e);
    XFlush(x);
    EXPECT_EQ(game->wait(20000), 0) << game->errors();
}

TEST_F(XGame, TheWindowCarriesTheIconAndSigtermEndsTheGame) {
    test::Picture icon = test::read_png(kBuild + "/icons/globoid-32.png");
    std::vector<uint32_t> drawn = {uint32_t(icon.w), uint32_t(icon.h)}, shown = property(window, "_NET_WM_ICON");
    drawn.insert(drawn.end(), icon.rgb.begin(), icon.rgb.end());
    ASSERT_EQ(drawn.size(), 2u + 32 * 32);
    ASSERT_EQ(shown.size(), drawn.size());
    auto [a, b] = std::mismatch(drawn.begin(), drawn.end(), shown.begin());
    EXPECT_TRUE(a == drawn.end()) << "first at pixel " << (a - drawn.begin() - 2) << ": drawn " << std::hex << *a
                                  << ", shown " << *b;
    test::xdotool(kSteps[0].xdotool);
    expect_screen(1);
    game->signal(SIGTERM);
    EXPECT_EQ(game->wait(20000), 0) << game->errors();
}

} // namespace
