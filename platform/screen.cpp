// The full-screen window: its thread, the connection, the mouse state of its view,
// and the hooks around _UPDATE that keep the frame buffer whole.
#include <cstdio>
#include <cstdlib>

#include "platform/core.h"
#include "platform/device.h"
#include "platform/frame.h"
#include "platform/screen.h"

using namespace platform;

namespace {

std::string open_failure;
LooperLock no_window_lock;

// _UPDATE writes the frame buffer only while the screen is connected, never while
// the device reads it, and never halfway through a cursor move: it holds the
// window's lock for the copy, as the mouse thread does for each pass.
void update_begin() {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = enter(g);
    LooperLock*& lock = c.screen_lock;
    wait(g, t, [&] { return c.connected && !c.presenting && (!lock->owner || lock->owner == t); });
    lock->owner = t;
    lock->count++;
    c.copying = true;
}

void update_end() {
    Core& c = core();
    {
        Guard g(c.mu);
        c.copying = false;
        c.frame_gen++;
        lock_release(g, self(g), *c.screen_lock);
        c.cv.notify_all();
    }
    device().wake();
}

// The window's thread: connects the screen, then waits for its quit request.
int32 window_thread(void* data) {
    auto* window = static_cast<BWindowScreen*>(data);
    Core& c = core();
    {
        Guard g(c.mu);
        c.connected = true;
        c.cv.notify_all();
    }
    window->Lock();
    window->ScreenConnected(true);
    window->Unlock();
    Guard g(c.mu);
    ThreadRecord* t = self(g);
    auto& queue = queue_of(window);
    for (;;) {
        wait(g, t, [&] { return c.closed || !queue.empty(); });
        if (c.closed) return 0;
        uint32 command = queue.front();
        queue.pop_front();
        if (command != B_QUIT_REQUESTED) continue;
        g.unlock();
        window->Lock();
        window->Quit();
        g.lock();
    }
}

} // namespace

// ---- BView and BWindow. --------------------------------------------------------

BView::BView(BRect frame, const char* /*name*/, uint32 /*resizing_mode*/, uint32 /*flags*/) : frame_(frame) {}

BView::~BView() = default;

// Waits for the input to change, a tick at most, with the window's lock given up
// meanwhile (as a condition variable gives up its mutex), so the wait holds up
// neither the window's thread nor the game.
void BView::GetMouse(BPoint* where, uint32* buttons, bool /*check_queue: state is always current*/) {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = enter(g);
    c.mouse_begins++;
    if (c.watchers.load()) c.cv.notify_all();
    pump_input(g);
    LooperLock* lock = window_ ? &lock_of(window_) : nullptr;
    bool holds = lock && lock->owner == t;
    if (c.in_gen == t->mouse_gen) {
        int held = holds ? lock->count : 0;
        if (holds) {
            lock->owner = nullptr;
            lock->count = 0;
            c.cv.notify_all();
        }
        const uint64_t watches = c.watches_begun;
        wait_until(g, t, tick_deadline(),
                   [&] { return c.in_gen != t->mouse_gen || c.watches_begun != watches || awaits_polls(g, true); });
        if (holds) {
            wait(g, t, [&] { return !lock->owner; });
            lock->owner = t;
            lock->count = held;
        }
    }
    if (where) *where = BPoint(c.input.x - frame_.left, c.input.y - frame_.top);
    if (buttons) *buttons = c.input.buttons;
    t->mouse_gen = c.in_gen;
    if (holds) {
        t->in_pass = true;
        t->pass_gen = c.in_gen;
    } else if (c.in_gen > c.published_gen) {
        c.published_gen = c.in_gen;
        c.cv.notify_all();
    }
}

void BWindow::AddChild(BView* child, BView* /*before: one view, no order*/) {
    if (child) child->window_ = this;
}

// ---- BWindowScreen. ------------------------------------------------------------

BWindowScreen::BWindowScreen(const char* title, uint32 space, status_t* error, bool /*debug_enable*/) {
    status_t status = B_OK;
    if (space != B_32_BIT_640x480) {
        open_failure = "only 640x480 at 32 bits per pixel is provided";
        status = B_ERROR;
    } else if (!device().open(title ? title : "", &open_failure)) {
        status = B_NO_INIT;
    }
    opened_ = status == B_OK;
    info_.frame_buffer = opened_ ? device().frame_buffer() : nullptr;
    info_.bits_per_pixel = 32;
    info_.bytes_per_row = 2560;
    info_.width = 640;
    info_.height = 480;
    Guard g(core().mu);
    core().screen = this;
    core().screen_lock = &lock_of(this);
    if (error) *error = status;
}

BWindowScreen::~BWindowScreen() {
    Core& c = core();
    Guard g(c.mu);
    if (c.screen != this) return;
    c.screen = nullptr;
    c.connected = false;
    c.screen_lock = &no_window_lock;
    c.cv.notify_all();
}

void BWindowScreen::Show() {
    if (!opened_) {
        std::fprintf(stderr, "%s: cannot take the screen: %s\n", program_name(), open_failure.c_str());
        std::exit(EXIT_FAILURE);
    }
    {
        Guard g(core().mu);
        enter(g);
        if (core().shown) return;
        core().shown = true;
    }
    device().show();
    update_hooks = {update_begin, update_end};
    resume_thread(spawn_thread(window_thread, "window", B_NORMAL_PRIORITY, this));
}

void BWindowScreen::ScreenConnected(bool /*connected*/) {}

graphics_card_info* BWindowScreen::CardInfo() { return &info_; }

void BWindowScreen::Disconnect() {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = enter(g);
    wait(g, t, [&] { return !c.copying; });
    c.connected = false;
    c.cv.notify_all();
}

void BWindowScreen::Quit() {
    Disconnect();
    Core& c = core();
    {
        Guard g(c.mu);
        c.closed = true;
        c.cv.notify_all();
    }
    device().wake();
}
