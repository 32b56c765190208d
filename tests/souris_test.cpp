// The cursor with the real mouse thread, window and view, on the headless device;
// and the window's quit and disconnection, each in a process of its own (see
// CMakeLists.txt), since a window closes only once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/headless.h"
#include "platform/input.h"
#include "platform/kernel.h"
#include "souris/souris.h"
#include "tests/support.h"
#include "unit/unit.h"

namespace {

bool eventually(const std::function<bool()>& cond) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond())
        if (std::chrono::steady_clock::now() > limit) return false;
        else std::this_thread::yield();
    return true;
}

// The mouse thread has begun `n` more passes, so at least n - 1 whole ones ran.
bool passes(int n = 2) {
    uint64_t target = headless::mouse_calls() + uint64_t(n);
    return eventually([&] { return headless::mouse_calls() >= target; });
}

// Input steps: the mouse thread has run a whole pass with the new input.
void move(float x, float y) {
    headless::move(x, y);
    ASSERT_TRUE(headless::wait_seen(2, 0));
}
void press(int button) {
    headless::press(button);
    ASSERT_TRUE(headless::wait_seen(2, 0));
}
void release(int button) {
    headless::release(button);
    ASSERT_TRUE(headless::wait_seen(2, 0));
}

BApplication* app;

// One application and one connected window for the whole process.
class Screen : public ::testing::Environment {
public:
    void SetUp() override {
        headless::select();
        app = new BApplication("application/x-vnd.globoid-test");
        Connected = false;
        Window = new WindowType;
        Window->Show();
        while (!Connected) spin_hint();
    }
};
const auto* screen = ::testing::AddGlobalTestEnvironment(new Screen);

// The frame buffer as _FOND with the test cursor keyed over it at (x, y).
std::vector<uint32_t> with_cursor(const uint32_t* shape, int x, int y) {
    std::vector<uint32_t> image(640 * 480);
    std::memcpy(image.data(), _FOND, image.size() * 4);
    for (int r = 0; r < 16; r++)
        for (int c = 0; c < 16; c++)
            if (shape[r * 16 + c]) image[(y + r) * 640 + x + c] = shape[r * 16 + c];
    return image;
}

std::vector<uint32_t> ecran() {
    std::vector<uint32_t> image(640 * 480);
    Window->Lock();
    std::memcpy(image.data(), _ECRAN, image.size() * 4);
    Window->Unlock();
    return image;
}

// Where two images differ: the count and the first (x, y), for messages.
std::string difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    size_t count = 0, first = 0;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] != b[i] && count++ == 0) first = i;
    if (!count) return "same";
    return std::to_string(count) + " pixels differ, first at (" + std::to_string(first % 640) + ", " +
           std::to_string(first / 640) + ")";
}

// Each test gets fresh test art and a fresh cursor object with its mouse thread;
// the thread is killed at the end.
class SourisTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(shape_, _SOURIS, sizeof shape_);
        Souris = new SourisType;
        std::memcpy(Souris->Forme, shape_, sizeof shape_);
        ASSERT_TRUE(passes());
    }
    void TearDown() override {
        EXPECT_EQ(kill_thread(Souris->Thread), B_OK);
        Souris = nullptr;
        EXPECT_TRUE(buffers_.guards_intact());
    }

    test::Buffers buffers_;
    uint32_t shape_[256];
};

TEST_F(SourisTest, ThePositionIsClampedTo623And463AndTo0) {
    const int moves[][4] = {{639, 479, 623, 463}, {-30, -40, 0, 0}, {700, 10, 623, 10}, {300, 200, 300, 200}};
    for (const auto& m : moves) {
        move(float(m[0]), float(m[1]));
        EXPECT_EQ(Souris->x, m[2]);
        EXPECT_EQ(Souris->y, m[3]);
    }
    move(300.9f, 200.5f);
    EXPECT_EQ(Souris->x, 300); // truncated
    EXPECT_EQ(Souris->y, 200);

    // In the corner, the cursor lies wholly on the screen and off its last row and column.
    Souris->Show();
    move(639, 479);
    EXPECT_EQ(ecran(), with_cursor(shape_, 623, 463)) << difference(ecran(), with_cursor(shape_, 623, 463));
    Souris->Hide();
}

