// The test-facing side of the platform (headless.h).
#include <cstring>

#include "platform/core.h"
#include "platform/device.h"
#include "platform/headless.h"

using namespace platform;

void headless::select() { use_headless_device(); }

void headless::move(float x, float y) { set_pointer(x, y); }
void headless::press(int button) { set_button(button - 1, true); }
void headless::release(int button) { set_button(button - 1, false); }
void headless::key(uint8 code, bool down) { set_key(code, down); }

// The mouse thread has begun `passes` GetMouse calls since the latest input change
// and then the game has begun `calls` polls: the input queue's rule (input.cpp).
bool headless::wait_seen(int passes, int calls, int limit_ms) {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = self(g);
    c.watchers++;
    c.watches_begun++;
    c.cv.notify_all();
    uint64_t mouse_target = c.step_mouse_begins + uint64_t(passes);
    uint64_t call_target = 0;
    bool seen = wait_until(g, t, Clock::now() + std::chrono::milliseconds(limit_ms), [&] {
        if (c.mouse_begins < mouse_target) return false;
        if (!call_target) call_target = c.game_calls.load() + uint64_t(calls);
        return c.game_calls.load() >= call_target;
    });
    c.watchers--;
    return seen;
}

std::vector<uint32_t> headless::frame() { return copy_frame(); }

bool headless::wait_frame(const std::function<bool(const uint32_t*)>& pred, int limit_ms) {
    Core& c = core();
    auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
    for (;;) {
        uint64_t looked_at;
        {
            Guard g(c.mu);
            if (!wait_until(g, self(g), deadline, [&] { return !c.copying; })) return false;
            looked_at = c.frame_gen;
            c.presenting = true;
        }
        bool ok = pred(reinterpret_cast<const uint32_t*>(device().frame_buffer()));
        Guard g(c.mu);
        c.presenting = false;
        c.cv.notify_all();
        if (ok) return true;
        if (!wait_until(g, self(g), deadline, [&] { return c.frame_gen != looked_at; })) return false;
    }
}

void headless::set_tick_ms(int ms) {
    Guard g(core().mu);
    core().tick_forever = ms <= 0;
    if (ms > 0) core().tick = std::chrono::milliseconds(ms);
    core().cv.notify_all();
}

thread_id headless::current_thread() {
    Guard g(core().mu);
    return self(g)->id;
}

bool headless::wait_parked(thread_id id, int limit_ms) {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* target = nullptr;
    for (ThreadRecord* t : c.threads)
        if (t->id == id) target = t;
    if (!target) return false;
    return wait_until(g, self(g), Clock::now() + std::chrono::milliseconds(limit_ms), [&] { return target->parked; });
}

thread_id headless::lock_owner(BLooper* looper) {
    Guard g(core().mu);
    ThreadRecord* owner = lock_of(looper).owner;
    return owner ? owner->id : 0;
}

uint64_t headless::game_calls() { return core().game_calls.load(); }
