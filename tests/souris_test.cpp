// The buttons as the real mouse thread, window and view give them, on the
// headless device; and the window's quit and disconnection, each in a process of its own (see
// CMakeLists.txt), since a window closes only once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

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

// Each test gets fresh test art and a fresh cursor object with its mouse thread;
// the thread is killed at the end.
class SourisTest : public ::testing::Test {
protected:
    void SetUp() override {
        SourisType* own = new SourisType;
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
