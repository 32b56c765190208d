// Threads with cooperative kill points, and the input state with the pacing of
// get_key_info.
//
// A killed thread is never unwound: at its next kill point it gives back every
// looper lock it holds, says it has parked, blocks all signals and sleeps in
// sigsuspend until the process ends. Every platform call is a kill point, and so
// is every wait inside one, so a thread that only spins through spin_hint, waits
// on a lock or waits inside the platform always reaches one soon.
#include "platform/core.h"

#include <algorithm>
#include <cstring>
#include <pthread.h>
#include <signal.h>

#include "platform/input.h"

namespace platform {

volatile std::sig_atomic_t signal_quit = 0;

Core& core() {
    static Core* c = new Core; // never destroyed: parked threads may outlive main
    return *c;
}

namespace {

constexpr int kSpinsBeforeWait = 4096;

// Marks the record exited when a thread that spawn_thread did not make ends.
struct SelfSlot {
    ThreadRecord* record = nullptr;
    ~SelfSlot() {
        if (!record) return;
        Core& c = core();
        Guard g(c.mu);
        record->exited = true;
        c.cv.notify_all();
    }
};
thread_local SelfSlot self_slot;

ThreadRecord* new_record(Guard&, const char* name) {
    Core& c = core();
    auto* t = new ThreadRecord;
    t->id = c.next_id++;
    t->name = name ? name : "";
    c.threads.push_back(t);
    return t;
}

ThreadRecord* find(thread_id id) {
    for (ThreadRecord* t : core().threads)
        if (t->id == id) return t;
    return nullptr;
}

void release_holds(ThreadRecord* t) {
    for (LooperLock* lock : core().locks)
        if (lock->owner == t) {
            lock->owner = nullptr;
            lock->count = 0;
        }
    t->in_pass = false;
}

[[noreturn]] void park(Guard& g, ThreadRecord* t) {
    release_holds(t);
    t->parked = true;
    core().cv.notify_all();
    g.unlock();
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (;;) sigsuspend(&all);
}

void* trampoline(void* arg) {
    auto* t = static_cast<ThreadRecord*>(arg);
    self_slot.record = t;
    pthread_setname_np(pthread_self(), t->name.substr(0, 15).c_str());
    {
        Guard g(core().mu);
        wait(g, t, [t] { return t->resumed; });
    }
    t->entry(t->data);
    Guard g(core().mu);
    release_holds(t);
    t->exited = true;
    core().cv.notify_all();
    return nullptr;
}

// A change of input: a new generation, and everyone waiting on input wakes.
void changed(Guard&) {
    Core& c = core();
    c.in_gen++;
    c.cv.notify_all();
}

} // namespace

ThreadRecord* self(Guard& g) {
    if (!self_slot.record) {
        char name[16] = "";
        pthread_getname_np(pthread_self(), name, sizeof name);
        self_slot.record = new_record(g, name);
    }
    return self_slot.record;
}

void kill_point(Guard& g, ThreadRecord* t) {
    if (t->killed.load()) park(g, t);
}

ThreadRecord* enter(Guard& g) {
    ThreadRecord* t = self(g);
    kill_point(g, t);
    t->spins = 0;
    return t;
}

// While someone waits to see the game take an input in (a script step, a test),
// polls come round every millisecond, so a replay moves at the game's own pace
// rather than the idle tick's.
Clock::time_point tick_deadline() {
    Core& c = core();
    if (c.tick_forever) return Clock::time_point::max();
    return Clock::now() + (c.watchers.load() ? std::chrono::milliseconds(1) : c.tick);
}

void count_game_call(Guard& g) {
    Core& c = core();
    c.game_calls++;
    if (c.watchers.load()) c.cv.notify_all();
    pump_input(g);
}

void lock_acquire(Guard& g, ThreadRecord* t, LooperLock& lock) {
    if (lock.owner == t) {
        lock.count++;
        return;
    }
    wait(g, t, [&] { return lock.owner == nullptr; });
    lock.owner = t;
    lock.count = 1;
}

void lock_release(Guard&, ThreadRecord* t, LooperLock& lock) {
    Core& c = core();
    if (lock.owner != t) return;
    if (--lock.count > 0) return;
    lock.owner = nullptr;
    // The end of a mouse pass: the input its GetMouse returned is now in the
    // cursor object, so a game waiting in get_key_info may look again.
    if (t->in_pass) {
        t->in_pass = false;
        if (t->pass_gen > c.published_gen) c.published_gen = t->pass_gen;
    }
    c.cv.notify_all();
}

// ---- Input. --------------------------------------------------------------------

bool apply_pointer(Guard& g, float x, float y) {
    Core& c = core();
    c.step_mouse_begins = c.mouse_begins;
    x = std::clamp(x, 0.0f, 639.0f);
    y = std::clamp(y, 0.0f, 479.0f);
    if (x == c.input.x && y == c.input.y) return false;
    c.input.x = x;
    c.input.y = y;
    changed(g);
    return true;
}

bool apply_button(Guard& g, int index, bool down) {
    Core& c = core();
    c.step_mouse_begins = c.mouse_begins;
    if (index < 0 || index > 2) return false;
    uint32 bit = 1u << index;
    if (((c.input.buttons & bit) != 0) == down) return false;
    c.input.buttons ^= bit;
    changed(g);
    return true;
}

bool apply_key(Guard& g, uint8 code, bool down) {
    Core& c = core();
    c.step_mouse_begins = c.mouse_begins;
    if (code >= 128) return false;
    uint8& byte = c.input.keys[code / 8];
    uint8 bit = uint8(0x80 >> (code % 8));
    if (((byte & bit) != 0) == down) return false;
    byte ^= bit;
    changed(g);
    return true;
}

void set_pointer(float x, float y) {
    Guard g(core().mu);
    apply_pointer(g, x, y);
}

void set_button(int index, bool down) {
    Guard g(core().mu);
    apply_button(g, index, down);
}

void set_key(uint8 code, bool down) {
    Guard g(core().mu);
    apply_key(g, code, down);
}

void set_modifiers(uint32 modifiers) {
    Core& c = core();
    Guard g(c.mu);
    if (c.input.modifiers == modifiers) return;
    c.input.modifiers = modifiers;
    changed(g);
}

} // namespace platform

