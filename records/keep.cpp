// The games folder, the record of the game under way, and finding one to resume.
#include "records/keep.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace records {

namespace {

// Makes every missing folder of path, as mkdir -p does.
bool make_dirs(const std::string& path, std::string* error) {
    for (size_t at = 1; at <= path.size(); at++) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = part + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

} // namespace

std::string games_dir() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::string(data) + "/globoid/games";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/share/globoid/games";
    return "";
}

std::string new_game_path(const std::string& dir, time_t start, std::string* error) {
    if (dir.empty()) {
        *error = "no folder for the games: neither XDG_DATA_HOME nor HOME is set";
        return "";
    }
    if (!make_dirs(dir, error)) return "";
    char stamp[32] = "game";
    struct tm local;
    if (localtime_r(&start, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    for (int n = 1;; n++) {
        const std::string path = dir + "/" + stamp + (n > 1 ? "-" + std::to_string(n) : "") + ".txt";
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) return path;
    }
}

std::string find_unfinished(const std::string& dir, const std::string& light, const std::string& dark) {
    DIR* d = dir.empty() ? nullptr : opendir(dir.c_str());
    if (!d) return "";
    std::vector<std::pair<struct timespec, std::string>> files;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name[0] == '.' || name.size() < 5 || name.compare(name.size() - 4, 4, ".txt") != 0) continue;
        struct stat st;
        const std::string path = dir + "/" + name;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back({st.st_mtim, path});
    }
    closedir(d);
    // Newest first; the name, a start time, breaks a tie.
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        if (a.first.tv_sec != b.first.tv_sec) return a.first.tv_sec > b.first.tv_sec;
        if (a.first.tv_nsec != b.first.tv_nsec) return a.first.tv_nsec > b.first.tv_nsec;
        return a.second > b.second;
    });
    for (const auto& f : files) {
        Record r;
        Fault fault;
        if (!read_file(f.second, &r, &fault)) continue;
        if (r.tag("Result") == "*" && !r.moves.empty() && !r.position().over() && r.tag("Light") == light &&
            r.tag("Dark") == dark)
            return f.second;
    }
    return "";
}

Keeper::Keeper(std::string path, Record record) : path_(std::move(path)), record_(std::move(record)) {}

void Keeper::moved(const board::Move& move) {
    record_.moves.push_back(move.normalised());
    save();
}

void Keeper::taken_back(int moves) {
    record_.moves.resize(record_.moves.size() > size_t(moves) ? record_.moves.size() - size_t(moves) : 0);
    save();
}

void Keeper::save() {
    if (path_.empty()) return;
    const auto start = std::chrono::steady_clock::now();
    record_.set_tag("Result", result_of(record_.position()));
    std::string error;
    if (!write_file(path_, write(record_), &error) && !said_) {
        said_ = true;
        std::fprintf(stderr, "%s: the game is not kept: %s\n", program_invocation_short_name, error.c_str());
    }
    last_ms_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace records
