// The commands of globoid-engine. The position is kept in the board's terms, with
// every position before it for undo; the engine's search sees a copy in its own.
#include "protocol/protocol.h"

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "board/board.h"
#include "engine/engine.h"
#include "engine/levels.h"
#include "engine/movegen.h"

namespace protocol {

namespace {

const char* const kCommands[] = {
    "protocol_version", "name",    "version",       "known_command", "list_commands", "quit",
    "clear_board",      "opening", "setup",         "play",          "genmove",       "undo",
    "showboard",        "level",   "time_per_move", "perft",         "analyse"};

constexpr long kMaxMs = 3600000; // an hour: time_per_move and analyse
constexpr long kMaxPerft = 7;    // depth 7 from the opening takes some minutes

std::vector<std::string_view> split(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') i++;
        size_t j = i;
        while (j < s.size() && s[j] != ' ') j++;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

// Digits only, lo to hi.
bool number(std::string_view w, long lo, long hi, long* out) {
    if (w.empty() || w.size() > 9) return false;
    long v = 0;
    for (char c : w) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

// "+0.35", in marbles for the side to move; "mate 5" (or -5) when a side wins in
// that many plies.
std::string score_text(int score) {
    char text[32];
    int plies = engine::kMate - std::abs(score);
    if (plies <= 2 * engine::kMaxPly)
        std::snprintf(text, sizeof text, "mate %d", score > 0 ? plies : -plies);
    else
        std::snprintf(text, sizeof text, "%+.2f", score / 1000.0);
    return text;
}

} // namespace

struct Session::Impl {
    board::Opening opening = board::Opening::Standard;
    board::Position now = board::opening();
    std::vector<board::Position> before; // for undo, oldest first
    int level = engine::kMaxLevel;
    long time_ms = 0; // 0: the level's own
    bool done = false;
    std::unique_ptr<engine::Search> search; // made at the first search: its table is large
    std::mt19937_64 seeds{std::random_device()()};

    void clear(const board::Position& p) {
        now = p;
        before.clear();
    }

    // The positions so far, for the engine's repetition rule.
    std::vector<uint64_t> history() const {
        std::vector<uint64_t> out;
        for (const board::Position& p : before) out.push_back(board::hash(p));
        out.push_back(board::hash(now));
        return out;
    }

    // Why the side to move in p cannot move, or nullptr if it can.
    static const char* stuck(const board::Position& p) {
        if (p.over()) return "game over";
        if (board::legal_moves(p).empty()) return "no legal move";
        return nullptr;
    }

    bool setup(const std::vector<std::string_view>& w, std::string* error) {
        board::Position p;
        long light = 0, dark = 0;
        int side = w.size() == 5 ? board::parse_player(w[1]) : -1;
        if (w.size() != 5) return *error = "setup needs a side, 61 cells and two scores", false;
        if (side < 0) return *error = "invalid side", false;
        if (w[2].size() != size_t(board::kCells)) return *error = "cells: 61 characters needed", false;
        if (!number(w[3], 0, board::kWinScore, &light) || !number(w[4], 0, board::kWinScore, &dark))
            return *error = "scores: 0 to 6", false;
        if (light == board::kWinScore && dark == board::kWinScore) return *error = "both scores are 6", false;
        int count[3] = {0, 0, 0};
        for (int c = 0; c < board::kCells; c++) {
            char ch = w[2][size_t(c)];
            p.cell[c] = int8_t(ch == 'l' ? board::kLight : ch == 'd' ? board::kDark : 0);
            if (ch != '.' && ch != 'l' && ch != 'd') return *error = "cells: only '.', 'l' and 'd'", false;
            count[p.cell[c]]++;
        }
        // Every marble pushed off is one the other side no longer has.
        if (count[board::kLight] > 14 - dark) return *error = "too many light marbles for dark's score", false;
        if (count[board::kDark] > 14 - light) return *error = "too many dark marbles for light's score", false;
        p.to_move = int8_t(side);
        p.score[board::kLight] = int8_t(light);
        p.score[board::kDark] = int8_t(dark);
        clear(p);
        return true;
    }

    // Plays m for the side named, which becomes the side to move first.
    bool play(const std::vector<std::string_view>& w, std::string* error) {
        board::Move m;
        int side = w.size() == 3 ? board::parse_player(w[1]) : -1;
        if (w.size() != 3) return *error = "play needs a side and a move", false;
        if (side < 0) return *error = "invalid side", false;
        if (!board::parse_move(w[2], &m)) return *error = "invalid move", false;
        board::Position p = now;
        p.to_move = int8_t(side);
        if (p.over()) return *error = "game over", false;
        if (!board::play(p, m)) return *error = "illegal move", false;
        before.push_back(now);
        now = p;
        return true;
    }

    engine::Result think(const board::Position& p, long ms) {
        if (!search) search = std::make_unique<engine::Search>();
        engine::Position e = engine::to_engine(p);
        std::vector<uint64_t> seen = history();
        seen.back() = e.hash(); // the side to move may have been changed
        if (ms > 0) {
            engine::Limits l = engine::level_limits(engine::kMaxLevel);
            l.time_ms = int(ms);
            return search->run(e, l, seen);
        }
        return engine::choose(*search, e, level, seen, nullptr, seeds() | 1);
    }

    bool genmove(const std::vector<std::string_view>& w, std::string* result) {
        int side = w.size() == 2 ? board::parse_player(w[1]) : -1;
        if (w.size() != 2) return *result = "genmove needs a side", false;
        if (side < 0) return *result = "invalid side", false;
        board::Position p = now;
        p.to_move = int8_t(side);
        if (const char* why = stuck(p)) return *result = why, false;
        engine::Result r = think(p, time_ms);
        board::Move m = engine::to_board(r.move);
        if (!r.has_move || !board::legal(p, m)) {
            // The engine's generator and the board's rules disagree: never answer an
            // illegal move, but say so where a person may see it.
            std::fprintf(stderr, "globoid-engine: the search chose %s, which is not legal here\n",
                         board::to_text(m).c_str());
            m = board::legal_moves(p).front();
        }
        board::play(p, m);
        before.push_back(now);
        now = p;
        *result = board::to_text(m);
        return true;
    }

    bool analyse(const std::vector<std::string_view>& w, std::string* result) {
        long ms = 0;
        if (w.size() != 2 || !number(w[1], 1, kMaxMs, &ms))
            return *result = "analyse needs a time: 1 to 3600000 ms", false;
        if (const char* why = stuck(now)) return *result = why, false;
        engine::Result r = think(now, ms);
        engine::Position e = engine::to_engine(now);
        *result = "depth " + std::to_string(r.depth) + " score " + score_text(r.score) + " nodes " +
                  std::to_string(r.nodes) + " line";
        for (const engine::Move& m : search->line(e, r.move, r.depth))
            *result += " " + board::to_text(engine::to_board(m));
        return true;
    }

    std::string showboard() const {
        std::string out;
        for (int y = 2; y <= 10; y++) {
            std::string row(17, ' ');
            int first = -1, last = -1;
            for (int c = 0; c < board::kCells; c++) {
                if (board::cell_y(c) != y) continue;
                row[size_t(board::cell_x(c) - 2)] = ".ld"[now.cell[c]];
                if (first < 0) first = c;
                last = c;
            }
            out += board::cell_name(first).substr(0, 1) + "  " + row + "  " + board::cell_name(first) + "-" +
                   board::cell_name(last) + "\n";
        }
        out += std::string(board::player_name(now.to_move)) + " to move, pushed off: light " +
               std::to_string(now.score[board::kLight]) + ", dark " + std::to_string(now.score[board::kDark]) +
               (now.over() ? ", the game is over" : "") + "\nsetup " + board::player_name(now.to_move) + " ";
        for (int c = 0; c < board::kCells; c++) out += ".ld"[now.cell[c]];
        out += " " + std::to_string(now.score[board::kLight]) + " " + std::to_string(now.score[board::kDark]);
        return out;
    }

    // The command's answer into *result; false for an error.
    bool run(const std::vector<std::string_view>& w, std::string* result) {
        const std::string_view c = w[0];
        long n = 0;
        if (c == "protocol_version") {
            *result = "2";
        } else if (c == "name") {
            *result = "globoid-engine";
        } else if (c == "version") {
            *result = GLOBOID_VERSION;
        } else if (c == "known_command") {
            bool known = false;
            for (const char* k : kCommands) known |= w.size() == 2 && w[1] == k;
            *result = known ? "true" : "false";
        } else if (c == "list_commands") {
            for (const char* k : kCommands) *result += (result->empty() ? "" : "\n") + std::string(k);
        } else if (c == "quit") {
            done = true;
        } else if (c == "clear_board") {
            clear(board::opening(opening));
        } else if (c == "opening") {
            board::Opening o;
            if (w.size() != 2 || !board::parse_opening(w[1], &o))
                return *result = "opening: standard, rosettes or rosettes-inset", false;
            opening = o;
            clear(board::opening(opening));
        } else if (c == "setup") {
            return setup(w, result);
        } else if (c == "play") {
            return play(w, result);
        } else if (c == "genmove") {
            return genmove(w, result);
        } else if (c == "undo") {
            if (before.empty()) return *result = "cannot undo", false;
            now = before.back();
            before.pop_back();
        } else if (c == "showboard") {
            *result = "\n" + showboard();
        } else if (c == "level") {
            if (w.size() != 2 || !number(w[1], engine::kMinLevel, engine::kMaxLevel, &n))
                return *result = "level: 1 to 5", false;
            level = int(n);
            time_ms = 0;
        } else if (c == "time_per_move") {
            if (w.size() != 2 || !number(w[1], 1, kMaxMs, &n)) return *result = "time_per_move: 1 to 3600000 ms", false;
            time_ms = n;
        } else if (c == "perft") {
            if (w.size() != 2 || !number(w[1], 0, kMaxPerft, &n)) return *result = "perft: a depth of 0 to 7", false;
            engine::Position e = engine::to_engine(now);
            *result = std::to_string(engine::perft(e, int(n)));
        } else if (c == "analyse") {
            return analyse(w, result);
        } else {
            return *result = "unknown command", false;
        }
        return true;
    }
};

Session::Session() : impl_(new Impl) {}
Session::~Session() = default;
bool Session::done() const { return impl_->done; }

std::string Session::answer(std::string_view raw) {
    if (raw.size() > kMaxLine) return "? line too long\n\n";
    // Control characters go, tabs become spaces, and a comment ends the line.
    std::string line;
    for (char ch : raw) {
        if (ch == '#') break;
        if (ch == '\t') ch = ' ';
        if (static_cast<unsigned char>(ch) >= 32 && ch != 127) line += ch;
    }
    std::vector<std::string_view> w = split(line);
    if (w.empty()) return "";
    std::string id;
    long ignored = 0;
    if (number(w[0], 0, 999999999, &ignored)) {
        id = std::string(w[0]);
        w.erase(w.begin());
    }
    std::string result;
    bool ok = !w.empty() && impl_->run(w, &result);
    if (w.empty()) result = "unknown command";
    return (ok ? "=" : "?") + id + " " + result + "\n\n";
}

void serve(std::FILE* in, std::FILE* out) {
    Session session;
    std::string line;
    while (!session.done()) {
        int ch = std::fgetc(in);
        if (ch != '\n' && ch != EOF) {
            // Past the limit the rest of the line is dropped as it comes: it is
            // answered as too long all the same.
            if (line.size() <= kMaxLine) line += char(ch);
            continue;
        }
        if (ch == EOF && line.empty()) break;
        std::fputs(session.answer(line).c_str(), out);
        std::fflush(out);
        line.clear();
        if (ch == EOF) break;
    }
}

} // namespace protocol