TEST_F(SourisTest, TheButtonsFreezeWhileTheCursorIsHidden) {
    press(1);
    EXPECT_FALSE(Souris->Bouton1);
    Souris->Show();
    ASSERT_TRUE(passes());
    EXPECT_TRUE(Souris->Bouton1);
    Souris->Hide();
    release(1);
    EXPECT_TRUE(Souris->Bouton1);
    Souris->Show();
    ASSERT_TRUE(passes());
    EXPECT_FALSE(Souris->Bouton1);

    press(2);
    EXPECT_TRUE(Souris->Bouton2);
    EXPECT_FALSE(Souris->Bouton3);
    release(2);
    press(3);
    EXPECT_FALSE(Souris->Bouton2);
    EXPECT_TRUE(Souris->Bouton3);
    release(3);
    EXPECT_FALSE(Souris->Bouton1);
    Souris->Hide();
}

TEST_F(SourisTest, ShowDrawsAtTheCurrentPositionAndHideLeavesNoTrace) {
    move(100, 50);
    std::vector<uint32_t> background = ecran();
    Souris->Show();
    EXPECT_EQ(ecran(), with_cursor(shape_, 100, 50)) << difference(ecran(), with_cursor(shape_, 100, 50));
    move(300, 200);
    EXPECT_EQ(ecran(), with_cursor(shape_, 300, 200)) << difference(ecran(), with_cursor(shape_, 300, 200));
    Souris->Hide();
    EXPECT_EQ(ecran(), background) << difference(ecran(), background);
    move(5, 6); // moved while hidden: nothing drawn now, and Show draws at the new place
    EXPECT_EQ(ecran(), background);
    Souris->Show();
    EXPECT_EQ(ecran(), with_cursor(shape_, 5, 6)) << difference(ecran(), with_cursor(shape_, 5, 6));
    Souris->Hide();
}

TEST_F(SourisTest, AnUnmovedMouseDrawsNothing) {
    move(40, 40);
    Souris->Show();
    // A pixel under a transparent part of the cursor, changed behind the cursor's
    // back: a redraw would put the saved pixel back.
    int hole = 0;
    while (shape_[hole]) hole++;
    Window->Lock();
    test::set_pixel(_ECRAN, 40 + hole % 16, 40 + hole / 16, 0x12345678);
    Window->Unlock();
    press(1);
    release(1);
    ASSERT_TRUE(passes(3));
    EXPECT_EQ(test::pixel(_ECRAN, 40 + hole % 16, 40 + hole / 16), 0x12345678u);
    Window->Lock();
    test::set_pixel(_ECRAN, 40 + hole % 16, 40 + hole / 16, test::pixel(_FOND, 40 + hole % 16, 40 + hole / 16));
    Window->Unlock();
    Souris->Hide();
}

