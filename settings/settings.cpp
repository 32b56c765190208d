// The settings file: read leniently, written whole and renamed into place.
#include "settings/settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace settings {

namespace {

// Each key: its name, how its value is read into Values (false: not a value it
// takes) and how it is written (nothing when unset).
struct Key {
    const char* name;
    bool (*take)(Values& v, const std::string& text);
    std::string (*give)(const Values& v);
};

bool on_off(const std::string& text, const char* on, const char* off, std::optional<bool>* out) {
    if (text != on && text != off) return false;
    *out = text == on;
    return true;
}

std::string shown(const std::optional<bool>& v, const char* on, const char* off) { return v ? (*v ? on : off) : ""; }

const Key kKeys[] = {
    {"sound", [](Values& v, const std::string& t) { return on_off(t, "on", "off", &v.sound); },
     [](const Values& v) { return shown(v.sound, "on", "off"); }},
    {"display", [](Values& v, const std::string& t) { return on_off(t, "window", "fullscreen", &v.windowed); },
     [](const Values& v) { return shown(v.windowed, "window", "fullscreen"); }},
    {"level",
     [](Values& v, const std::string& t) {
         if (t.size() != 1 || t[0] < '1' || t[0] > '5') return false;
         v.level = t[0] - '0';
         return true;
     },
     [](const Values& v) { return v.level ? std::to_string(*v.level) : ""; }},
    {"opening",
     [](Values& v, const std::string& t) {
         board::Opening o;
         if (!board::parse_opening(t, &o)) return false;
         v.opening = o;
         return true;
     },
     [](const Values& v) { return std::string(v.opening ? board::opening_name(*v.opening) : ""); }},
};

// A file larger than this is not one we wrote; only its start is read.
constexpr size_t kLargest = 64 * 1024;

std::string trimmed(const std::string& s) {
    const size_t from = s.find_first_not_of(" \t\r"), to = s.find_last_not_of(" \t\r");
    return from == std::string::npos ? "" : s.substr(from, to - from + 1);
}

// Printable for one line of stderr, and short.
std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s.substr(0, 40)) out += c >= 0x20 && c < 0x7f && c != '"' ? char(c) : '?';
    return out + (s.size() > 40 ? "...\"" : "\"");
}

std::mutex mu;
std::string kept_path; // "" keeps nothing
Values kept;

// The file's text for these values.
std::string text_of(const Values& values) {
    std::string text = "# Globoid's settings, rewritten by the game whenever one changes.\n";
    for (const Key& k : kKeys) {
        const std::string value = k.give(values);
        if (!value.empty()) text += std::string(k.name) + " = " + value + "\n";
    }
    return text;
}

// A change writes the file again, unless it changes nothing.
void change(const std::function<void(Values&)>& set) {
    std::lock_guard<std::mutex> g(mu);
    if (kept_path.empty()) return;
    const std::string before = text_of(kept);
    set(kept);
    if (text_of(kept) != before) write(kept_path, kept);
}

} // namespace

std::string default_path() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/globoid/settings";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/globoid/settings";
    return "";
}

Values read(const std::string& path) {
    Values v;
    std::ifstream in(path, std::ios::binary);
    if (!in) return v;
    std::string text(kLargest + 1, '\0');
    in.read(&text[0], std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    std::string first; // the first thing wrong, for the one line on stderr
    int wrong = 0, number = 0;
    const bool too_long = text.size() > kLargest;
    text.resize(std::min(text.size(), kLargest));
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        number++;
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        const std::string key = trimmed(line.substr(0, eq)),
                          value = eq == std::string::npos ? "" : trimmed(line.substr(eq + 1));
        const Key* k = nullptr;
        for (const Key& candidate : kKeys)
            if (eq != std::string::npos && key == candidate.name) k = &candidate;
        std::string why;
        if (eq == std::string::npos || key.empty())
            why = "not key = value: " + quoted(line);
        else if (!k)
            why = "unknown setting " + quoted(key);
        else if (!k->take(v, value))
            why = key + " cannot be " + quoted(value);
        if (why.empty()) continue;
        if (wrong++ == 0) first = "line " + std::to_string(number) + ": " + why;
    }
    if (too_long && wrong++ == 0) first = "all past " + std::to_string(kLargest) + " bytes";
    if (wrong)
        std::fprintf(stderr, "%s: %s: %s; ignored%s\n", program_invocation_short_name, path.c_str(), first.c_str(),
                     wrong > 1 ? (", with " + std::to_string(wrong - 1) + " other bad line(s)").c_str() : "");
    return v;
}

bool write(const std::string& path, const Values& values) {
    const std::string text = text_of(values);
    // The directories on the way, as mkdir -p would make them.
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    const std::string aside = path + ".new." + std::to_string(::getpid()); // one writer a name
    bool ok = false;
    if (FILE* f = std::fopen(aside.c_str(), "w")) {
        ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = std::fflush(f) == 0 && ok;
        ok = ::fsync(fileno(f)) == 0 && ok;
        ok = std::fclose(f) == 0 && ok;
        ok = ok && std::rename(aside.c_str(), path.c_str()) == 0;
        if (!ok) std::remove(aside.c_str());
    }
    if (!ok)
        std::fprintf(stderr, "%s: cannot keep the settings in %s: %s\n", program_invocation_short_name, path.c_str(),
                     std::strerror(errno));
    return ok;
}

Values open(const std::string& path) {
    std::lock_guard<std::mutex> g(mu);
    kept_path = path;
    kept = path.empty() ? Values{} : read(path);
    return kept;
}

void keep_sound(bool on) {
    change([on](Values& v) { v.sound = on; });
}

void keep_windowed(bool windowed) {
    change([windowed](Values& v) { v.windowed = windowed; });
}

void keep_level(int level) {
    change([level](Values& v) { v.level = level; });
}

void keep_opening(board::Opening opening) {
    change([opening](Values& v) { v.opening = opening; });
}

} // namespace settings