using namespace platform;

// ---- Threads. ------------------------------------------------------------------

thread_id spawn_thread(thread_func entry, const char* name, int32 /*priority: all run alike*/, void* data) {
    Core& c = core();
    Guard g(c.mu);
    enter(g);
    if (!entry) return B_ERROR;
    ThreadRecord* t = new_record(g, name);
    t->entry = entry;
    t->data = data;
    t->spawned = true;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t handle;
    int failed = pthread_create(&handle, &attr, trampoline, t);
    pthread_attr_destroy(&attr);
    if (failed) {
        t->exited = true;
        return B_ERROR;
    }
    return t->id;
}

status_t resume_thread(thread_id id) {
    Core& c = core();
    Guard g(c.mu);
    enter(g);
    ThreadRecord* t = find(id);
    if (!t || !t->spawned || t->exited || t->killed.load()) return B_BAD_THREAD_ID;
    t->resumed = true;
    c.cv.notify_all();
    return B_OK;
}

status_t kill_thread(thread_id id) {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* me = enter(g);
    ThreadRecord* t = find(id);
    if (!t || t->exited || t->killed.load()) return B_BAD_THREAD_ID;
    t->killed = true;
    c.cv.notify_all();
    if (t == me) park(g, me);
    wait(g, me, [t] { return t->parked || t->exited; });
    return B_OK;
}

// Tells the CPU this thread is spinning, so that it yields to its sibling and
// leaves the loop without a penalty.
static inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield" ::: "memory");
#endif
}

void spin_hint() {
    Core& c = core();
    ThreadRecord* t = self_slot.record;
    if (!t || t->killed.load(std::memory_order_relaxed) || c.watchers.load(std::memory_order_relaxed) ||
        t->spins >= kSpinsBeforeWait) {
        Guard g(c.mu);
        t = self(g);
        kill_point(g, t);
        count_game_call(g);
        if (++t->spins > kSpinsBeforeWait) {
            // A long spin: wait for any platform change, or a tick at most.
            auto until = tick_deadline();
            if (until == Clock::time_point::max())
                c.cv.wait(g);
            else
                c.cv.wait_until(g, until);
            kill_point(g, t);
        }
        return;
    }
    c.game_calls++;
    t->spins++;
    cpu_relax();
}

void wait_forever() {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = enter(g);
    count_game_call(g);
    for (;;) {
        c.cv.wait(g);
        kill_point(g, t);
    }
}

// ---- Keyboard. -----------------------------------------------------------------

// Returns at once when the input changed since this thread's previous call, or when
// a mouse pass has since taken a change in (the game may now see a new Bouton1);
// otherwise waits for either, a tick at most. Either way the state is the current one.
status_t get_key_info(key_info* info) {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = enter(g);
    count_game_call(g);
    if (!info) return B_ERROR;
    const uint64_t watches = c.watches_begun;
    wait_until(g, t, tick_deadline(), [&] {
        return c.in_gen != t->key_gen || c.published_gen != t->key_published || c.watches_begun != watches ||
               awaits_polls(g, false);
    });
    info->modifiers = c.input.modifiers;
    std::memcpy(info->key_states, c.input.keys, 16);
    t->key_gen = c.in_gen;
    t->key_published = c.published_gen;
    g.unlock();
    run_poll_hook(*info);
    return B_OK;
}
