// Threads, kills, the window lock, keys and the pacing of the polling calls, on
// the headless device. Waits are on conditions with a generous limit, never on time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/device.h"
#include "platform/headless.h"
#include "platform/input.h"
#include "platform/kernel.h"
#include "platform/screen.h"

namespace {

const bool selected = (headless::select(), true);

// Yields until cond holds; false after ten seconds.
bool eventually(const std::function<bool()>& cond) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond())
        if (std::chrono::steady_clock::now() > limit) return false;
        else std::this_thread::yield();
    return true;
}

// True when value stays put while this thread yields many times: a parked thread
// never moves it, a running one soon would.
bool stays(const std::atomic<int>& value) {
    int before = value.load();
    for (int i = 0; i < 20000; i++) std::this_thread::yield();
    return value.load() == before;
}

struct Looper : BLooper {};
struct Window : BWindow {};

// A thread made by spawn_thread that runs body, started at once.
thread_id start(std::function<void()>* body) {
    thread_id id = spawn_thread([](void* data) -> int32 {
        (*static_cast<std::function<void()>*>(data))();
        return 0;
    }, "test", B_NORMAL_PRIORITY, body);
    EXPECT_EQ(resume_thread(id), B_OK);
    return id;
}

// Pacing waits end only on a change while a test of this kind runs.
// Each first call of a thread then returns at once, since the input has changed.
struct NoTick : ::testing::Test {
    void SetUp() override {
        headless::set_tick_ms(0);
        headless::move(2, 2);
        headless::move(3, 3);
    }
    void TearDown() override { headless::set_tick_ms(10); }
};

// ---- Threads. ------------------------------------------------------------------

TEST(ThreadTest, ASpawnedThreadWaitsForResumeAndCanBeKilledThere) {
    static std::atomic<bool> ran{false};
    thread_id id = spawn_thread([](void*) -> int32 { ran = true; return 0; }, "never", 10, nullptr);
    ASSERT_GT(id, 0);
    EXPECT_EQ(kill_thread(id), B_OK);
    EXPECT_FALSE(ran);
    EXPECT_EQ(resume_thread(id), B_BAD_THREAD_ID);
    EXPECT_EQ(kill_thread(id), B_BAD_THREAD_ID);
}

TEST(ThreadTest, ResumeRunsTheEntryWithItsArgumentAndUnknownIdsAreRefused) {
    static std::atomic<void*> got{nullptr};
    int marker;
    thread_id id = spawn_thread([](void* p) -> int32 { got = p; return 0; }, "arg", 10, &marker);
    ASSERT_EQ(resume_thread(id), B_OK);
    ASSERT_TRUE(eventually([] { return got.load() != nullptr; }));
    EXPECT_EQ(got.load(), &marker);
    EXPECT_EQ(resume_thread(987654), B_BAD_THREAD_ID);
    EXPECT_EQ(kill_thread(987654), B_BAD_THREAD_ID);
    EXPECT_EQ(kill_thread(-1), B_BAD_THREAD_ID);
    EXPECT_LT(spawn_thread(nullptr, "none", 10, nullptr), 0);
}

TEST_F(NoTick, KillEndsASpinLoopWhetherItSpinsOrWaits) {
    // Killed at once, and again once past the spins that never wait.
    for (int least : {1, 4097}) {
        std::atomic<int> turns{0};
        std::function<void()> body = [&] {
            for (;;) {
                turns++;
                spin_hint();
            }
        };
        thread_id id = start(&body);
        ASSERT_TRUE(eventually([&] { return turns >= least; }));
        EXPECT_EQ(kill_thread(id), B_OK);
        EXPECT_TRUE(stays(turns));
        EXPECT_EQ(kill_thread(id), B_BAD_THREAD_ID);
    }
}

TEST(ThreadTest, KillEndsAThreadBlockedOnTheLockAndLeavesTheLockFree) {
    Looper looper;
    ASSERT_TRUE(looper.Lock());
    std::atomic<bool> asking{false}, got{false};
    std::function<void()> body = [&] {
        asking = true;
        looper.Lock();
        got = true;
    };
    thread_id id = start(&body);
    ASSERT_TRUE(eventually([&] { return asking.load(); }));
    EXPECT_EQ(kill_thread(id), B_OK);
    looper.Unlock();
    EXPECT_EQ(headless::lock_owner(&looper), 0);
    EXPECT_FALSE(got);
    EXPECT_TRUE(looper.Lock());
    looper.Unlock();
}

