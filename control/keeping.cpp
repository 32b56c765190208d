// The records of the games played here: what the title says of them, where a game
// starts, its record kept after every move, and the review of a record.
#include "control/keeping.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "assets/assets.h"
#include "draw/draw.h"
#include "platform/file.h"
#include "platform/frame.h"
#include "platform/input.h"
#include "platform/kernel.h"
#include "records/keep.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "unit/unit.h"

namespace keeping {

namespace {

// The pastes of Sprites/titre.tga: the three openings one above the other, then
// the note that R resumes a game, each at its place on the title.
const int kOpeningX = 10, kOpeningY = 196, kOpeningW = 170, kOpeningH = 100;
const int kResumeX = 496, kResumeY = 128, kResumeW = 140, kResumeH = 70;
// Sprites/revue.tga: the review's plaque and its place, then the glyphs 0 to 9 and
// the slash, written into the well.
const int kReviewX = 0, kReviewY = 360, kReviewW = 150, kReviewH = 110;
const int kWellX = 20, kWellY = 399, kWellW = 112, kGlyphW = 11, kGlyphH = 20;
// The turn marks of Sprites/tour.tga and where they go, as the glue draws them.
const int kMarkX = 356, kMarkY[3] = {0, 371, 425};

struct State {
    Setup setup;
    std::string resume_path; // the game R chose, kept in its own file
    records::Record resumed;
    std::unique_ptr<records::Keeper> keeper;
    bool reviewing = false;
    bool placed = false;          // the start position is on the board
    bool opening_pending = false; // the host has yet to say which opening
    void (*screen_begin)() = nullptr;
};
State* state() {
    static State s;
    return &s;
}

// A picture of w x h pixels, rows stored top first after the 18-byte header.
std::vector<char> read_picture(const char* path, int w, int h) {
    std::vector<char> pixels(size_t(w) * h * 4);
    BFile file(path, B_READ_ONLY);
    char header[18];
    file.Read(header, sizeof header);
    file.Read(pixels.data(), pixels.size());
    return pixels;
}

// Copies rows of w pixels from a picture `stride` pixels wide into _ECRAN at (x, y).
void paste(const std::vector<char>& from, int stride, int fx, int fy, int w, int h, int x, int y) {
    for (int r = 0; r < h; r++)
        std::memcpy(_ECRAN + (size_t(y + r) * 640 + x) * 4, from.data() + (size_t(fy + r) * stride + fx) * 4,
                    size_t(w) * 4);
}

const std::vector<char>& title_pastes() {
    static const std::vector<char> p = read_picture("Sprites/titre.tga", kOpeningW, 3 * kOpeningH + kResumeH);
    return p;
}

// The position into the game's globals, no selection, every cell and both scores
// drawn again through the game's own drawing.
void to_game(const board::Position& p) {
    for (int c = 0; c < board::kCells; c++) Jeu[board::cell_y(c)][board::cell_x(c)] = char(p.cell[c]);
    Tour = char(p.to_move);
    Score[1] = char(p.score[1]);
    Score[2] = char(p.score[2]);
    NbSelec = 0;
    for (int c = 0; c < board::kCells; c++) EffCurseur(char(board::cell_x(c)), char(board::cell_y(c)));
    AffScore();
}

// Which move is shown, "12 / 57", centred in the well of the review's plaque.
void draw_counter(const std::vector<char>& plaque, int shown, int total) {
    const std::string text = std::to_string(shown) + " / " + std::to_string(total);
    paste(plaque, kReviewW, 0, 0, kReviewW, kReviewH, kReviewX, kReviewY);
    int x = kWellX + (kWellW - int(text.size()) * kGlyphW) / 2;
    for (char c : text) {
        if (c != ' ') {
            const int glyph = c == '/' ? 10 : c - '0';
            paste(plaque, kReviewW, glyph * kGlyphW, kReviewH, kGlyphW, kGlyphH, x, kWellY + 1);
        }
        x += kGlyphW;
    }
}

// Shows the record move by move: Left and Right step, Home and End go to the ends,
// Escape leaves once it is let go. Polls from inside the glue's hook, which does
// nothing meanwhile; nothing on the board can be selected or moved.
void review(const records::Record& record, int at) {
    State& s = *state();
    s.reviewing = true;
    s.placed = true; // the positions shown here are the review's, never a start to put on the board
    if (Souris->Visible) Souris->Hide();
    input::set_person_turn(true); // the person is to act, as a script's wait step sees
    std::vector<board::Position> positions(1, board::opening(record.opening()));
    for (const board::Move& m : record.moves) {
        positions.push_back(positions.back());
        board::play(positions.back(), m);
    }
    const int total = int(record.moves.size());
    const std::vector<char> plaque = read_picture("Sprites/revue.tga", kReviewW, kReviewH + kGlyphH);
    std::vector<char> marks = read_picture("Sprites/tour.tga", 32, 128);
    auto show = [&] {
        std::memcpy(_ECRAN, _FOND, kScreenBytes);
        const board::Position& p = positions[size_t(at)];
        to_game(p);
        if (!p.over()) _PUTSPRITE(kMarkX, kMarkY[p.to_move], marks.data() + (p.to_move - 1) * 4096);
        draw_counter(plaque, at, total);
        _UPDATE();
    };
    show();
    const uint8 keys[5] = {KEY_LEFT, KEY_RIGHT, KEY_HOME, KEY_END, KEY_ESCAPE};
    bool held[5] = {true, true, true, true, true}; // a key already down must be let go first
    key_info info;
    for (;;) {
        get_key_info(&info);
        bool pressed[5];
        for (int k = 0; k < 5; k++) {
            const bool down = key_down(info, keys[k]);
            pressed[k] = down && !held[k];
            held[k] = down;
        }
        if (pressed[4]) break;
        int to = at;
        if (pressed[0]) to = at > 0 ? at - 1 : 0;
        if (pressed[1]) to = at < total ? at + 1 : total;
        if (pressed[2]) to = 0;
        if (pressed[3]) to = total;
        if (to == at) continue;
        at = to;
        show();
    }
    do get_key_info(&info);
    while (key_down(info, KEY_ESCAPE));
    s.reviewing = false;
}

board::Position start_position() {
    const State& s = *state();
    if (!s.resume_path.empty()) return s.resumed.position();
    if (s.setup.load) return s.setup.record.position();
    return board::opening(s.setup.opening);
}

// The game has set up its own opening; any other start replaces it, drawn through
// the game's own drawing, once.
void place_start() {
    State& s = *state();
    if (s.placed) return;
    s.placed = true;
    const board::Position p = start_position();
    if (p == board::opening()) return;
    const bool shown = Souris->Visible;
    if (shown) Souris->Hide();
    to_game(p);
    if (shown) Souris->Show();
}

// Ahead of each copy of the frame: the start position goes on the board before the
// game's first frame of the board shows its own opening.
void before_frame() {
    State& s = *state();
    if (!s.placed && !s.opening_pending && Tour != 0) place_start();
    if (s.screen_begin) s.screen_begin();
}

} // namespace

void setup(Setup s) { state()->setup = std::move(s); }

void watch_frames() {
    State& s = *state();
    if (update_hooks.begin == before_frame) return;
    s.screen_begin = update_hooks.begin;
    update_hooks.begin = before_frame;
}

board::Opening opening() { return state()->setup.opening; }

void set_opening(board::Opening o) {
    state()->setup.opening = o;
    state()->opening_pending = false;
}

void await_opening() { state()->opening_pending = true; }

void show_title(bool resumable) {
    const int o = int(state()->setup.opening);
    // The standard opening is on the title's own picture.
    if (o != 0) paste(title_pastes(), kOpeningW, 0, o * kOpeningH, kOpeningW, kOpeningH, kOpeningX, kOpeningY);
    if (resumable) paste(title_pastes(), kOpeningW, 0, 3 * kOpeningH, kResumeW, kResumeH, kResumeX, kResumeY);
    _UPDATE();
}

void next_opening() {
    Setup& s = state()->setup;
    s.opening = board::Opening((int(s.opening) + 1) % 3);
    paste(title_pastes(), kOpeningW, 0, int(s.opening) * kOpeningH, kOpeningW, kOpeningH, kOpeningX, kOpeningY);
    _UPDATE();
}

std::string resumable(const std::string& light, const std::string& dark) {
    return records::find_unfinished(records::games_dir(), light, dark);
}

bool resume(const std::string& path, records::Record* record) {
    State& s = *state();
    records::Fault fault;
    if (!records::read_file(path, record, &fault)) return false;
    s.resume_path = path;
    s.resumed = *record;
    return true;
}

void begin(const std::string& light, const std::string& dark, bool keep) {
    State& s = *state();
    records::Record r;
    std::string path;
    if (!s.resume_path.empty()) {
        r = s.resumed;
        path = s.resume_path;
    } else if (s.setup.load) {
        r = s.setup.record;
        r.set_tag("Light", light);
        r.set_tag("Dark", dark);
    } else {
        r = records::new_record(s.setup.opening, light, dark);
    }
    // Kept when a person plays, unless the run is scripted; --record keeps any game.
    keep = keep && s.setup.keep;
    if (!s.setup.record_path.empty()) {
        path = s.setup.record_path;
        keep = true;
    } else if (keep && path.empty()) {
        std::string error;
        path = records::new_game_path(records::games_dir(), time(nullptr), &error);
        if (path.empty())
            std::fprintf(stderr, "%s: the game is not kept: %s\n", program_invocation_short_name, error.c_str());
    }
    place_start();
    s.keeper = std::make_unique<records::Keeper>(keep ? path : "", std::move(r));
}

void moved(const board::Move& move) {
    if (state()->keeper) state()->keeper->moved(move);
}

void taken_back(int moves) {
    if (state()->keeper) state()->keeper->taken_back(moves);
}

bool review_only() { return state()->setup.review; }

void review_file() {
    LoadFond();
    review(state()->setup.record, 0);
    input::request_quit();
    wait_forever();
}

void review_game() {
    State& s = *state();
    if (!s.keeper) return;
    review(s.keeper->record(), int(s.keeper->record().moves.size()));
    LoadEcran("Sprites/victoire.tga", _ECRAN);
    _UPDATE();
}

bool reviewing() { return state()->reviewing; }

} // namespace keeping
