// The scripted seat: reading a script, and replaying it through the input queue.
// A replay is deterministic: after each step the seat waits until the game has
// taken it all in, and never sleeps for a time. A step that is not taken in within
// the limit ends the run loudly.
#include "seats/script.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "platform/file.h"
#include "platform/input.h"
#include "platform/shot.h"

namespace seats {

namespace {

using Step = ScriptSeat::Step;

constexpr size_t kLongestScript = 16 << 20;

// Text from the script or the command line as it goes into a message: control
// bytes escaped, and cut short after about `most` characters.
std::string quote(const std::string& text, size_t most = 80) {
    std::string out;
    for (unsigned char ch : text) {
        if (out.size() >= most) return out + "...";
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", ch);
        out += ch < 0x20 || ch == 0x7f ? std::string(hex) : std::string(1, char(ch));
    }
    return out;
}

int key_code(const std::string& name) {
    static const struct {
        const char* name;
        uint8 code;
    } names[] = {{"space", KEY_SPACE}, {"enter", KEY_ENTER}, {"escape", KEY_ESCAPE}, {"kp1", KEY_KP1},
                 {"kp3", KEY_KP3},     {"kp4", KEY_KP4},     {"kp6", KEY_KP6},       {"kp7", KEY_KP7},
                 {"kp9", KEY_KP9},     {"left", KEY_LEFT},   {"right", KEY_RIGHT},   {"home", KEY_HOME},
                 {"end", KEY_END}};
    for (const auto& n : names)
        if (name == n.name) return n.code;
    if (name.rfind("0x", 0) == 0 && name.size() > 2 && name.size() <= 4) {
        char* end = nullptr;
        long code = std::strtol(name.c_str() + 2, &end, 16);
        if (*end == '\0' && code >= 0 && code < 128) return int(code);
    }
    return -1;
}

[[noreturn]] void refuse(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::fflush(nullptr);
    _exit(2);
}

[[noreturn]] void script_error(const std::string& file, int line, const std::string& what) {
    refuse("script " + quote(file, 200) + ", line " + std::to_string(line) + ": " + what);
}

// The whole file, up to the size limit; a script that cannot be read, or is longer,
// is refused.
std::string read_script(const std::string& file) {
    auto fail = [&](const std::string& why) { refuse("cannot read script " + quote(file, 200) + ": " + why); };
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(std::strerror(errno));
    std::string all;
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(std::strerror(errno));
        if (n == 0) break;
        all.append(chunk, size_t(n));
        if (all.size() > kLongestScript) fail("longer than 16 MB");
    }
    close(fd);
    return all;
}

std::vector<Step> parse_script(const std::string& file) {
    std::istringstream in(read_script(file));
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
            ok = bool(words >> s.x >> s.y) && std::isfinite(s.x) && std::isfinite(s.y);
        } else if (verb == "press" || verb == "release") {
            s.kind = verb == "press" ? Step::Press : Step::Release;
            std::string button;
            if (words >> button) ok = button.size() == 1 && button[0] >= '1' && button[0] <= '3';
            if (ok && !button.empty()) s.button = button[0] - '0';
        } else if (verb == "key" || verb == "tap") {
            s.kind = verb == "key" ? Step::Key : Step::Tap;
            std::string name, state;
            ok = bool(words >> name);
            int code = ok ? key_code(name) : -1;
            if (code < 0) script_error(file, line, "unknown key \"" + quote(name) + "\"");
            s.code = uint8(code);
            if (s.kind == Step::Key) {
                ok = bool(words >> state) && (state == "down" || state == "up");
                s.down = state == "down";
            }
        } else if (verb == "wait") {
            s.kind = Step::Wait;
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
            if (ok && !s.signal) script_error(file, line, "unknown signal \"" + quote(name) + "\"");
        } else {
            script_error(file, line, "unknown step \"" + quote(verb) + "\"");
        }
        std::string extra;
        if (!ok || (words >> extra)) script_error(file, line, "cannot read \"" + quote(s.text) + "\"");
        steps.push_back(s);
    }
    return steps;
}

// GLOBOID_SCRIPT_LIMIT_MS, a whole number of milliseconds above 0; 10 s without it.
int step_limit_ms() {
    const char* env = std::getenv("GLOBOID_SCRIPT_LIMIT_MS");
    if (!env) return 10000;
    char* end = nullptr;
    errno = 0;
    long ms = std::strtol(env, &end, 10);
    if (!*env || *end || errno || ms <= 0 || ms > 86400000)
        refuse("GLOBOID_SCRIPT_LIMIT_MS must be a whole number of milliseconds from 1 to 86400000, not \"" +
               quote(env) + "\"");
    return int(ms);
}

} // namespace

ScriptSeat::ScriptSeat(const std::string& path) : path_(path), limit_ms_(step_limit_ms()), steps_(parse_script(path)) {}

// The thread keeps its own copy: it may outlive the seat, up to the end of the process.
void ScriptSeat::start() {
    // A replay goes as fast as the game takes it: the other seats' pauses, which are
    // for a person to watch, go too unless GLOBOID_SEAT_PAUSE_MS says otherwise.
    if (!std::getenv("GLOBOID_SEAT_PAUSE_MS")) input::set_pause_limit(0);
    std::thread([seat = *this] { seat.play(); }).detach();
}

void ScriptSeat::play() const {
    using input::Event;
    // Posts a step's input and waits until the game has taken it all in (and with
    // person, until the person may move again). Quit: the game is quitting.
    auto step = [&](const Step* s, const std::vector<Event>& batch, bool person = false) {
        input::post(input::Source::Person, batch);
        input::Wait result = input::wait_drained(limit_ms_, person);
        if (result != input::Wait::Late) return result == input::Wait::Drained;
        // A game stuck in a system call says where.
        std::string what = s ? "the game did not take in \"" + quote(s->text) + "\"" : "the game did not start polling";
        std::string file = file_in_progress();
        script_error(path_, s ? s->line : 0,
                     what + " within " + std::to_string(limit_ms_) + " ms" +
                         (file.empty() ? "" : " (it is opening " + quote(file, 200) + ")"));
    };
    if (!step(nullptr, {})) return;
    for (const Step& s : steps_) {
        // Steps after the game has quit by itself are skipped.
        if (input::wait_drained(0) == input::Wait::Quit) return;
        bool going = true;
        switch (s.kind) {
        case Step::Move: going = step(&s, {Event::move(s.x, s.y)}); break;
        case Step::Press: going = step(&s, {Event::press(s.button)}); break;
        case Step::Release: going = step(&s, {Event::release(s.button)}); break;
        case Step::Click: going = step(&s, {Event::move(s.x, s.y), Event::press(), Event::release()}); break;
        case Step::Key: going = step(&s, {Event::key(s.code, s.down)}); break;
        case Step::Tap: going = step(&s, {Event::key(s.code, true), Event::key(s.code, false)}); break;
        case Step::Wait: going = step(&s, {}, true); break;
        case Step::Shot: {
            std::string why;
            if (!save_shot(s.path, &why))
                script_error(path_, s.line, "cannot write " + quote(s.path, 200) + ": " + why);
            break;
        }
        case Step::Quit: input::request_quit(); return;
        case Step::Signal:
            // Sent as any other process would send it: the handler alone must
            // bring the game down from here.
            kill(getpid(), s.signal);
            return;
        }
        if (!going) return;
    }
    // A script that runs out closes the window, as the person would.
    input::request_quit();
}

} // namespace seats
