// The ordered input queue. Events are applied by whichever thread next begins a
// platform call that could take the one before in (a poll of the game, a GetMouse,
// a post, a waiter), so nothing runs beside the game to drive it, and a replay
// goes at the game's own pace.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/core.h"
#include "platform/input.h"

namespace platform {

namespace {

using input::Event;
using input::Source;

std::atomic<void (*)(const key_info&)> poll_hook{nullptr};

bool is_direction(uint8 code) {
    for (uint8 k : {KEY_KP1, KEY_KP3, KEY_KP4, KEY_KP6, KEY_KP7, KEY_KP9})
        if (code == k) return true;
    return false;
}

bool bit(const uint8* bits, uint8 code) { return bits[code / 8] & (0x80 >> (code % 8)); }
void set_bit(uint8* bits, uint8 code, bool on) {
    uint8 mask = uint8(0x80 >> (code % 8));
    bits[code / 8] = on ? uint8(bits[code / 8] | mask) : uint8(bits[code / 8] & ~mask);
}

int pause_limit() {
    static const int from_env = [] {
        const char* env = std::getenv("GLOBOID_SEAT_PAUSE_MS");
        char* end = nullptr;
        long ms = env && *env ? std::strtol(env, &end, 10) : -1;
        return env && *env && *end == '\0' && ms >= 0 && ms <= 600000 ? int(ms) : -1;
    }();
    int set = core().pause_limit;
    return set == Core::kPauseLimitFromEnv ? from_env : set;
}

// The outstanding event is taken once the mouse thread has begun two GetMouse
// calls since it was applied (so one whole pass published it) and the game has
// begun three polls after that: a game pass that polls after the pass reads the
// new state, and its drawing is out before the pass after.
bool taken(Core& c) {
    if (c.mouse_begins < c.mark_mouse + 2) return false;
    if (!c.mark_calls) c.mark_calls = c.game_calls.load() + 3;
    return c.game_calls.load() >= c.mark_calls;
}

// Applies one event; true when the input changed and so must be taken in.
bool apply_event(Guard& g, const Queued& q) {
    Core& c = core();
    const Event& e = q.event;
    int side = int(q.from);
    switch (e.kind) {
    case Event::Move: return apply_pointer(g, e.x, e.y);
    case Event::Press:
    case Event::Release: {
        bool down = e.kind == Event::Press;
        uint32 mask = 1u << (e.button - 1);
        c.held_buttons[side] = down ? c.held_buttons[side] | mask : c.held_buttons[side] & ~mask;
        return apply_button(g, e.button - 1, down);
    }
    case Event::KeyDown:
    case Event::KeyUp:
        set_bit(c.held_keys[side], e.code, e.kind == Event::KeyDown);
        return apply_key(g, e.code, e.kind == Event::KeyDown);
    case Event::Pause: break;
    }
    return false;
}

// The person's turn filter, as an event is applied: false drops it. Judged then and
// not as it arrives, so that a click queued behind the person's own move does not
// land in the other player's turn.
bool admit(const Queued& q) {
    Core& c = core();
    const Event& e = q.event;
    if (q.from != Source::Person) return true;
    if ((e.kind == Event::Press || e.kind == Event::Release) && e.button == 1) {
        bool dropped = c.dropped_button;
        c.dropped_button = e.kind == Event::Press && !c.person_turn;
        return e.kind == Event::Press ? c.person_turn : !dropped;
    }
    if ((e.kind == Event::KeyDown || e.kind == Event::KeyUp) && is_direction(e.code)) {
        bool dropped = bit(c.dropped_keys, e.code);
        if (e.kind == Event::KeyDown) {
            set_bit(c.dropped_keys, e.code, !c.person_turn);
            return c.person_turn;
        }
        set_bit(c.dropped_keys, e.code, false);
        return !dropped;
    }
    return true;
}

bool valid(const Event& e) {
    switch (e.kind) {
    case Event::Press:
    case Event::Release: return e.button >= 1 && e.button <= 3;
    case Event::KeyDown:
    case Event::KeyUp: return e.code < 128;
    default: return true;
    }
}

} // namespace

void pump_input(Guard& g) {
    Core& c = core();
    for (;;) {
        if (c.outstanding) {
            if (c.pausing ? Clock::now() < c.pause_until : !taken(c)) break;
            c.outstanding = c.pausing = c.startup = false;
        }
        if (c.queue.empty()) break;
        Queued q = c.queue.front();
        c.queue.pop_front();
        if (!admit(q)) continue;
        if (q.event.kind == Event::Pause) {
            int limit = pause_limit();
            int ms = limit >= 0 ? std::min(q.event.ms, limit) : q.event.ms;
            if (ms <= 0) continue;
            c.outstanding = c.pausing = true;
            c.pause_until = Clock::now() + std::chrono::milliseconds(ms);
            c.pause_from = q.from;
        } else if (apply_event(g, q)) {
            c.outstanding = true;
            c.mark_mouse = c.mouse_begins;
            c.mark_calls = 0;
        }
    }
    // While input waits, the game and the mouse thread poll briskly (tick_deadline).
    bool busy = !c.queue.empty() || (c.outstanding && !c.startup);
    if (busy != c.queue_watching) {
        c.queue_watching = busy;
        c.watchers += busy ? 1 : -1;
        c.watches_begun += busy;
        c.cv.notify_all();
    }
}

bool awaits_polls(Guard&, bool mouse) {
    Core& c = core();
    if (!c.outstanding || c.pausing || c.startup) return false;
    return mouse ? c.mouse_begins < c.mark_mouse + 2 : c.mark_calls != 0;
}

void close_input(Guard& g) {
    Core& c = core();
    c.queue.clear();
    c.input_closed = true;
    c.outstanding = c.pausing = false;
    pump_input(g);
}

void run_poll_hook(const key_info& keys) {
    if (auto hook = poll_hook.load()) hook(keys);
}

} // namespace platform

