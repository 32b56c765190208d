#pragma once
// Internal to platform/: the one mutex and condition variable that guard all
// platform state, the thread records with their kill points, the window locks,
// the shared input state and the counters that pace the game's polling.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/kernel.h"

class BLooper;
class BWindowScreen;

namespace platform {

using Clock = std::chrono::steady_clock;
using Guard = std::unique_lock<std::mutex>;

struct ThreadRecord {
    thread_id id = 0;
    std::string name;
    thread_func entry = nullptr;
    void* data = nullptr;
    bool spawned = false; // made by spawn_thread, so it waits for resume_thread
    bool resumed = false;
    bool exited = false; // its entry returned, or the OS thread ended
    bool parked = false; // stopped for good at a kill point
    std::atomic<bool> killed{false};
    // Pacing: what this thread's previous get_key_info and GetMouse returned.
    uint64_t key_gen = 0, key_published = 0, mouse_gen = 0;
    // A GetMouse has returned input generation pass_gen and the lock is still held.
    bool in_pass = false;
    uint64_t pass_gen = 0;
    int spins = 0; // consecutive spin_hint calls, touched only by the thread itself
};

// The lock a looper carries: owner and recursion count, under the platform mutex.
struct LooperLock {
    ThreadRecord* owner = nullptr;
    int count = 0;
};

struct Input {
    float x = 0, y = 0;
    uint32 buttons = 0; // bits 1, 2, 4: primary, secondary, tertiary
    uint8 keys[16] = {};
    uint32 modifiers = 0;
};

// One event of the input queue, with where it came from.
struct Queued {
    input::Source from;
    input::Event event;
};

struct Core {
    std::mutex mu;
    std::condition_variable cv;

    std::vector<ThreadRecord*> threads; // never freed: ids stay meaningful for good
    thread_id next_id = 1;
    std::vector<LooperLock*> locks; // every live looper's lock, released when a holder parks

    // Input. in_gen counts changes; published_gen is the newest generation that a
    // finished mouse pass (Unlock after GetMouse) took in.
    Input input;
    uint64_t in_gen = 0, published_gen = 0;
    uint64_t mouse_begins = 0;           // GetMouse calls begun
    uint64_t step_mouse_begins = 0;      // mouse_begins at the latest input step
    std::atomic<uint64_t> game_calls{0}; // get_key_info, spin_hint, wait_forever begun
    std::atomic<int> watchers{0};        // threads waiting on game_calls, to be notified

    // The input queue (input.cpp). The event applied last is outstanding until it
    // is taken: the mouse thread has begun two GetMouse calls since (mark_mouse),
    // and after that the game has begun three polls (mark_calls, 0 until set). At
    // start-up the mark stands for the game's first polls.
    std::deque<Queued> queue;
    bool outstanding = true, startup = true, pausing = false, queue_watching = false;
    uint64_t mark_mouse = 0, mark_calls = 0;
    Clock::time_point pause_until;
    input::Source pause_from = input::Source::Person;
    bool person_turn = true;
    bool input_closed = false; // quitting: nothing more is applied
    static constexpr int kPauseLimitFromEnv = -2;
    int pause_limit = kPauseLimitFromEnv;           // else -1 (none) or the longest pause in ms
    uint32 held_buttons[2] = {};                    // per source: buttons it pressed and has not released
    uint8 held_keys[2][16] = {};                    // per source: keys it put down and has not let go
    bool dropped_button = false;                    // the person's primary press was dropped, so is its release
    uint8 dropped_keys[16] = {};                    // the person's direction keys dropped while down
    uint64_t watches_begun = 0;                     // the pacing waits end when one begins, as a tick would
    Clock::duration tick = std::chrono::seconds(1); // a safety net: every change notifies
    bool tick_forever = false;                      // tests: pacing waits end only on a change

    // The screen.
    BWindowScreen* screen = nullptr;
    LooperLock* screen_lock = nullptr;
    bool shown = false, connected = false, closed = false;
    bool copying = false, presenting = false;
    uint64_t frame_gen = 0;

    // The application.
    BLooper* app = nullptr;
    bool quit_requested = false, quit_forwarded = false, app_done = false;
    Clock::time_point quit_at; // when the quit request went to the window

    std::string opening; // the file a thread is opening or reading (file.cpp)
};

Core& core();

// The calling thread's record, made on first use for threads that spawn_thread did
// not create. Call with the mutex held.
ThreadRecord* self(Guard& g);
// Parks the thread for good if it has been killed. Call with the mutex held.
void kill_point(Guard& g, ThreadRecord* t);
// The common entry of every platform call: record, kill point, end of a spin run.
ThreadRecord* enter(Guard& g);
// Waits until pred holds or the deadline passes; a kill point all along.
template <class Pred>
bool wait_until(Guard& g, ThreadRecord* t, Clock::time_point deadline, Pred pred) {
    for (;;) {
        kill_point(g, t);
        if (pred()) return true;
        if (deadline == Clock::time_point::max()) {
            core().cv.wait(g);
        } else if (core().cv.wait_until(g, deadline) == std::cv_status::timeout) {
            kill_point(g, t);
            return pred();
        }
    }
}
template <class Pred>
void wait(Guard& g, ThreadRecord* t, Pred pred) {
    wait_until(g, t, Clock::time_point::max(), pred);
}
// One pacing tick from now, or never when the tests have switched ticks off.
Clock::time_point tick_deadline();
// Counts one poll of the game and wakes whoever waits for such counts.
void count_game_call(Guard& g);
// Applies queued input whose turn has come (input.cpp). Call with the mutex held,
// whenever the game or the mouse thread has begun a call.
void pump_input(Guard& g);
// True while the event applied last waits only for the mouse thread's next
// GetMouse (mouse) or the game's next polls: those calls then return at once, so
// each event is taken at the pace of the game's passes rather than of the tick.
bool awaits_polls(Guard& g, bool mouse);
// Drops everything queued: the game is quitting.
void close_input(Guard& g);
// Runs the poll hook, if any; without the mutex.
void run_poll_hook(const key_info& keys);

// Takes or gives back one level of a looper lock for t, under the mutex.
void lock_acquire(Guard& g, ThreadRecord* t, LooperLock& lock);
void lock_release(Guard& g, ThreadRecord* t, LooperLock& lock);

// Input changes, from a device or a test. Positions are clamped into 640x480. The
// apply_ forms work under the mutex and say whether the state changed.
bool apply_pointer(Guard& g, float x, float y);
bool apply_button(Guard& g, int index, bool down);
bool apply_key(Guard& g, uint8 code, bool down);
void set_pointer(float x, float y);
void set_button(int index, bool down); // index 0, 1, 2: primary, secondary, tertiary
void set_key(uint8 code, bool down);
void set_modifiers(uint32 modifiers);

// A looper's lock and message queue.
LooperLock& lock_of(BLooper* looper);
std::deque<uint32>& queue_of(BLooper* looper);

// The main thread's share of the application: handles its messages and quit
// requests. False once the application is done and Run should return.
bool app_service();
// True when app_service has something to do.
bool app_has_work(Guard& g);
// When app_service must run even if nothing happens: the end of a quit's grace
// for the threads to stop, or never.
Clock::time_point app_wake_at(Guard& g);
// Asks the application to quit, as if the player had closed the window.
void request_quit();
// Set by the SIGINT and SIGTERM handler.
extern volatile std::sig_atomic_t signal_quit;

} // namespace platform
