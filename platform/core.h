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
    bool exited = false;  // its entry returned, or the OS thread ended
    bool parked = false;  // stopped for good at a kill point
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

struct Core {
    std::mutex mu;
    std::condition_variable cv;

    std::vector<ThreadRecord*> threads; // never freed: ids stay meaningful for good
    thread_id next_id = 1;
    std::vector<LooperLock*> locks;     // every live looper's lock, released when a holder parks

    // Input. in_gen counts changes; published_gen is the newest generation that a
    // finished mouse pass (Unlock after GetMouse) took in.
    Input input;
    uint64_t in_gen = 0, published_gen = 0;
    uint64_t published_calls = 0;  // game_calls when published_gen last moved
    uint8 key_alone_returns[128] = {}; // get_key_info calls since its press that returned this key alone
    uint64_t button_press_gen[3] = {};
    uint64_t mouse_begins = 0;     // GetMouse calls begun
    uint64_t step_mouse_begins = 0; // mouse_begins at the latest input step
    std::atomic<uint64_t> game_calls{0}; // get_key_info, spin_hint, wait_forever begun
    std::atomic<int> watchers{0};  // threads waiting on game_calls, to be notified
    Clock::duration tick = std::chrono::milliseconds(10);
    bool tick_forever = false;     // tests: pacing waits end only on a change

    // The screen.
    BWindowScreen* screen = nullptr;
    LooperLock* screen_lock = nullptr;
    bool shown = false, connected = false, closed = false;
    bool copying = false, presenting = false;
    uint64_t frame_gen = 0;

    // The application.
    BLooper* app = nullptr;
    bool quit_requested = false, quit_forwarded = false, app_done = false;
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

// Takes or gives back one level of a looper lock for t, under the mutex.
void lock_acquire(Guard& g, ThreadRecord* t, LooperLock& lock);
void lock_release(Guard& g, ThreadRecord* t, LooperLock& lock);

// Input changes, from a device or a test. Positions are clamped into 640x480.
void set_pointer(float x, float y);
void set_button(int index, bool down); // index 0, 1, 2: primary, secondary, tertiary
void set_key(uint8 code, bool down);
void set_modifiers(uint32 modifiers);
void release_all_input();
// True once a press has surely been acted on. For a key, two get_key_info calls
// have returned it as the only key down: the second of them began a pass of the
// game or waits for this key's own release. For a button, a mouse pass has
// published it and the game has begun three polls since, so it has come by its
// Bouton1 test at least once.
bool button_press_taken(int index);
bool key_press_taken(uint8 code);

// A looper's lock and message queue.
LooperLock& lock_of(BLooper* looper);
std::deque<uint32>& queue_of(BLooper* looper);

// The main thread's share of the application: handles its messages and quit
// requests. False once the application is done and Run should return.
bool app_service();
// True when app_service has something to do.
bool app_has_work(Guard& g);
// Asks the application to quit, as if the player had closed the window.
void request_quit();
// Set by the SIGINT and SIGTERM handler.
extern volatile std::sig_atomic_t signal_quit;

} // namespace platform