TEST(ThreadTest, KillingAHolderGivesItsWholeHoldBack) {
    Looper looper;
    std::atomic<int> turns{0};
    std::function<void()> body = [&] {
        looper.Lock();
        looper.Lock();
        for (;;) {
            turns++;
            spin_hint();
        }
    };
    thread_id id = start(&body);
    ASSERT_TRUE(eventually([&] { return turns > 0; }));
    EXPECT_EQ(headless::lock_owner(&looper), id);
    EXPECT_EQ(kill_thread(id), B_OK);
    EXPECT_EQ(headless::lock_owner(&looper), 0);
    EXPECT_TRUE(looper.Lock());
    looper.Unlock();
}

TEST_F(NoTick, KillEndsAThreadWaitingInsidePlatformCalls) {
    // get_key_info with nothing new to report.
    std::atomic<int> calls{0};
    std::function<void()> keys = [&] {
        key_info info;
        for (;;) {
            calls++;
            get_key_info(&info);
        }
    };
    thread_id id = start(&keys);
    ASSERT_TRUE(eventually([&] { return calls >= 2; }));
    EXPECT_EQ(kill_thread(id), B_OK);
    EXPECT_TRUE(stays(calls));

    // GetMouse with the window locked: the wait gives the lock up.
    Window window;
    BView view(BRect(0, 0, 639, 479), "view", B_FOLLOW_NONE, 0);
    window.AddChild(&view);
    std::atomic<int> polls{0};
    std::function<void()> mouse = [&] {
        BPoint where;
        uint32 buttons;
        window.Lock();
        for (;;) {
            polls++;
            view.GetMouse(&where, &buttons, false);
        }
    };
    id = start(&mouse);
    ASSERT_TRUE(eventually([&] { return polls >= 2; }));
    ASSERT_TRUE(window.Lock()); // free while GetMouse waits
    window.Unlock();
    EXPECT_EQ(kill_thread(id), B_OK);
    EXPECT_EQ(headless::lock_owner(&window), 0);

    // wait_forever.
    std::atomic<bool> idling{false};
    std::function<void()> idle = [&] {
        idling = true;
        wait_forever();
    };
    id = start(&idle);
    ASSERT_TRUE(eventually([&] { return idling.load(); }));
    EXPECT_EQ(kill_thread(id), B_OK);
}

TEST(ThreadTest, KillingTheCallingThreadParksIt) {
    std::atomic<bool> after{false};
    std::function<void()> body = [&] {
        kill_thread(headless::current_thread());
        after = true;
    };
    thread_id id = start(&body);
    EXPECT_TRUE(headless::wait_parked(id));
    EXPECT_FALSE(after);
    EXPECT_EQ(kill_thread(id), B_BAD_THREAD_ID);
}

TEST(ThreadTest, ThreadsTheGameDidNotSpawnCanBeKilledToo) {
    std::atomic<thread_id> id{0};
    std::atomic<int> turns{0};
    std::thread other([&] {
        id = headless::current_thread();
        for (;;) {
            turns++;
            spin_hint();
        }
    });
    other.detach();
    ASSERT_TRUE(eventually([&] { return id > 0 && turns > 0; }));
    EXPECT_EQ(kill_thread(id), B_OK);
    EXPECT_TRUE(stays(turns));
}

TEST(ThreadTest, AThreadThatReturnedCannotBeKilled) {
    std::atomic<bool> done{false};
    std::function<void()> body = [&] { done = true; };
    thread_id id = start(&body);
    ASSERT_TRUE(eventually([&] { return done.load(); }));
    // It may still be on its way out; once out, the id is dead.
    ASSERT_TRUE(eventually([&] { return kill_thread(id) == B_BAD_THREAD_ID; }));
}

// ---- Keys. ---------------------------------------------------------------------

TEST(KeyTest, EachKeyCodeSetsExactlyItsOwnBit) {
    key_info info;
    for (int code = 0; code < 128; code++) {
        headless::key(uint8(code), true);
        get_key_info(&info);
        for (int byte = 0; byte < 16; byte++)
            ASSERT_EQ(info.key_states[byte], byte == code / 8 ? 0x80 >> (code % 8) : 0) << "key " << code;
        headless::key(uint8(code), false);
        get_key_info(&info);
        for (int byte = 0; byte < 16; byte++) ASSERT_EQ(info.key_states[byte], 0) << "key " << code;
    }
}

TEST(KeyTest, OnlyTheNineKeysOfTheGameReachItsCodes) {
    // Scancodes are USB usage numbers: keypad 1 to 9 are 89 to 97.
    const struct {
        int scancode, code;
    } keys[] = {{95, 0x37}, {97, 0x39}, {92, 0x48}, {94, 0x4a}, {89, 0x58},
                {91, 0x5a}, {44, 0x5e}, {40, 0x47}, {41, 0x01}};
    for (int scancode = 0; scancode < 512; scancode++) {
        int expected = 0;
        for (const auto& k : keys)
            if (k.scancode == scancode) expected = k.code;
        EXPECT_EQ(platform::raw_key_for_scancode(scancode), expected) << "scancode " << scancode;
    }
}

