// The whole game on the headless device, measured: the time from the start of the
// process to the title on the screen, the load of an idle game on the board, and
// the time from an input to the presented frame that shows it. Every figure is a
// median. Run from anywhere; it plays from the build tree, where Sprites/ lies.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "control/control.h"
#include "draw/geometry.h"
#include "platform/headless.h"

namespace {

using Clock = std::chrono::steady_clock;

double now_ms() {
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

double cpu_seconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Pixel (x, y) of a presented frame.
uint32_t at(const uint32_t* frame, int x, int y) { return frame[y * 640 + x]; }

std::vector<uint32_t> area(const uint32_t* frame, int x, int y, int size) {
    std::vector<uint32_t> out;
    for (int r = 0; r < size; r++) out.insert(out.end(), frame + (y + r) * 640 + x, frame + (y + r) * 640 + x + size);
    return out;
}

// Changes the input, then waits for the first presented frame in which the square
// of `size` pixels at (x, y) differs from what it was; milliseconds, or -1.
template <class Input>
double latency(Input input, int x, int y, int size) {
    std::vector<uint32_t> before = area(headless::frame().data(), x, y, size);
    double t0 = now_ms();
    input();
    if (!headless::wait_frame([&](const uint32_t* f) { return area(f, x, y, size) != before; }, 5000)) return -1;
    return now_ms() - t0;
}

// A child run: the title's first frame, in milliseconds since the parent forked.
int start_child(double forked_at) {
    headless::select();
    std::thread watch([forked_at] {
        headless::wait_frame([](const uint32_t* f) { return at(f, 320, 240) != 0 || at(f, 10, 10) != 0; }, 10000);
        std::printf("%.3f\n", now_ms() - forked_at);
        std::fflush(stdout);
        _exit(0);
    });
    MonApp = new AppType();
    MonApp->Run();
    return 1;
}

double start_once(const char* self) {
    int out[2];
    if (pipe(out) != 0) return -1;
    double forked_at = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        std::string at_ms = std::to_string(forked_at);
        execl(self, self, "--start", at_ms.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char text[64] = {};
    ssize_t n = read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return n > 0 ? std::atof(text) : -1;
}

struct Figures {
    double idle_percent = 0;
    std::vector<double> idle_samples, clicks, keys, moves;
};

// Drives the game in this process: past the title, then idles and plays.
void drive(Figures& out) {
    auto seen = [] { headless::wait_seen(); };
    headless::wait_frame([](const uint32_t* f) { return at(f, 10, 10) != 0; });
    headless::key(KEY_SPACE, true);
    seen();
    headless::key(KEY_SPACE, false);
    seen();
    headless::move(630, 470);
    seen();

    // Idle: nothing moves for ten seconds, sampled second by second.
    double cpu0 = cpu_seconds(), wall0 = now_ms();
    for (int s = 0; s < 10; s++) {
        double c = cpu_seconds(), w = now_ms();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        out.idle_samples.push_back(100 * (cpu_seconds() - c) / ((now_ms() - w) / 1000));
    }
    out.idle_percent = 100 * (cpu_seconds() - cpu0) / ((now_ms() - wall0) / 1000);

    // Each player in turn moves one marble out and back: the click that rings it,
    // the key that moves it, and the pointer that follows.
    struct Move {
        int x, y, key, tx, ty;
    };
    const Move moves[4] = {{8, 4, KEY_KP3, 9, 5}, {8, 8, KEY_KP7, 7, 7}, {9, 5, KEY_KP7, 8, 4}, {7, 7, KEY_KP3, 8, 8}};
    for (int round = 0; round < 12; round++)
        for (const Move& m : moves) {
            int cx = cell_centre_x(m.x), cy = cell_centre_y(m.y);
            headless::move(float(cx), float(cy));
            seen();
            // The ring is drawn on the press and shown once the button is up again.
            headless::press();
            seen();
            out.clicks.push_back(latency([] { headless::release(); }, cell_left(m.x), cell_top(m.y), kCellBox));
            seen();
            headless::move(630, 470);
            seen();
            out.keys.push_back(latency([&] { headless::key(uint8(m.key), true); }, cell_left(m.tx), cell_top(m.ty), kCellBox));
            seen();
            headless::key(uint8(m.key), false);
            seen();
            out.moves.push_back(latency([&] { headless::move(600, 20); }, 600, 20, 16));
            seen();
            headless::move(630, 470);
            seen();
        }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--start") {
        if (chdir(GLOBOID_BUILD_DIR) != 0) return 2;
        return start_child(std::atof(argv[2]));
    }
    if (chdir(GLOBOID_BUILD_DIR) != 0) {
        std::fprintf(stderr, "game_bench: cannot enter %s\n", GLOBOID_BUILD_DIR);
        return 2;
    }

    std::vector<double> starts;
    for (int i = 0; i < 11; i++) starts.push_back(start_once("/proc/self/exe"));

    headless::select();
    Figures f;
    std::thread driver([&f] {
        drive(f);
        MonApp->PostMessage(B_QUIT_REQUESTED);
    });
    MonApp = new AppType();
    MonApp->Run();
    driver.join();

    auto missing = [](const std::vector<double>& v) { return std::count(v.begin(), v.end(), -1.0) > 0; };

    if (missing(starts) || missing(f.clicks) || missing(f.keys) || missing(f.moves)) {
        std::fprintf(stderr, "game_bench: a frame never came\n");
        return 1;
    }
    double start = median(starts), idle = median(f.idle_samples);
    double click = median(f.clicks), key = median(f.keys), move = median(f.moves);
    std::printf("%-44s %10s %12s  %s\n", "", "median", "target", "");
    std::printf("%-44s %8.1f ms %9s ms  %s\n", "start to the title on the screen (11 runs)", start, "< 150", start < 150 ? "PASS" : "FAIL");
    std::printf("%-44s %8.1f %% %10s %%  %s  (whole 10 s: %.1f %%)\n", "idle game on the board, one core (10 x 1 s)", idle, "< 10", idle < 10 ? "PASS" : "FAIL", f.idle_percent);
    std::printf("%-44s %8.3f ms %9s ms  %s\n", "click (release) to the ring on the screen (48)", click, "< 2", click < 2 ? "PASS" : "FAIL");
    std::printf("%-44s %8.3f ms %9s ms  %s\n", "keypad key to the moved marble (48)", key, "< 2", key < 2 ? "PASS" : "FAIL");
    std::printf("%-44s %8.3f ms %9s ms  %s\n", "pointer move to the cursor there (48)", move, "< 2", move < 2 ? "PASS" : "FAIL");
    bool pass = start < 150 && idle < 10 && click < 2 && key < 2 && move < 2;
    return pass ? 0 : 1;
}
