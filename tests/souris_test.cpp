// The cursor with the real mouse thread, window and view, on the headless device;
// and the window's quit and disconnection, each in a process of its own (see
// CMakeLists.txt), since a window closes only once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/headless.h"
#include "platform/input.h"
#include "platform/kernel.h"
#include "souris/souris.h"
#include "tests/harness.h"
#include "unit/unit.h"

namespace {

using test::eventually;

// Input steps: each returns once the mouse thread has run a whole pass with it. A
// move to where the mouse is lets a pass run with nothing new.
bool move(float x, float y) { return headless::move(x, y), headless::wait_seen(2, 0); }
bool press(int button) { return headless::press(button), headless::wait_seen(2, 0); }
bool release(int button) { return headless::release(button), headless::wait_seen(2, 0); }

BApplication* app;

// One application and one connected window for the whole process.
struct Screen : ::testing::Environment {
    void SetUp() override {
        headless::select();
        app = new BApplication("application/x-vnd.globoid-test");
        OpenWindow(nullptr, nullptr);
    }
};
const auto* screen = ::testing::AddGlobalTestEnvironment(new Screen);

uint32_t shape[256]; // the test cursor

std::vector<uint32_t> words(const char* image) {
    const uint32_t* p = reinterpret_cast<const uint32_t*>(image);
    return {p, p + 640 * 480};
}

// Whether image (by default _ECRAN) is _FOND with the test cursor keyed over it at
// (x, y), or with no cursor when x < 0; else where the first pixel differs.
::testing::AssertionResult shows(int x, int y, std::vector<uint32_t> image = {}) {
    if (image.empty()) {
        Window->Lock();
        image = words(_ECRAN);
        Window->Unlock();
    }
    std::vector<uint32_t> want = words(_FOND);
    for (int i = 0; i < 256 && x >= 0; i++)
        if (shape[i]) want[(y + i / 16) * 640 + x + i % 16] = shape[i];
    size_t at = std::mismatch(want.begin(), want.end(), image.begin()).first - want.begin();
    if (at == want.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "first differs at (" << at % 640 << ", " << at / 640 << ")";
}

// Each test gets fresh test art and a fresh cursor object with its mouse thread;
// the thread is killed at the end.
class SourisTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(shape, _SOURIS, sizeof shape);
        SourisType* own = new SourisType;
        std::memcpy(own->Forme, shape, sizeof shape);
        // The mouse thread works on its own object before Souris is set.
        ASSERT_TRUE(move(77, 88));
        EXPECT_EQ(own->x, 77);
        Souris = own;
    }
    void TearDown() override {
        EXPECT_EQ(kill_thread(Souris->Thread), B_OK);
        Souris = nullptr;
        EXPECT_TRUE(buffers_.guards_intact());
    }

    test::Buffers buffers_;
};

TEST_F(SourisTest, ThePositionIsClampedAndTheCursorIsDrawnThereOnShowAndMovesOnly) {
    const float moves[][4] = {{639, 479, 623, 463}, {-30, -40, 0, 0}, {700, 10, 623, 10}, {300.9f, 200.5f, 300, 200}};
    for (const auto& m : moves) {
        ASSERT_TRUE(move(m[0], m[1]));
        EXPECT_EQ(Souris->x, m[2]);
        EXPECT_EQ(Souris->y, m[3]);
    }
    Souris->Show();
    EXPECT_TRUE(shows(300, 200));
    ASSERT_TRUE(move(639, 479)); // the cursor lies wholly on the screen
    EXPECT_TRUE(shows(623, 463));
    Souris->Hide();
    EXPECT_TRUE(shows(-1, -1));
    ASSERT_TRUE(move(40, 40)); // moved while hidden: nothing drawn now, and Show draws at the new place
    EXPECT_TRUE(shows(-1, -1));
    Souris->Show();
    EXPECT_TRUE(shows(40, 40));

    // A pixel under a transparent part of the cursor, changed behind the cursor's
    // back: a redraw, which an unmoved mouse must not cause, would put the saved pixel back.
    ASSERT_EQ(shape[0], 0u);
    Window->Lock();
    test::set_pixel(_ECRAN, 40, 40, 0x12345678);
    Window->Unlock();
    ASSERT_TRUE(press(1) && release(1) && move(40, 40));
    EXPECT_EQ(test::pixel(_ECRAN, 40, 40), 0x12345678u);
    Souris->Hide();
}