TEST_F(SourisTest, FramesNeverShowHalfACursorNorACursorThatWasHidden) {
    _VIDEO = static_cast<char*>(Window->CardInfo()->frame_buffer);
    Souris->Show();
    std::atomic<bool> done{false};
    std::thread mover([&] {
        uint64_t seed = 7;
        for (int i = 0; i < 150; i++) {
            headless::move(float(test::next_random(seed) % 640), float(test::next_random(seed) % 480));
            headless::wait_seen(1, 0);
        }
        done = true;
    });
    int frames = 0;
    for (bool shown = true; !done || frames < 50; frames++) {
        if (frames % 7 == 3) {
            shown ? Souris->Hide() : Souris->Show();
            shown = !shown;
        }
        _UPDATE();
        std::vector<uint32_t> frame = headless::frame();
        // The first pixel that differs from the background is the cursor's first
        // opaque pixel; the whole frame must then be the background with the
        // cursor at the place that implies.
        size_t first = 0;
        while (first < frame.size() && frame[first] == reinterpret_cast<uint32_t*>(_FOND)[first]) first++;
        if (!shown) {
            ASSERT_EQ(first, frame.size()) << "a hidden cursor in frame " << frames;
            continue;
        }
        int opaque = 0;
        while (!shape_[opaque]) opaque++;
        int x = int(first % 640) - opaque % 16, y = int(first / 640) - opaque / 16;
        ASSERT_TRUE(x >= 0 && y >= 0 && x <= 623 && y <= 463) << "frame " << frames;
        auto expected = with_cursor(shape_, x, y);
        ASSERT_EQ(frame, expected) << "frame " << frames << ": " << difference(frame, expected);
    }
    mover.join();
    Souris->Hide();
}

TEST_F(SourisTest, TheMouseThreadWorksOnItsOwnObjectBeforeSourisIsSet) {
    SourisType* own = Souris;
    Souris = nullptr;
    move(77, 88);
    EXPECT_EQ(own->x, 77);
    EXPECT_EQ(own->y, 88);
    Souris = own;
}

// ---- Quitting and disconnecting: each run in a process of its own. ----------------

// A game thread that copies a numbered frame out as fast as it can.
std::atomic<int> frames_made{0};
int32 copier(void*) {
    key_info keys;
    for (;;) {
        get_key_info(&keys);
        int n = ++frames_made;
        std::memcpy(_ECRAN, &n, 4);
        _UPDATE();
    }
}

TEST(Quit, KillsTheGameAndMouseThreadsClosesTheWindowAndRunReturns) {
    test::Buffers buffers;
    _VIDEO = static_cast<char*>(Window->CardInfo()->frame_buffer);
    Souris = new SourisType;
    Souris->Show();
    Window->Thread = spawn_thread(copier, "game", B_NORMAL_PRIORITY, nullptr);
    resume_thread(Window->Thread);
    ASSERT_TRUE(eventually([] { return frames_made > 3; }));
    app->PostMessage(B_QUIT_REQUESTED);
    app->Run();
    // Both were parked before the window closed, and so before Run returned.
    EXPECT_TRUE(headless::wait_parked(Window->Thread, 0));
    EXPECT_TRUE(headless::wait_parked(Souris->Thread, 0));
    EXPECT_EQ(kill_thread(Window->Thread), B_BAD_THREAD_ID);
    EXPECT_EQ(kill_thread(Souris->Thread), B_BAD_THREAD_ID);
    EXPECT_TRUE(eventually([] { return headless::lock_owner(Window) == 0; }));
}

TEST(QuitEarly, SkipsTheThreadsThatDoNotExistYet) {
    Window->Thread = 0;
    Souris = nullptr;
    app->PostMessage(B_QUIT_REQUESTED);
    app->Run();
    EXPECT_TRUE(eventually([] { return headless::lock_owner(Window) == 0; }));
}

TEST(Disconnect, NothingReachesTheFrameBufferAfterwards) {
    test::Buffers buffers;
    _VIDEO = static_cast<char*>(Window->CardInfo()->frame_buffer);
    thread_id game = spawn_thread(copier, "game", B_NORMAL_PRIORITY, nullptr);
    resume_thread(game);
    ASSERT_TRUE(eventually([] { return frames_made > 3; }));
    Window->Disconnect();
    std::vector<uint32_t> before = headless::frame();
    int made = frames_made;
    auto changed = [&](const uint32_t* frame) { return std::memcmp(frame, before.data(), 640 * 480 * 4) != 0; };
    EXPECT_FALSE(headless::wait_frame(changed, 300));
    EXPECT_LE(frames_made, made + 1); // the copier is held inside _UPDATE
    EXPECT_EQ(headless::frame(), before);
    EXPECT_EQ(kill_thread(game), B_OK);
}

} // namespace
