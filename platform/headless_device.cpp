// The headless device: the frame buffer is plain memory, input comes from a test or
// from a script, and frames are saved as PNG.
//
// A script is replayed deterministically: after each input step the driver waits
// until the game has taken it in (see the input queue) before it goes on, and never sleeps
// for a time. A step that is not taken in within the limit ends the run loudly.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <png.h>
#include <sstream>
#include <unistd.h>

#include "platform/core.h"
#include "platform/device.h"
#include "platform/headless.h"
#include "platform/input.h"

namespace platform {

namespace {

constexpr size_t kFrameBytes = 640 * 480 * 4;

char* new_frame_buffer() {
    void* p = std::aligned_alloc(64, kFrameBytes);
    std::memset(p, 0, kFrameBytes);
    return static_cast<char*>(p);
}

// Runs f on the frame buffer while no _UPDATE writes it.
template <class F>
void with_frame(F f) {
    Core& c = core();
    {
        Guard g(c.mu);
        wait(g, self(g), [&] { return !c.copying; });
        c.presenting = true;
    }
    f(device().frame_buffer());
    Guard g(c.mu);
    c.presenting = false;
    c.cv.notify_all();
}

// Copies the frame first, so that no _UPDATE waits while the picture is compressed.
bool write_png(const std::string& path, std::string* why) {
    std::vector<uint32_t> frame = headless::frame();
    std::vector<uint8_t> rgb(640 * 480 * 3);
    for (size_t i = 0; i < 640 * 480; i++) {
        rgb[i * 3 + 0] = uint8_t(frame[i] >> 16);
        rgb[i * 3 + 1] = uint8_t(frame[i] >> 8);
        rgb[i * 3 + 2] = uint8_t(frame[i]);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 640;
    image.height = 480;
    image.format = PNG_FORMAT_RGB;
    image.flags = PNG_IMAGE_FLAG_FAST; // shots are for tests and looking, not for keeping
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 640 * 3, nullptr)) return true;
    if (why) *why = image.message[0] ? image.message : std::strerror(errno);
    return false;
}

// For tests: waits until the mouse thread has begun GetMouse `passes` times since
// the latest input change, and then the game has begun `calls` polls (see the
// queue's rule in input.cpp).
bool await(int passes, int calls, Clock::time_point deadline) {
    Core& c = core();
    Guard g(c.mu);
    ThreadRecord* t = self(g);
    c.watchers++;
    uint64_t mouse_target = c.step_mouse_begins + uint64_t(passes);
    uint64_t call_target = 0;
    bool seen = wait_until(g, t, deadline, [&] {
        if (c.mouse_begins < mouse_target) return false;
        if (!call_target) call_target = c.game_calls.load() + uint64_t(calls);
        return c.game_calls.load() >= call_target;
    });
    c.watchers--;
    return seen;
}

// ---- Scripts. ------------------------------------------------------------------

struct Step {
    enum Kind { Move, Press, Release, Click, Key, Tap, Shot, Quit, Signal } kind;
    int line = 0;
    std::string text;
    float x = 0, y = 0;
    int button = 1;
    uint8 code = 0;
    bool down = false;
    std::string path;
    int signal = 0;
};

int key_code(const std::string& name) {
    static const struct {
        const char* name;
        int code;
    } names[] = {{"space", KEY_SPACE}, {"enter", KEY_ENTER}, {"escape", KEY_ESCAPE},
                 {"kp1", KEY_KP1},     {"kp3", KEY_KP3},     {"kp4", KEY_KP4},
                 {"kp6", KEY_KP6},     {"kp7", KEY_KP7},     {"kp9", KEY_KP9}};
    for (const auto& n : names)
        if (name == n.name) return n.code;
    if (name.rfind("0x", 0) == 0 && name.size() > 2 && name.size() <= 4) {
        char* end = nullptr;
        long code = std::strtol(name.c_str() + 2, &end, 16);
        if (*end == '\0' && code >= 0 && code < 128) return int(code);
    }
    return -1;
}

[[noreturn]] void script_error(const std::string& file, int line, const std::string& what) {
    std::fprintf(stderr, "%s: script %s, line %d: %s\n", program_name(), file.c_str(), line, what.c_str());
    std::fflush(nullptr);
    _exit(2);
}

std::vector<Step> parse_script(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read script %s: %s\n", program_name(), file.c_str(), std::strerror(errno));
        _exit(2);
    }
    std::vector<Step> steps;
    std::string text;
    for (int line = 1; std::getline(in, text); line++) {
        std::string body = text.substr(0, text.find('#'));
        std::istringstream words(body);
        std::string verb;
        if (!(words >> verb)) continue;
        Step s;
        s.line = line;
        s.text = body.substr(body.find_first_not_of(" \t"));
        while (!s.text.empty() && std::isspace(uint8_t(s.text.back()))) s.text.pop_back();
        bool ok = true;
        if (verb == "move" || verb == "click") {
            s.kind = verb == "move" ? Step::Move : Step::Click;
            ok = bool(words >> s.x >> s.y);
        } else if (verb == "press" || verb == "release") {
            s.kind = verb == "press" ? Step::Press : Step::Release;
            if (!(words >> s.button)) s.button = 1;
            ok = s.button >= 1 && s.button <= 3;
        } else if (verb == "key" || verb == "tap") {
            s.kind = verb == "key" ? Step::Key : Step::Tap;
            std::string name, state;
            ok = bool(words >> name);
            int code = ok ? key_code(name) : -1;
            if (code < 0) script_error(file, line, "unknown key \"" + name + "\"");
            s.code = uint8(code);
            if (s.kind == Step::Key) {
                ok = bool(words >> state) && (state == "down" || state == "up");
                s.down = state == "down";
            }
        } else if (verb == "shot") {
            s.kind = Step::Shot;
            ok = bool(words >> s.path);
        } else if (verb == "quit") {
            s.kind = Step::Quit;
        } else if (verb == "signal") {
            s.kind = Step::Signal;
            std::string name;
            ok = bool(words >> name);
            s.signal = name == "INT" ? SIGINT : name == "TERM" ? SIGTERM : 0;
            if (ok && !s.signal) script_error(file, line, "unknown signal \"" + name + "\"");
        } else {
            script_error(file, line, "unknown step \"" + verb + "\"");
        }
        std::string extra;
        if (!ok || (words >> extra)) script_error(file, line, "cannot read \"" + s.text + "\"");
        steps.push_back(s);
    }
    return steps;
}