TEST_F(SourisTest, TheButtonsFreezeWhileTheCursorIsHidden) {
    ASSERT_TRUE(press(1));
    EXPECT_FALSE(Souris->Bouton1);
    Souris->Show();
    ASSERT_TRUE(move(77, 88));
    EXPECT_TRUE(Souris->Bouton1);
    Souris->Hide();
    ASSERT_TRUE(release(1));
    EXPECT_TRUE(Souris->Bouton1);
    Souris->Show();
    ASSERT_TRUE(move(77, 88));
    EXPECT_FALSE(Souris->Bouton1);
    for (int button : {2, 3}) {
        ASSERT_TRUE(press(button));
        EXPECT_EQ(Souris->Bouton2, button == 2);
        EXPECT_EQ(Souris->Bouton3, button == 3);
        ASSERT_TRUE(release(button));
    }
    EXPECT_FALSE(Souris->Bouton1 || Souris->Bouton2 || Souris->Bouton3);
    Souris->Hide();
}

TEST_F(SourisTest, FramesNeverShowHalfACursorNorACursorThatWasHidden) {
    _VIDEO = static_cast<char*>(Window->CardInfo()->frame_buffer);
    Souris->Show();
    int opaque = 0;
    while (!shape[opaque]) opaque++;
    // Each move sets the mouse thread drawing while this thread copies frames out.
    uint64_t seed = 7;
    for (int frame = 0, shown = 1; frame < 200; frame++) {
        headless::move(float(test::next_random(seed) % 640), float(test::next_random(seed) % 480));
        if (frame % 7 == 3) {
            shown ? Souris->Hide() : Souris->Show();
            shown = !shown;
        }
        _UPDATE();
        std::vector<uint32_t> image = headless::frame();
        if (!shown) {
            ASSERT_TRUE(shows(-1, -1, image)) << "a hidden cursor in frame " << frame;
            continue;
        }
        // The first pixel off the background is the cursor's first opaque one, and
        // so tells where the whole cursor must lie.
        auto first = std::mismatch(image.begin(), image.end(), words(_FOND).begin()).first - image.begin();
        int x = int(first % 640) - opaque % 16, y = int(first / 640) - opaque / 16;
        ASSERT_TRUE(x <= 623 && y >= 0 && y <= 463) << "frame " << frame;
        ASSERT_TRUE(shows(x, y, image)) << "frame " << frame;
    }
    Souris->Hide();
}

// ---- Quitting and disconnecting: each run in a process of its own. ----------------

// A game thread that copies a numbered frame out as fast as it can.
std::atomic<int> frames_made{0};
int32 copier(void*) {
    for (key_info keys;; _UPDATE()) {
        get_key_info(&keys);
        int n = ++frames_made;
        std::memcpy(_ECRAN, &n, 4);
    }
}

thread_id start_copier() {
    _VIDEO = static_cast<char*>(Window->CardInfo()->frame_buffer);
    thread_id id = spawn_thread(copier, "game", B_NORMAL_PRIORITY, nullptr);
    resume_thread(id);
    EXPECT_TRUE(eventually([] { return frames_made > 3; }));
    return id;
}

TEST(Quit, KillsTheGameAndMouseThreadsClosesTheWindowAndRunReturns) {
    test::Buffers buffers;
    Souris = new SourisType;
    Souris->Show();
    Window->Thread = start_copier();
    app->PostMessage(B_QUIT_REQUESTED);
    app->Run();
    // Both were parked before the window closed, and so before Run returned.
    EXPECT_TRUE(headless::wait_parked(Window->Thread, 0));
    EXPECT_TRUE(headless::wait_parked(Souris->Thread, 0));
    EXPECT_TRUE(eventually([] { return headless::lock_owner(Window) == 0; }));
}

TEST(QuitEarly, SkipsTheThreadsThatDoNotExistYet) {
    app->PostMessage(B_QUIT_REQUESTED);
    app->Run();
    EXPECT_TRUE(eventually([] { return headless::lock_owner(Window) == 0; }));
}

TEST(Disconnect, NothingReachesTheFrameBufferAfterwards) {
    test::Buffers buffers;
    thread_id game = start_copier();
    Window->Disconnect();
    std::vector<uint32_t> before = headless::frame();
    auto changed = [&](const uint32_t* frame) { return std::memcmp(frame, before.data(), kScreenBytes) != 0; };
    EXPECT_FALSE(headless::wait_frame(changed, 300));
    EXPECT_EQ(headless::frame(), before) << "written without a frame's notice";
    EXPECT_EQ(kill_thread(game), B_OK);
}

} // namespace
