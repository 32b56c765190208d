// The window's quit and disconnection with the real mouse thread, window and view
// on the headless device, each in a process of its own (see CMakeLists.txt), since
// a window closes only once.
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