class HeadlessDevice : public Device {
public:
    explicit HeadlessDevice(const std::string& script) : frame_(new_frame_buffer()), script_(script) {
        if (!script_.empty()) steps_ = parse_script(script_);
        if (const char* limit = std::getenv("GLOBOID_SCRIPT_LIMIT_MS")) limit_ms_ = std::max(1, std::atoi(limit));
    }

    bool open(const char*, std::string*) override { return true; }
    char* frame_buffer() override { return frame_; }

    void run() override {
        if (!script_.empty()) drive();
        idle();
    }

    void wake() override {
        Guard g(core().mu);
        core().cv.notify_all();
    }

    void close() override {}

    // A scripted run says on stdout which sounds it was asked for, one a line.
    void play(Sound s) override {
        if (script_.empty()) return;
        std::printf("sound %s\n", sound_name(s));
        std::fflush(stdout);
    }

private:
    // Serves the application until it is done; signals are polled now and then.
    void idle() {
        Core& c = core();
        for (;;) {
            {
                Guard g(c.mu);
                wait_until(g, self(g), Clock::now() + std::chrono::milliseconds(50), [&] { return app_has_work(g); });
            }
            if (!app_service()) return;
        }
    }

    void drive() {
        if (step(nullptr, {}) != input::Wait::Drained) return;
        using E = input::Event;
        for (const Step& s : steps_) {
            if (!app_service()) return;
            input::Wait result = input::Wait::Drained;
            switch (s.kind) {
            case Step::Move:
                result = step(&s, {E::move(s.x, s.y)});
                break;
            case Step::Press:
                result = step(&s, {E::press(s.button)});
                break;
            case Step::Release:
                result = step(&s, {E::release(s.button)});
                break;
            case Step::Click:
                result = step(&s, {E::move(s.x, s.y), E::press(), E::release()});
                break;
            case Step::Key:
                result = step(&s, {E::key(s.code, s.down)});
                break;
            case Step::Tap:
                result = step(&s, {E::key(s.code, true), E::key(s.code, false)});
                break;
            case Step::Shot:
                shot(s);
                break;
            case Step::Quit:
                request_quit();
                return;
            case Step::Signal:
                // Sent as any other process would send it: the handler alone must
                // bring the game down from here.
                kill(getpid(), s.signal);
                return;
            }
            if (result == input::Wait::Quit) return;
        }
        // A script that runs out closes the window, as the player would.
        request_quit();
    }

    // Posts the step's input and waits until the game has taken it all in.
    input::Wait step(const Step* s, const std::vector<input::Event>& batch) {
        input::post(input::Source::Person, batch);
        auto result = wait_input(Clock::now() + std::chrono::milliseconds(limit_ms_), false, true);
        if (result != input::Wait::Late) return result;
        std::string what = s ? "the game did not take in \"" + s->text + "\"" : "the game did not start polling";
        script_error(script_, s ? s->line : 0, what + " within " + std::to_string(limit_ms_) + " ms");
    }

    void shot(const Step& s) {
        std::string why;
        if (!write_png(s.path, &why)) script_error(script_, s.line, "cannot write " + s.path + ": " + why);
    }

    char* frame_;
    std::string script_;
    std::vector<Step> steps_;
    int limit_ms_ = 10000;
};

} // namespace

std::unique_ptr<Device> make_headless_device(const std::string& script) {
    return std::make_unique<HeadlessDevice>(script);
}

} // namespace platform

// ---- The test-facing side. -----------------------------------------------------

using namespace platform;

void headless::move(float x, float y) { set_pointer(x, y); }
void headless::press(int button) { set_button(button - 1, true); }
void headless::release(int button) { set_button(button - 1, false); }
void headless::key(uint8 code, bool down) { set_key(code, down); }

bool headless::wait_seen(int passes, int calls, int limit_ms) {
    return await(passes, calls, Clock::now() + std::chrono::milliseconds(limit_ms));
}

std::vector<uint32_t> headless::frame() {
    std::vector<uint32_t> out(640 * 480);
    with_frame([&](const char* frame) { std::memcpy(out.data(), frame, kFrameBytes); });
    return out;
}

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

bool headless::save_png(const std::string& path, std::string* why) { return write_png(path, why); }

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

uint64_t headless::mouse_calls() {
    Guard g(core().mu);
    return core().mouse_begins;
}

uint64_t headless::game_calls() { return core().game_calls.load(); }
