// Kills, the keys of the SDL device and the pacing of the polling calls, on the
// headless device. Waits are on conditions with a generous limit, never on time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

#include "platform/device.h"
#include "platform/headless.h"
#include "tests/harness.h"
#include "platform/input.h"
#include "platform/kernel.h"
#include "platform/screen.h"

namespace {

using test::eventually;

const bool selected = (headless::select(), true);

// The progress of the thread under test. It stays put while this thread yields many
// times only if that thread is parked: a running one would soon move it.
std::atomic<int> turns;
bool stays() {
    int before = turns;
    for (int i = 0; i < 20000; i++) std::this_thread::yield();
    return turns == before;
}

struct Looper : BLooper {};

// Runs body on a thread of spawn_thread from turns = 0, and returns its id once
// turns has reached least.
thread_id start(std::function<void()> body, int least = 1) {
    static std::list<std::function<void()>> bodies; // outlive the parked threads
    turns = 0;
    thread_id id = spawn_thread(
        [](void* f) -> int32 {
            (*static_cast<std::function<void()>*>(f))();
            return 0;
        },
        "test", B_NORMAL_PRIORITY, &bodies.emplace_back(std::move(body)));
    EXPECT_EQ(resume_thread(id), B_OK);
    EXPECT_TRUE(eventually([&] { return turns >= least; }));
    return id;
}

void spin() {
    for (;; spin_hint()) turns++;
}

// Pacing waits end only on a change while a test of this kind runs, so a wait that
// is never woken hangs the test instead of ending with the tick. Each first call of
// a thread returns at once, since the input has changed.
struct NoTick : ::testing::Test {
    void SetUp() override {
        headless::set_tick_ms(0);
        headless::move(2, 2);
    }
    void TearDown() override { headless::set_tick_ms(10); }
};

// A window with a view, and the mouse thread's GetMouse.
struct Mouse : BWindow {
    BView view{BRect(0, 0, 639, 479), "view", B_FOLLOW_NONE, 0};
    BPoint where;
    uint32 buttons = 0;
    Mouse() { AddChild(&view); }
    void get() { view.GetMouse(&where, &buttons, false); }
    // One pass of the mouse thread: GetMouse with the window locked.
    void pass() {
        Lock();
        get();
        Unlock();
    }
};

TEST_F(NoTick, KillEndsAThreadWhereverItIsAndFreesTheLocksItHeld) {
    Looper looper, held;
    Mouse mouse;
    ASSERT_TRUE(held.Lock());
    const struct {
        const char* where;
        std::function<void()> body;
        int least; // turns before the kill: 2 for a second call, which waits
    } cases[] = {
        {"spinning", spin, 1},
        {"spinning past the spins that never wait", spin, 4097},
        {"holding a lock twice",
         [&] {
             looper.Lock();
             looper.Lock();
             spin();
         },
         1},
        {"in get_key_info",
         [] {
             for (key_info info;; get_key_info(&info)) turns++;
         },
         2},
        {"in GetMouse",
         [&] {
             mouse.Lock();
             for (;; mouse.get()) turns++;
         },
         2},
        {"in wait_forever",
         [] {
             turns++;
             wait_forever();
         },
         1},
        {"blocked on a lock",
         [&] {
             turns++;
             held.Lock();
             turns++;
         },
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        thread_id id = start(c.body, c.least);
        EXPECT_EQ(kill_thread(id), B_OK);
        EXPECT_TRUE(stays());
        EXPECT_EQ(kill_thread(id), B_BAD_THREAD_ID);
        EXPECT_EQ(headless::lock_owner(&looper), 0);
        EXPECT_EQ(headless::lock_owner(&mouse), 0);
    }
    held.Unlock(); // the killed waiter, last above, must not take it now
    EXPECT_TRUE(stays());
    EXPECT_EQ(headless::lock_owner(&held), 0);
    EXPECT_TRUE(looper.Lock() && held.Lock());
}

TEST(KeyTest, OnlyTheKeysOfTheGameReachItsCodes) {
    // Scancodes are USB usage numbers: keypad 1 to 9 are 89 to 97; W E A D Z X stand
    // for the keypad keys in their places (with Ctrl, themselves); M, C, H, R, O, Backspace,
    // the arrows left and right, Home and End are themselves.
    const int keys[][2] = {{95, KEY_KP7}, {97, KEY_KP9},   {92, KEY_KP4},       {94, KEY_KP6},    {89, KEY_KP1},
                           {91, KEY_KP3}, {44, KEY_SPACE}, {40, KEY_ENTER},     {41, KEY_ESCAPE}, {26, KEY_KP7},
                           {8, KEY_KP9},  {4, KEY_KP4},    {7, KEY_KP6},        {29, KEY_KP1},    {27, KEY_KP3},
                           {16, KEY_M},   {6, KEY_C},      {42, KEY_BACKSPACE}, {11, KEY_H},      {21, KEY_R},
                           {18, KEY_O},   {80, KEY_LEFT},  {79, KEY_RIGHT},     {74, KEY_HOME},   {77, KEY_END}};
    for (int scancode = 0; scancode < 512; scancode++) {
        int expected = 0;
        for (const auto& k : keys)
            if (k[0] == scancode) expected = k[1];
        EXPECT_EQ(platform::raw_key_for_scancode(scancode), expected) << "scancode " << scancode;
    }
    EXPECT_EQ(platform::raw_key_for_scancode(29, true), KEY_Z) << "Ctrl+Z is not a move";
}

TEST_F(NoTick, GetKeyInfoWaitsForAChangeOrTheMousePassThatPublishesIt) {
    Mouse mouse;
    mouse.pass();
    std::atomic<int> key{-1};
    thread_id id = start([&] {
        for (key_info info;; turns++) {
            get_key_info(&info);
            key = key_down(info, KEY_SPACE);
        }
    });
    auto wakes = [&](const std::function<void()>& change) {
        EXPECT_TRUE(stays()) << "returned with nothing new";
        int before = turns;
        change();
        return eventually([&] { return turns > before; });
    };
    EXPECT_TRUE(wakes([] { headless::key(KEY_SPACE, true); }));
    EXPECT_EQ(key, 1);
    EXPECT_TRUE(wakes([] { headless::key(KEY_SPACE, false); }));
    EXPECT_EQ(key, 0);
    EXPECT_TRUE(wakes([] { headless::move(5, 5); }));
    EXPECT_TRUE(wakes([&] { mouse.pass(); })) << "the pass that takes a move in may set Bouton1";
    kill_thread(id);
}

TEST_F(NoTick, ALongSpinWaitsUntilThePlatformChanges) {
    Looper looper;
    std::atomic<bool> flag{false};
    uint64_t before = headless::game_calls();
    thread_id id = start(
        [&] {
            while (!flag) spin_hint();
            turns++;
            wait_forever();
        },
        0);
    ASSERT_TRUE(eventually([&] { return headless::game_calls() >= before + 4097; }));
    auto calls_stay = [] {
        uint64_t calls = headless::game_calls();
        for (int i = 0; i < 20000; i++) std::this_thread::yield();
        return headless::game_calls() == calls;
    };
    EXPECT_TRUE(calls_stay() || calls_stay()) << "a long spin goes on spinning, with nothing changed";
    flag = true;
    looper.Lock();
    looper.Unlock(); // any change of platform state wakes a waiting spin
    EXPECT_TRUE(eventually([&] { return turns == 1; }));
    kill_thread(id);
}

// What a game and its mouse thread see, one line per change: the pointer with the
// buttons from each mouse pass, the keys down from the poll hook.
std::mutex log_mutex;
std::string seen_log, last_mouse, last_keys;
void note(std::string& last, const std::string& now) {
    std::lock_guard<std::mutex> hold(log_mutex);
    if (now != last) seen_log += (last = now) + "\n";
}
std::string take_log() {
    std::lock_guard<std::mutex> hold(log_mutex);
    return std::exchange(seen_log, "");
}

TEST(InputQueueTest, EachEventIsSeenInOrderAtItsOwnPlaceAndTheFiltersDropOnlyWhatTheyShould) {
    using input::Event;
    using input::Source;
    Mouse mouse;
    thread_id mouse_thread = start([&] {
        for (;; turns++) {
            mouse.pass();
            note(last_mouse, std::to_string(int(mouse.where.x)) + "," + std::to_string(int(mouse.where.y)) + " " +
                                 std::to_string(mouse.buttons));
        }
    });
    input::set_poll_hook([](const key_info& keys) {
        std::string down = "keys";
        for (int k = 0; k < 128; k++)
            if (keys.key_states[k / 8] & (0x80 >> (k % 8))) down += " " + std::to_string(k);
        note(last_keys, down);
    });
    thread_id game = start([] {
        for (key_info keys;; turns++) get_key_info(&keys);
    });
    ASSERT_EQ(input::wait_drained(10000), input::Wait::Drained);
    // The game's first poll may come later than the queue's drain on a slow machine.
    ASSERT_TRUE(eventually([] {
        std::lock_guard<std::mutex> hold(log_mutex);
        return last_keys == "keys";
    }));
    take_log();
    auto run = [](std::vector<Event> person, std::vector<Event> seat = {}) {
        input::post(Source::Person, person);
        input::post(Source::Seat, seat);
        EXPECT_EQ(input::wait_drained(10000), input::Wait::Drained);
        return take_log();
    };
    // Posted at once, as a burst from the display: nothing merges or is lost, and the
    // seat's batch with its pause comes after, whole.
    EXPECT_EQ(
        run({Event::move(10, 10), Event::press(), Event::release(), Event::move(20, 20), Event::key(KEY_KP6, true),
             Event::key(KEY_KP6, false), Event::press(), Event::move(30, 30), Event::release()},
            {Event::move(40, 40), Event::pause(30), Event::press(), Event::release()}),
        "10,10 0\n10,10 1\n10,10 0\n20,20 0\nkeys 74\nkeys\n20,20 1\n30,30 1\n30,30 0\n40,40 0\n40,40 1\n40,40 0\n");

    // Not the person's turn: their clicks and direction keys go, other keys and
    // moves pass, a seat's click passes, and a release whose press passed passes.
    EXPECT_EQ(run({Event::press()}), "40,40 1\n");
    input::set_person_turn(false);
    EXPECT_EQ(run({Event::release(), Event::press(), Event::key(KEY_KP6, true), Event::key(KEY_SPACE, true),
                   Event::move(50, 50), Event::key(KEY_SPACE, false)},
                  {Event::press(), Event::release()}),
              "40,40 0\nkeys 94\n50,50 0\nkeys\n50,50 1\n50,50 0\n");
    EXPECT_EQ(input::wait_drained(50, true), input::Wait::Late) << "waits for the person's turn";
    input::set_person_turn(true);
    EXPECT_EQ(run({Event::release(), Event::key(KEY_KP6, false), Event::press(), Event::release()}),
              "50,50 1\n50,50 0\n")
        << "the releases of dropped presses go too";

    // Cancelled in the middle of a pause: the rest goes, and the seat's button is let go.
    // The person's click queued behind it in their turn is judged when its turn comes.
    input::post(Source::Seat, {Event::press(), Event::pause(60000), Event::release(), Event::key(KEY_KP6, true)});
    EXPECT_EQ(input::wait_drained(200), input::Wait::Late) << "the pause holds the queue";
    input::post(Source::Person, {Event::press(), Event::release()});
    input::set_person_turn(false);
    input::cancel(Source::Seat);
    EXPECT_EQ(run({}), "50,50 1\n50,50 0\n");
    input::set_person_turn(true);
    input::set_pause_limit(0);
    EXPECT_EQ(run({}, {Event::pause(60000), Event::move(60, 60)}), "60,60 0\n");
    input::set_pause_limit(-1);

    input::set_poll_hook(nullptr);
    kill_thread(game);
    kill_thread(mouse_thread);
}

} // namespace