using namespace platform;

void input::post(Source from, const std::vector<Event>& batch) {
    Core& c = core();
    Guard g(c.mu);
    if (c.input_closed) return;
    for (const Event& e : batch) {
        Queued q{from, e};
        if (!valid(e)) continue;
        if (e.kind == Event::Move && !c.queue.empty() && c.queue.back().from == from &&
            c.queue.back().event.kind == Event::Move) {
            c.queue.back().event = e;
            continue;
        }
        c.queue.push_back(q);
    }
    pump_input(g);
    c.cv.notify_all();
}

void input::set_person_turn(bool on) {
    Core& c = core();
    Guard g(c.mu);
    c.person_turn = on;
    c.cv.notify_all();
}

bool input::person_turn() {
    Guard g(core().mu);
    return core().person_turn;
}

void input::cancel(Source from) {
    Core& c = core();
    Guard g(c.mu);
    int side = int(from);
    uint32 buttons = c.held_buttons[side];
    uint8 keys[16];
    std::memcpy(keys, c.held_keys[side], 16);
    // A press still queued is dropped along with its release; what the source holds
    // down already is let go by the first release queued for it, kept in place.
    auto dropped = std::remove_if(c.queue.begin(), c.queue.end(), [&](const Queued& q) {
        if (q.from != from) return false;
        const Event& e = q.event;
        if (e.kind == Event::Release && (buttons & (1u << (e.button - 1)))) {
            buttons &= ~(1u << (e.button - 1));
            return false;
        }
        if (e.kind == Event::KeyUp && bit(keys, e.code)) {
            set_bit(keys, e.code, false);
            return false;
        }
        return true;
    });
    c.queue.erase(dropped, c.queue.end());
    if (c.pausing && c.pause_from == from) c.outstanding = c.pausing = false; // a pause under way ends too
    for (int b = 1; b <= 3; b++)
        if (buttons & (1u << (b - 1))) c.queue.push_back({from, Event::release(b)});
    for (int k = 0; k < 128; k++)
        if (bit(keys, uint8(k))) c.queue.push_back({from, Event::key(uint8(k), false)});
    pump_input(g);
    c.cv.notify_all();
}

void input::set_poll_hook(void (*hook)(const key_info& keys)) { poll_hook = hook; }

void input::set_pause_limit(int ms) {
    Guard g(core().mu);
    core().pause_limit = ms < 0 ? -1 : ms;
}

input::Wait input::wait_drained(int limit_ms, bool for_person_turn) {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = self(g);
    auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
    // A signal counts once the main thread has taken it up (signal_quit is its alone).
    auto quitting = [&] { return c.input_closed || c.quit_requested; };
    auto done = [&] {
        pump_input(g);
        return c.queue.empty() && !c.outstanding && (!for_person_turn || c.person_turn);
    };
    c.watchers++;
    c.watches_begun++;
    c.cv.notify_all();
    // Short slices: a pause ends by the clock alone, with nobody else to notice.
    while (!quitting() && !done() && Clock::now() < deadline)
        wait_until(g, t, std::min(deadline, Clock::now() + std::chrono::milliseconds(c.pausing ? 1 : 20)),
                   [&] { return quitting() || done(); });
    c.watchers--;
    return quitting() ? Wait::Quit : done() ? Wait::Drained : Wait::Late;
}

void input::nudge() {
    Core& c = core();
    Guard g(c.mu);
    c.in_gen++;
    c.cv.notify_all();
}

void input::request_quit() { platform::request_quit(); }
