// The title and victory screens, the real Presentation and Gagne on the headless
// device's keyboard: the picture comes up; only space, Enter and Escape end a
// screen, one already held at once; and the victory screen then asks the
// application to quit once and waits for good, without looking at the keyboard
// again. The screens run on the test's thread, each poll of the keyboard fed the
// keys of the next step.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "assets/assets.h"
#include "control/control.h"
#include "platform/headless.h"
#include "platform/kernel.h"
#include "tests/process.h"
#include "tests/support.h"
#include "unit/unit.h"

// What the screens take from control/: the application and the keyboard snapshot.
AppType* MonApp;
key_info* Key;
AppType::AppType() : BApplication("application/x-vnd.globoid-test") {}
AppType::~AppType() {}

namespace {

// What a screen asked of the platform, in order: 'p' a poll of the keyboard, 'q'
// the application asked to quit, '?' another message, 'w' the endless wait.
std::string events;
// The keys held at each poll (-1 the primary button); a poll past the last ends
// the screen by force.
std::vector<std::vector<int>> steps;
struct Stop {}; // thrown where the screen would wait for good, or poll past its steps

void hold(const std::vector<int>& keys, bool down) {
    for (int k : keys) k < 0 ? (down ? headless::press(1) : headless::release(1)) : headless::key(uint8(k), down);
}

} // namespace

// The platform calls of the screens, recorded on the way through (the link wraps
// them by their mangled names).
extern "C" status_t __real__Z12get_key_infoP8key_info(key_info* info);
extern "C" status_t __wrap__Z12get_key_infoP8key_info(key_info* info) {
    size_t polls = size_t(std::count(events.begin(), events.end(), 'p'));
    events += 'p';
    if (polls > 0 && polls <= steps.size()) hold(steps[polls - 1], false);
    if (polls >= steps.size()) throw Stop();
    hold(steps[polls], true);
    return __real__Z12get_key_infoP8key_info(info);
}
extern "C" status_t __wrap__ZN7BLooper11PostMessageEj(BLooper* looper, uint32 command) {
    events += looper == MonApp && command == B_QUIT_REQUESTED ? 'q' : '?';
    return B_OK;
}
extern "C" [[noreturn]] void __wrap__Z12wait_foreverv() {
    events += 'w';
    throw Stop();
}

namespace {

// Pictures that tell the two screens apart, and say where each pixel came from.
uint32_t title_pixel(int x, int y) { return 0xFF000000u | uint32_t(y) << 10 | uint32_t(x); }
uint32_t victory_pixel(int x, int y) { return 0xFF800000u | uint32_t(y) << 10 | uint32_t(x); }

class ScreenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        headless::select();
        headless::set_tick_ms(1); // a poll never waits long for a change
        std::string dir = test::scratch("screens");
        mkdir((dir + "/Sprites").c_str(), 0755);
        for (auto [name, pixel] : {std::pair{"presentation", title_pixel}, {"victoire", victory_pixel}})
            test::write_tga(dir + "/Sprites/" + name + ".tga", 640, 480,
                            [f = pixel](int r, int x) { return f(x, 479 - r); });
        ASSERT_EQ(chdir(dir.c_str()), 0);
        MonApp = new AppType;
        Key = new key_info();
    }

    // Runs the title or the victory screen on `keys` to its end: it must show its
    // picture, poll once per step and end at the last; the victory then asks the
    // application (not the window) to quit, once, and waits without polling again.
    void play(bool victory, const std::vector<std::vector<int>>& keys) {
        SCOPED_TRACE(victory ? "victory" : "title");
        test::Buffers buffers;
        events.clear();
        steps = keys;
        try {
            victory ? Gagne() : Presentation();
        } catch (Stop) {
        }
        size_t polls = size_t(std::count(events.begin(), events.end(), 'p'));
        hold(steps[std::min(steps.size(), polls) - 1], false);
        EXPECT_EQ(events, std::string(keys.size(), 'p') + (victory ? "qw" : ""))
            << "the last poll had key " << steps[std::min(steps.size(), polls) - 1].back() << " down";
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                ASSERT_EQ(test::pixel(_VIDEO, x, y), (victory ? victory_pixel : title_pixel)(x, y)) << x << "," << y;
        EXPECT_TRUE(buffers.guards_intact());
    }
};

TEST_F(ScreenTest, OnlySpaceEnterOrEscapeEndsAScreenAndAKeyAlreadyHeldAtOnce) {
    for (int ending : {KEY_SPACE, KEY_ENTER, KEY_ESCAPE}) {
        SCOPED_TRACE("key " + std::to_string(ending));
        // A click, then every other key alone, then the keypad's Enter (which is not
        // the main one) held with the ending key.
        std::vector<std::vector<int>> keys = {{-1}};
        for (int code = 0; code < 128; code++)
            if (code != KEY_SPACE && code != KEY_ENTER && code != KEY_ESCAPE) keys.push_back({code});
        keys.push_back({0x5b, ending});
        for (bool victory : {false, true}) {
            play(victory, keys);
            play(victory, {{ending}});
        }
    }
}

} // namespace
