// The whole game on a real X server (Xvfb, 640x480x24, no window manager) through
// the SDL device, played with xdotool as a player would: keys and clicks of no
// length, each followed at once by a move and a key, reach the game in order, the keypad with Num Lock off and on and
// the letters too, and after every step the screen shows exactly the frame the same steps give on the headless device.
// On a screen of 1920x1080, with no window manager and under openbox, the whole frame shows, scaled, and clicks land
// where they are drawn. The window carries the game's icon; closing it or Alt+F4 ends the game with status 0. Without a
// display the game says why on one line and stops at once.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/harness.h"

namespace {

const std::string kBuild = GLOBOID_BUILD_DIR;

// One step by xdotool on the X server, and the same in a script. Cells are
// clicked at their centres, with a click of no length that the pointer leaves at
// once, as a touchpad's tap gives; keys come with no delay either.
struct Step {
    std::vector<std::string> xdotool;
    std::string script;
};
Step click(const char* x, const char* y) {
    return {{"mousemove", x, y, "click", "--delay", "0", "1", "mousemove", "600", "20"},
            std::string("click ") + x + " " + y + "\nmove 600 20"};
}
Step key(std::vector<std::string> names, const char* script) {
    names.insert(names.begin(), {"key", "--delay", "0"});
    return {names, script};
}
const Step kSteps[] = {
    key({"Escape"}, "tap escape"),
    click("269", "109"),                    // first player, (8, 4)
    key({"KP_Next"}, "tap kp3"),            // down-right to (9, 5)
    click("269", "261"),                    // second player, (8, 8)
    key({"KP_Prior"}, "tap kp9"),           // up-right to (9, 7)
    click("194", "71"),                     // (5, 3)
    key({"Num_Lock", "KP_End"}, "tap kp1"), // down-left to (4, 4), Num Lock on
    click("369", "261"),                    // (12, 8)
    key({"KP_7"}, "tap kp7"),               // up-left to (11, 7)
    click("294", "147"),                    // (9, 5)
    key({"KP_6"}, "tap kp6"),               // right to (11, 5)
    click("319", "261"),                    // (10, 8)
    key({"KP_4"}, "tap kp4"),               // left to (8, 8)
    click("344", "147"),                    // (11, 5)
    key({"x"}, "tap kp3"),                  // the letter for down-right, to (12, 6)
    click("344", "223"),                    // (11, 7)
    key({"w"}, "tap kp7"),                  // the letter for up-left, to (10, 6)
};

std::unique_ptr<test::Child> xvfb;
std::string display;
std::vector<test::Picture> expected; // [0] the title, [i] the frame after step i

// Under the sanitizers, the display's own libraries are not ours to judge: D-Bus
// and the GL driver keep a few allocations to the end, and the GL driver's threads
// work among themselves. Our leaks are looked for in the headless runs.
std::vector<std::string> x_env(const std::string& on = display) {
    auto with = [](const char* name, const std::string& option) {
        const char* options = std::getenv(name);
        return std::string(name) + "=" + (options ? std::string(options) + ":" : "") + option;
    };
    return {"DISPLAY=" + on,
            "WAYLAND_DISPLAY",
            "SDL_VIDEODRIVER",
            "GLOBOID_WINDOWED",
            "GLOBOID_DEVICE",
            "GLOBOID_SCRIPT",
            with("ASAN_OPTIONS", "detect_leaks=0"),
            with("TSAN_OPTIONS", "suppressions=" DISPLAY_SUPPRESSIONS)};
}

void xdotool(std::vector<std::string> args, const std::string& on = display) {
    args.insert(args.begin(), "/usr/bin/xdotool");
    ASSERT_EQ(test::run(args, {"DISPLAY=" + on}), 0) << "xdotool " << args[1];
}

// Xvfb at `size` ("WxH"); it picks a free display itself (-displayfd), so parallel
// runs never clash; -noreset keeps it, pointer and all, when the last client
// leaves; it dies with this process, however that ends. Its ":N", or "" when it did not start.
std::string start_x(std::unique_ptr<test::Child>* server, const std::string& size) {
    const std::string file = test::scratch("xgame-" + size) + "/display";
    *server = std::make_unique<test::Child>(
        std::vector<std::string>{"/bin/sh", "-c",
                                 "exec /usr/bin/setpriv --pdeathsig KILL /usr/bin/Xvfb -displayfd 3 -screen 0 " + size +
                                     "x24 -nolisten tcp -noreset 3>" + file});
    if (!test::eventually([&] { return test::slurp(file).find('\n') != std::string::npos; })) return "";
    return ":" + test::slurp(file).substr(0, test::slurp(file).find('\n'));
}

class XGame : public ::testing::Test {
protected:
    // The display, then the steps on the headless device, with a shot after each;
    // both runs start with the pointer at (600, 20), since the game draws its own cursor.
    static void SetUpTestSuite() {
        if (xvfb) return;
        display = start_x(&xvfb, "640x480");
        ASSERT_NE(display, "") << "Xvfb did not start (scripts/deps.sh installs it)\n" << xvfb->output();
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

    // The game on the display with its title shown, and its window found by its
    // _NET_WM_PID among the mapped top-level windows.
    void SetUp() override {
        xdotool({"mousemove", "600", "20"});
        game = std::make_unique<test::Child>(test::in_dir(kBuild, {kBuild + "/globoid"}), x_env());
        expect_screen(0);
        x = XOpenDisplay(display.c_str());
        ASSERT_NE(x, nullptr);
        Window root = DefaultRootWindow(x), parent = 0, *children = nullptr;
        unsigned count = 0;
        ASSERT_TRUE(XQueryTree(x, root, &root, &parent, &children, &count));
        for (unsigned i = 0; i < count; i++) {
            XWindowAttributes a;
            if (property(children[i], "_NET_WM_PID") == std::vector<uint32_t>{uint32_t(game->pid())} &&
                XGetWindowAttributes(x, children[i], &a) && a.map_state == IsViewable)
                window = children[i];
        }
        if (children) XFree(children);
        ASSERT_NE(window, 0u);
    }
    void TearDown() override {
        if (x) XCloseDisplay(x);
    }

    // Waits until the screen shows expected[i]; a mismatch that outlasts the limit
    // leaves both pictures in the working directory. On a large screen the frame is
    // read back from the middle of each of its scaled pixels.
    // With `pointer`, the pointer is taken away and put there again every half second,
    // in case the display moved the game's idea of it meanwhile.
    void expect_screen(size_t i, const std::string& on = display, bool large = false,
                       const std::vector<std::string>& pointer = {}) {
        const std::string dump = ::testing::TempDir() + "globoid-root-" + std::to_string(getpid()) + ".xwd";
        test::Picture screen;
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::chrono::steady_clock::time_point again{};
        do {
            if (!pointer.empty() && std::chrono::steady_clock::now() >= again) {
                std::vector<std::string> away = {"mousemove", "0", "0"};
                away.insert(away.end(), pointer.begin(), pointer.end());
                xdotool(away, on);
                again = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
            }
            test::run({"/usr/bin/xwd", "-root", "-silent", "-out", dump}, {"DISPLAY=" + on});
            screen = test::read_xwd(dump);
            if (large && screen.w == 1920 && screen.h == 1080) {
                test::Picture frame;
                for (int y = 0; y < 480; y++)
                    for (int x = 0; x < 640; x++) frame.rgb.push_back(screen.at(at_x(x), at_y(y)));
                // The bands beside the frame stay black.
                if (screen.at(at_x(0) - 2, 540) || screen.at(at_x(639) + 2, 540)) frame.rgb[0] ^= 1;
                screen = frame;
            }
            if (test::differs(screen, expected[i]).empty()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < limit);
        std::string name = "xgame_test_" + std::to_string(i);
        test::write_ppm(name + "_expected.ppm", expected[i]);
        test::write_ppm(name + "_actual.ppm", screen);
        ADD_FAILURE() << "step " << i << ": " << test::differs(screen, expected[i]) << "; see " << name << "_*.ppm";
    }

    // A property of 32-bit items; Xlib hands each over in a long.
    std::vector<uint32_t> property(Window w, const char* name, Atom kind = XA_CARDINAL) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<uint32_t> out;
        if (XGetWindowProperty(x, w, XInternAtom(x, name, False), 0, 1 << 20, False, kind, &type, &format, &count,
                               &after, &data) != Success)
            return out;
        for (unsigned long i = 0; data && format == 32 && i < count; i++)
            out.push_back(uint32_t(reinterpret_cast<long*>(data)[i]));
        if (data) XFree(data);
        return out;
    }

    // Waits until the game's window, w x h, shows expected[i] at the largest whole
    // scale that fits, centred; a mismatch leaves the picture as expect_screen does.
    // While the window manager may still move the window, `pointer` puts the
    // pointer back in its place on the window each time.
    bool window_shows(size_t i, const std::string& on, int w, int h, const std::vector<std::string>& pointer = {}) {
        const std::string dump = ::testing::TempDir() + "globoid-window-" + std::to_string(getpid()) + ".xwd";
        const int scale = std::min(w / 640, h / 480), left = (w - 640 * scale) / 2, top = (h - 480 * scale) / 2;
        test::Picture frame;
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            if (!pointer.empty()) xdotool(pointer, on);
            test::run({"/usr/bin/xwd", "-id", std::to_string(window), "-silent", "-out", dump}, {"DISPLAY=" + on});
            test::Picture shown = test::read_xwd(dump);
            frame.rgb.clear();
            for (int y = 0; y < 480 && shown.w == w && shown.h == h; y++)
                for (int x = 0; x < 640; x++)
                    frame.rgb.push_back(shown.at(left + x * scale + scale / 2, top + y * scale + scale / 2));
            if (frame.rgb.size() == 640u * 480u && test::differs(frame, expected[i]).empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < limit);
        test::write_ppm("xgame_test_window_" + std::to_string(i) + "_actual.ppm", frame);
        return false;
    }

    // Openbox on display d, once it has said on the root window that it is ready.
    void start_openbox(const std::string& d, std::unique_ptr<test::Child>* manager) {
        *manager = std::make_unique<test::Child>(std::vector<std::string>{"/usr/bin/openbox"},
                                                 std::vector<std::string>{"DISPLAY=" + d});
        ASSERT_NE(x = XOpenDisplay(d.c_str()), nullptr);
        EXPECT_TRUE(test::eventually([&] {
            return !property(DefaultRootWindow(x), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
        })) << "openbox did not start (scripts/deps.sh installs it)";
    }

    // Where pixel (x, y) of the frame lies on a 1920x1080 screen: 2.25 times as
    // large, between two bands of 240 pixels.
    static int at_x(int x) { return int(240 + (x + 0.5) * 2.25); }
    static int at_y(int y) { return int((y + 0.5) * 2.25); }

    std::unique_ptr<test::Child> game;
    Display* x = nullptr;
    Window window = 0;
};

// The same game on a screen of 1920x1080, without a window manager and under one;
// or a game that starts otherwise.
class XGameLarge : public XGame {
protected:
    void SetUp() override {}
};
using XGameOwn = XGameLarge;

TEST_F(XGame, EveryStepShowsAsOnTheHeadlessDeviceTheIconIsThereAndClosingTheWindowEndsTheGame) {
    test::Picture icon = test::read_png(kBuild + "/icons/globoid-32.png");
    std::vector<uint32_t> drawn = {uint32_t(icon.w), uint32_t(icon.h)};
    drawn.insert(drawn.end(), icon.rgb.begin(), icon.rgb.end());
    ASSERT_EQ(drawn.size(), 2u + 32 * 32);
    EXPECT_TRUE(property(window, "_NET_WM_ICON") == drawn) << "the window does not carry the 32x32 icon";

    // Each click, the move after it and the key after that in one go: every one
    // must take effect where and in the order it came.
    for (size_t i = 0; i < std::size(kSteps) && !HasFailure(); i++) {
        std::vector<std::string> args = kSteps[i].xdotool;
        if (args[0] == "mousemove" && i + 1 < std::size(kSteps)) {
            const std::vector<std::string>& then = kSteps[++i].xdotool;
            args.insert(args.end(), then.begin(), then.end());
        }
        xdotool(args);
        expect_screen(i + 1);
    }
    xdotool({"key", "Num_Lock"});
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
    EXPECT_EQ(game->wait(20000), 0) << game->output();
}

TEST_F(XGame, AltF4EndsTheGame) {
    xdotool({"key", "alt+F4"});
    EXPECT_EQ(game->wait(20000), 0) << game->output();
}

TEST_F(XGameLarge, TheWholeGameShowsScaledAndClicksLandWhereTheyAreDrawn) {
    for (bool openbox : {false, true}) {
        SCOPED_TRACE(openbox ? "under openbox" : "with no window manager");
        std::unique_ptr<test::Child> server, manager;
        const std::string d = start_x(&server, "1920x1080");
        ASSERT_NE(d, "");
        if (openbox) {
            start_openbox(d, &manager);
            XCloseDisplay(x);
            x = nullptr;
        }
        xdotool({"mousemove", std::to_string(at_x(600)), std::to_string(at_y(20))}, d);
        test::Child game(test::in_dir(kBuild, {kBuild + "/globoid"}), x_env(d));
        expect_screen(0, d, true);
        for (size_t i = 0; i < 5 && !HasFailure(); i++) {
            std::vector<std::string> step = kSteps[i].xdotool;
            if (step[0] == "mousemove")
                step = {"mousemove",
                        std::to_string(at_x(std::stoi(step[1]))),
                        std::to_string(at_y(std::stoi(step[2]))),
                        "click",
                        "1",
                        "mousemove",
                        std::to_string(at_x(600)),
                        std::to_string(at_y(20))};
            xdotool(step, d);
            expect_screen(i + 1, d, true);
        }
        game.signal(SIGTERM);
        EXPECT_EQ(game.wait(20000), 0) << game.output();
    }
}

// The picture of a player who left ends on the first key, however soon it comes: the
// host, headless, is stopped once the game here has settled.
TEST_F(XGameOwn, TheFirstKeyOnThePictureOfALeavingPlayerEndsTheGame) {
    test::Child host(
        test::in_dir(kBuild, {kBuild + "/globoid", "--host", "127.0.0.1:0", "--code=ABCD-EFGH", "--headless"}));
    size_t at = 0;
    ASSERT_TRUE(test::eventually([&] { return (at = host.output().find("127.0.0.1:")) != std::string::npos; }));
    const std::string where = host.output().substr(at, host.output().find(' ', at) - at);
    test::Child game(test::in_dir(kBuild, {kBuild + "/globoid", "--join", where, "--code=ABCD-EFGH"}), x_env());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    host.signal(SIGTERM);
    expected.push_back(game::picture("parti"));
    expect_screen(expected.size() - 1);
    xdotool({"key", "space"});
    const int status = game.wait(20000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << game.output();
}

// In a window under openbox, resized to whole scales 2 and then 1, the whole frame
// shows between bands and clicks at the scaled places land on their cells; F11
// takes it full screen and Alt+Enter back, and the settings keep the last choice.
TEST_F(XGameLarge, AResizedWindowScalesThePictureClicksLandOnTheirCellsAndF11SwitchesToFullScreen) {
    std::unique_ptr<test::Child> server, manager;
    const std::string d = start_x(&server, "1920x1080"), config = test::scratch("xgame-settings");
    ASSERT_NE(d, "");
    start_openbox(d, &manager);
    std::vector<std::string> env = x_env(d);
    env.push_back("XDG_CONFIG_HOME=" + config);
    test::Child game(test::in_dir(kBuild, {kBuild + "/globoid", "--window"}), env);
    ASSERT_TRUE(test::eventually([&] {
        for (uint32_t w : property(DefaultRootWindow(x), "_NET_CLIENT_LIST", XA_WINDOW))
            if (property(w, "_NET_WM_PID") == std::vector<uint32_t>{uint32_t(game.pid())}) window = w;
        return window != 0;
    }));
    const std::string id = std::to_string(window);
    // The pointer, where it stands on the screen, is elsewhere on the frame once the
    // window changes: it is moved to `pointer` when the window has its new size.
    auto settle = [&](int w, int h, std::vector<std::string> pointer) {
        EXPECT_TRUE(test::eventually([&] {
            XWindowAttributes a;
            return XGetWindowAttributes(x, window, &a) && a.width == w && a.height == h;
        })) << w
            << "x" << h;
        pointer.insert(pointer.begin(), {"mousemove", "0", "0"});
        xdotool(pointer, d);
    };
    const struct {
        int w, h;
        size_t until;
    } sizes[] = {{1280, 1000, 3}, {640, 1000, 5}};
    size_t i = 0;
    for (const auto& size : sizes) {
        const int scale = std::min(size.w / 640, size.h / 480);
        auto at = [&](int v, int whole) {
            return std::to_string((whole - (whole == size.w ? 640 : 480) * scale) / 2 + v * scale);
        };
        const std::vector<std::string> corner = {"mousemove", "--window", id, at(600, size.w), at(20, size.h)};
        xdotool({"windowsize", id, std::to_string(size.w), std::to_string(size.h)}, d);
        settle(size.w, size.h, corner);
        EXPECT_TRUE(window_shows(i, d, size.w, size.h)) << size.w << "x" << size.h;
        for (; i < size.until && !HasFailure(); i++) {
            std::vector<std::string> step = kSteps[i].xdotool;
            if (step[0] == "mousemove") {
                step = {"mousemove", "--window", id, at(std::stoi(step[1]), size.w), at(std::stoi(step[2]), size.h),
                        "click",     "1"};
                step.insert(step.end(), corner.begin(), corner.end());
            }
            xdotool(step, d);
            EXPECT_TRUE(window_shows(i + 1, d, size.w, size.h)) << "step " << i;
        }
    }
    const std::string settings = config + "/globoid/settings";
    xdotool({"key", "F11"}, d);
    settle(1920, 1080, {});
    expect_screen(i, d, true, {"mousemove", std::to_string(at_x(600)), std::to_string(at_y(20))});
    EXPECT_NE(test::slurp(settings).find("\ndisplay = fullscreen\n"), std::string::npos) << test::slurp(settings);
    xdotool({"key", "alt+Return"}, d);
    settle(640, 1000, {});
    EXPECT_TRUE(window_shows(i, d, 640, 1000, {"mousemove", "--window", id, "600", "280"}));
    EXPECT_NE(test::slurp(settings).find("\ndisplay = window\n"), std::string::npos) << test::slurp(settings);
    game.signal(SIGTERM);
    EXPECT_EQ(game.wait(20000), 0) << game.output();
    XCloseDisplay(x); // before its server goes
    x = nullptr;
}

TEST(NoDisplay, TheGameSaysWhyOnOneLineAndStopsAtOnce) {
    for (const std::string& xdg : {std::string("XDG_RUNTIME_DIR"), "XDG_RUNTIME_DIR=" + ::testing::TempDir()}) {
        auto start = std::chrono::steady_clock::now();
        test::Child run(test::in_dir(kBuild, {kBuild + "/globoid"}),
                        {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "GLOBOID_DEVICE", "GLOBOID_SCRIPT", xdg});
        int status = run.wait(5000);
        std::string out = run.output();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(out.rfind("globoid: cannot take the screen: no display found", 0), 0u) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    }
}

} // namespace
