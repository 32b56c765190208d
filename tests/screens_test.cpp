// The title and victory screens, the real Presentation and Gagne on the headless
// device: the picture comes up; only space, Enter and Escape end a screen, one
// already held at once; and the victory screen then asks the application to quit
// once and idles for good, without looking at the keyboard again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "assets/assets.h"
#include "control/control.h"
#include "platform/headless.h"
#include "platform/kernel.h"
#include "platform/screen.h"
#include "tests/process.h"
#include "tests/support.h"
#include "unit/unit.h"

// What the screens take from control/: the application and the keyboard snapshot.
AppType* MonApp;
key_info* Key;
AppType::AppType() : BApplication("application/x-vnd.globoid-test") {}
AppType::~AppType() {}

namespace {

// What the screen thread asked of the platform, in order (see the wrappers below).
struct Event {
    enum Kind { Poll, Post, Wait } kind;
    BLooper* looper;
    uint32 command;
};
std::mutex events_mu;
std::vector<Event> events;

void record(Event e) {
    std::lock_guard<std::mutex> hold(events_mu);
    events.push_back(e);
}

std::vector<Event> recorded() {
    std::lock_guard<std::mutex> hold(events_mu);
    return events;
}

} // namespace

// The platform calls of the screens, recorded on the way through.
extern "C" status_t __real__Z12get_key_infoP8key_info(key_info* info);
extern "C" status_t __wrap__Z12get_key_infoP8key_info(key_info* info) {
    record({Event::Poll, nullptr, 0});
    return __real__Z12get_key_infoP8key_info(info);
}
extern "C" status_t __real__ZN7BLooper11PostMessageEj(BLooper* looper, uint32 command);
extern "C" status_t __wrap__ZN7BLooper11PostMessageEj(BLooper* looper, uint32 command) {
    record({Event::Post, looper, command});
    return __real__ZN7BLooper11PostMessageEj(looper, command);
}
extern "C" [[noreturn]] void __real__Z12wait_foreverv();
extern "C" [[noreturn]] void __wrap__Z12wait_foreverv() {
    record({Event::Wait, nullptr, 0});
    __real__Z12wait_foreverv();
}

namespace {

constexpr uint8 kSpace = 0x5e, kEnter = 0x47, kEscape = 0x01;

// A picture that tells the two screens apart, and says where each pixel came from.
uint32_t title_pixel(int x, int y) { return 0xFF000000u | uint32_t(y) << 10 | uint32_t(x); }
uint32_t victory_pixel(int x, int y) { return 0xFF800000u | uint32_t(y) << 10 | uint32_t(x); }

bool eventually(const std::function<bool()>& cond) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond())
        if (std::chrono::steady_clock::now() > limit) return false;
        else std::this_thread::yield();
    return true;
}

// One application, one connected screen and the two pictures, in a directory of
// their own, for the whole process.
class Screen : public ::testing::Environment {
public:
    void SetUp() override {
        headless::select();
        // The screens poll without end; short ticks keep each wait for a poll short.
        headless::set_tick_ms(1);
        std::string dir = test::scratch("screens");
        mkdir((dir + "/Sprites").c_str(), 0755);
        test::write_tga(dir + "/Sprites/presentation.tga", 640, 480, [](int row, int x) { return title_pixel(x, 479 - row); });
        test::write_tga(dir + "/Sprites/victoire.tga", 640, 480, [](int row, int x) { return victory_pixel(x, 479 - row); });
        ASSERT_EQ(chdir(dir.c_str()), 0);
        MonApp = new AppType;
        status_t error;
        BWindowScreen* window = new BWindowScreen("screens", B_32_BIT_640x480, &error);
        window->Show();
        video = static_cast<char*>(window->CardInfo()->frame_buffer);
    }

    static inline char* video; // the device's frame buffer
};
const auto* screen = ::testing::AddGlobalTestEnvironment(new Screen);

enum class Which { Title, Victory };
void PrintTo(Which which, std::ostream* out) { *out << (which == Which::Title ? "the title" : "the victory"); }

