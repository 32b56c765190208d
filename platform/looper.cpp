// Loopers, their kill-aware locks and message queues, and the application with
// its quit handling.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "platform/app.h"
#include "platform/core.h"
#include "platform/device.h"
#include "platform/screen.h"

using namespace platform;

struct BLooper::State {
    LooperLock lock;
    std::deque<uint32> queue;
    bool quit = false;
};

struct LooperAccess {
    static BLooper::State& state(BLooper* looper) { return *looper->state_; }
};

namespace platform {

namespace {
constexpr auto kQuitGrace = std::chrono::seconds(1);
} // namespace

LooperLock& lock_of(BLooper* looper) { return LooperAccess::state(looper).lock; }
std::deque<uint32>& queue_of(BLooper* looper) { return LooperAccess::state(looper).queue; }

bool app_has_work(Guard&) {
    Core& c = core();
    if (signal_quit || c.app_done) return true;
    if (c.quit_requested && !c.quit_forwarded) return true;
    if (c.closed) return true;
    return c.app && (!queue_of(c.app).empty() || LooperAccess::state(c.app).quit);
}

Clock::time_point app_wake_at(Guard&) {
    Core& c = core();
    return c.quit_forwarded && !c.app_done ? c.quit_at + kQuitGrace : Clock::time_point::max();
}

bool app_service() {
    Core& c = core();
    Guard g(c.mu);
    enter(g);
    if (signal_quit) {
        signal_quit = 0;
        c.quit_requested = true;
    }
    if (c.app) {
        auto& queue = queue_of(c.app);
        for (; !queue.empty(); queue.pop_front())
            if (queue.front() == B_QUIT_REQUESTED) c.quit_requested = true;
        if (LooperAccess::state(c.app).quit) c.app_done = true;
    }
    // A quit request closes the window, whose thread runs its Quit; with no window
    // to close, the application is done at once.
    if (c.quit_requested && !c.quit_forwarded) {
        c.quit_forwarded = true;
        c.quit_at = Clock::now();
        close_input(g);
        if (c.screen && c.shown && !c.closed) {
            queue_of(c.screen).push_back(B_QUIT_REQUESTED);
            c.cv.notify_all();
        } else {
            c.app_done = true;
        }
    }
    if (c.closed) c.app_done = true;
    // A thread stuck in a system call (a file that never opens) never reaches the
    // kill point that the window's Quit waits for. The game keeps nothing on disk,
    // so the process ends without it.
    if (Clock::now() >= app_wake_at(g)) {
        std::fprintf(stderr, "%s: the game did not stop within a second of the quit request%s%s%s; ending it\n",
                     program_name(), c.opening.empty() ? "" : " (it is opening ", c.opening.c_str(),
                     c.opening.empty() ? "" : ")");
        std::fflush(nullptr);
        _exit(0);
    }
    return !c.app_done;
}

void request_quit() {
    Core& c = core();
    {
        Guard g(c.mu);
        c.quit_requested = true;
        c.cv.notify_all();
    }
    device().wake();
}

} // namespace platform

namespace {

// The handler only sets the flag and writes a byte, which a thread of its own waits
// for, so that the application hears of the signal at once without anyone polling.
int signal_pipe[2] = {-1, -1};

extern "C" void on_quit_signal(int) {
    int saved = errno;
    signal_quit = 1;
    // A full pipe already holds a wake-up, so a write that fails changes nothing.
    [[maybe_unused]] ssize_t written = signal_pipe[1] >= 0 ? write(signal_pipe[1], "q", 1) : 0;
    errno = saved;
}

void watch_signals() {
    for (char byte;;) {
        if (read(signal_pipe[0], &byte, 1) < 0 && errno != EINTR) return;
        {
            Guard g(core().mu);
            core().cv.notify_all();
        }
        device().wake();
    }
}

} // namespace

// ---- BLooper. ------------------------------------------------------------------

BLooper::BLooper() : state_(new State) {
    Guard g(core().mu);
    core().locks.push_back(&state_->lock);
}

BLooper::~BLooper() {
    Core& c = core();
    Guard g(c.mu);
    auto& locks = c.locks;
    for (auto it = locks.begin(); it != locks.end(); ++it)
        if (*it == &state_->lock) {
            locks.erase(it);
            break;
        }
    if (c.app == this) c.app = nullptr;
    delete state_;
}

bool BLooper::Lock() {
    Guard g(core().mu);
    ThreadRecord* t = enter(g);
    lock_acquire(g, t, state_->lock);
    return true;
}

void BLooper::Unlock() {
    Guard g(core().mu);
    ThreadRecord* t = enter(g);
    lock_release(g, t, state_->lock);
}

status_t BLooper::PostMessage(uint32 command) {
    Core& c = core();
    {
        Guard g(c.mu);
        enter(g);
        state_->queue.push_back(command);
        c.cv.notify_all();
    }
    if (this == c.app) device().wake();
    return B_OK;
}

void BLooper::Quit() {
    Core& c = core();
    {
        Guard g(c.mu);
        state_->quit = true;
        c.cv.notify_all();
    }
    device().wake();
}

// ---- BApplication. -------------------------------------------------------------

BApplication::BApplication(const char* /*signature: nothing registers it here*/) {
    device();
    if (signal_pipe[0] < 0 && pipe2(signal_pipe, O_CLOEXEC) == 0) {
        fcntl(signal_pipe[1], F_SETFL, O_NONBLOCK);
        std::thread(watch_signals).detach();
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    Guard g(core().mu);
    core().app = this;
}

BApplication::~BApplication() = default;

thread_id BApplication::Run() {
    device().run();
    device().close();
    Guard g(core().mu);
    return self(g)->id;
}