// ---- Pacing. -------------------------------------------------------------------

TEST_F(NoTick, GetKeyInfoWaitsForAChangeAndReturnsTheNewState) {
    std::atomic<int> returned{0};
    std::atomic<uint8> seen{0};
    std::function<void()> body = [&] {
        key_info info;
        for (;;) {
            get_key_info(&info);
            seen = info.key_states[0x5e / 8];
            returned++;
        }
    };
    thread_id id = start(&body);
    ASSERT_TRUE(eventually([&] { return returned >= 1; }));
    int before = returned;
    EXPECT_TRUE(stays(returned)) << "returned with nothing new";
    headless::key(0x5e, true);
    ASSERT_TRUE(eventually([&] { return returned > before && seen == 0x02; }));
    headless::key(0x5e, false);
    ASSERT_TRUE(eventually([&] { return seen == 0; }));
    kill_thread(id);
}

TEST_F(NoTick, AFinishedMousePassWakesTheGame) {
    Window window;
    BView view(BRect(0, 0, 639, 479), "view", B_FOLLOW_NONE, 0);
    window.AddChild(&view);
    auto pass = [&] {
        BPoint where;
        uint32 buttons;
        window.Lock();
        view.GetMouse(&where, &buttons, false);
        window.Unlock();
    };
    headless::move(1, 1);
    pass();
    std::atomic<int> returned{0};
    std::function<void()> game = [&] {
        key_info info;
        for (;;) {
            get_key_info(&info);
            returned++;
        }
    };
    thread_id id = start(&game);
    ASSERT_TRUE(eventually([&] { return returned >= 1; }));
    headless::move(5, 5); // wakes the game on its own...
    ASSERT_TRUE(eventually([&] { return returned >= 2; }));
    ASSERT_TRUE(stays(returned));
    int before = returned;
    pass(); // ...and so does the pass that takes the move in, which may set Bouton1
    ASSERT_TRUE(eventually([&] { return returned > before; }));
    kill_thread(id);
}

TEST_F(NoTick, GetMouseGivesTheWindowLockUpWhileItWaitsAndTakesItBack) {
    Window window;
    BView view(BRect(0, 0, 639, 479), "view", B_FOLLOW_NONE, 0);
    window.AddChild(&view);
    headless::move(7, 8);
    std::atomic<int> polls{0};
    std::atomic<bool> held_after{false};
    std::atomic<float> x{0};
    std::function<void()> mouse = [&] {
        BPoint where;
        uint32 buttons;
        window.Lock();
        view.GetMouse(&where, &buttons, false);
        polls++;
        view.GetMouse(&where, &buttons, false);
        x = where.x;
        held_after = headless::lock_owner(&window) == headless::current_thread();
        polls++;
        window.Unlock();
        wait_forever();
    };
    thread_id id = start(&mouse);
    ASSERT_TRUE(eventually([&] { return polls == 1; }));
    ASSERT_TRUE(window.Lock());
    headless::move(30, 40);
    window.Unlock();
    ASSERT_TRUE(eventually([&] { return polls == 2; }));
    EXPECT_TRUE(held_after);
    EXPECT_EQ(x, 30);
    kill_thread(id);
}

TEST_F(NoTick, ALongSpinWaitsUntilThePlatformChanges) {
    Looper looper;
    std::atomic<bool> flag{false}, out{false};
    std::function<void()> body = [&] {
        while (!flag) spin_hint();
        out = true;
        wait_forever();
    };
    uint64_t before = headless::game_calls();
    thread_id id = start(&body);
    ASSERT_TRUE(eventually([&] { return headless::game_calls() >= before + 4097; }));
    flag = true;
    looper.Lock();
    looper.Unlock(); // any change of platform state wakes a waiting spin
    ASSERT_TRUE(eventually([&] { return out.load(); }));
    kill_thread(id);
}

TEST(InputTest, PositionsAreClampedIntoTheScreen) {
    Window window;
    BView view(BRect(0, 0, 639, 479), "view", B_FOLLOW_NONE, 0);
    window.AddChild(&view);
    BPoint where;
    uint32 buttons;
    const float moves[][4] = {{-5, -0.5f, 0, 0}, {700, 900, 639, 479}, {12.5f, 479.9f, 12.5f, 479}};
    for (const auto& m : moves) {
        headless::move(m[0], m[1]);
        window.Lock();
        view.GetMouse(&where, &buttons, false);
        window.Unlock();
        EXPECT_EQ(where.x, m[2]);
        EXPECT_EQ(where.y, m[3]);
    }
    headless::press(1);
    headless::press(3);
    window.Lock();
    view.GetMouse(&where, &buttons, false);
    window.Unlock();
    EXPECT_EQ(buttons, 5u);
    headless::release(1);
    headless::release(3);
}

} // namespace