// Runs one screen on a thread of the game's kind, with fresh buffers and a clear
// keyboard; kills it at the end.
class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        _VIDEO = Screen::video; // the buffers are the test's, the frame buffer the device's
        Key = new key_info();
        {
            std::lock_guard<std::mutex> hold(events_mu);
            events.clear();
        }
        returned_ = false;
        for (int code = 0; code < 128; code++) headless::key(uint8(code), false);
        headless::release(1);
    }
    void TearDown() override {
        if (thread_ > 0) {
            EXPECT_EQ(kill_thread(thread_), B_OK);
        }
        for (int code = 0; code < 128; code++) headless::key(uint8(code), false);
        delete Key;
        EXPECT_TRUE(buffers_.guards_intact());
    }

    void start(Which which) {
        which_ = which;
        thread_ = spawn_thread(which == Which::Title ? title : victory, "screen", B_NORMAL_PRIORITY, this);
        ASSERT_EQ(resume_thread(thread_), B_OK);
    }
    static int32 title(void* me) {
        Presentation();
        static_cast<ScreenTest*>(me)->returned_ = true;
        wait_forever();
    }
    static int32 victory(void*) { Gagne(); }

    // The screen has ended: Presentation returned, or Gagne went to its endless wait.
    bool ended() {
        if (which_ == Which::Title) return returned_;
        for (const Event& e : recorded())
            if (e.kind == Event::Wait) return true;
        return false;
    }
    // The picture of this screen is on the screen.
    bool picture_shown() {
        auto pixel = which_ == Which::Title ? title_pixel : victory_pixel;
        return headless::wait_frame([&](const uint32_t* frame) {
            for (int y = 0; y < 480; y++)
                for (int x = 0; x < 640; x++)
                    if (frame[y * 640 + x] != pixel(x, y)) return false;
            return true;
        });
    }
    // Gives the screen a key (or, with code -1, a click) and takes it back; true when
    // the screen was still up after it had polled three times with the key down.
    bool outlasts(int code) {
        code < 0 ? headless::press(1) : headless::key(uint8(code), true);
        bool up = headless::wait_seen(0, 3) && !ended();
        code < 0 ? headless::release(1) : headless::key(uint8(code), false);
        return up && headless::wait_seen(0, 3) && !ended();
    }

    test::Buffers buffers_;
    Which which_ = Which::Title;
    thread_id thread_ = 0;
    std::atomic<bool> returned_{false};
};

class EndingKeys : public ScreenTest, public ::testing::WithParamInterface<std::tuple<Which, uint8>> {};

// The title returns with the key still down and posts nothing; the victory asks the
// application to quit, once, then waits for good without polling again.
TEST_P(EndingKeys, EndTheScreenWhileItIsUp) {
    start(std::get<0>(GetParam()));
    ASSERT_TRUE(picture_shown());
    ASSERT_TRUE(outlasts(-1)) << "the screen waits for a key";
    headless::key(std::get<1>(GetParam()), true);
    ASSERT_TRUE(eventually([&] { return ended(); }));
    std::vector<Event> seen = recorded();
    if (which_ == Which::Title) {
        for (const Event& e : seen) EXPECT_NE(e.kind, Event::Post);
        return;
    }
    ASSERT_GE(seen.size(), 3u);
    const Event &post = seen[seen.size() - 2], &wait = seen.back();
    EXPECT_EQ(post.kind, Event::Post);
    EXPECT_EQ(post.looper, static_cast<BLooper*>(MonApp)) << "to the application, not the window";
    EXPECT_EQ(post.command, uint32(B_QUIT_REQUESTED));
    EXPECT_EQ(wait.kind, Event::Wait);
    for (size_t i = 0; i + 2 < seen.size(); i++) EXPECT_EQ(seen[i].kind, Event::Poll) << "event " << i;
}

INSTANTIATE_TEST_SUITE_P(Screens, EndingKeys,
                         ::testing::Combine(::testing::Values(Which::Title, Which::Victory),
                                            ::testing::Values(kSpace, kEnter, kEscape)));

class BothScreens : public ScreenTest, public ::testing::WithParamInterface<Which> {};

TEST_P(BothScreens, NoOtherKeyNorAClickEndsIt) {
    start(GetParam());
    ASSERT_TRUE(picture_shown());
    EXPECT_TRUE(outlasts(-1)) << "a click";
    for (int code = 0; code < 128; code++) {
        if (code != kSpace && code != kEnter && code != kEscape) {
            ASSERT_TRUE(outlasts(code)) << "key " << code;
        }
    }
    // With another key still down, one of the three is enough.
    headless::key(0x5b, true); // the keypad's Enter, which is not the main one
    headless::key(kEscape, true);
    EXPECT_TRUE(eventually([&] { return ended(); }));
}

TEST_P(BothScreens, AKeyAlreadyDownEndsItAtOnce) {
    headless::key(kEnter, true);
    start(GetParam());
    EXPECT_TRUE(eventually([&] { return ended(); }));
    EXPECT_TRUE(picture_shown()) << "the picture still came up first";
}

INSTANTIATE_TEST_SUITE_P(Screens, BothScreens, ::testing::Values(Which::Title, Which::Victory));

} // namespace
