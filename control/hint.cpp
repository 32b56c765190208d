// The hint: a search on the engine's thread, then rings and an arrowhead drawn with
// the game's own routines, and taken off again by redrawing the cells they cover.
#include "control/hint.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "draw/draw.h"
#include "draw/geometry.h"
#include "engine/engine.h"
#include "engine/levels.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "unit/unit.h"

namespace hint {

namespace {

// Level 5 thinks 2 s; a hint is wanted sooner.
constexpr double kTimeScale = 0.5;

enum class Stage { None, Searching, Shown };

struct State {
    std::unique_ptr<engine::Search> search; // made at the first H: its table is large
    std::thread thread;                     // the search under way, or done and not yet joined
    std::atomic<bool> stop{false}, ready{false};
    engine::Result result;
    Stage stage = Stage::None;
    board::Position asked;
    board::Move move;
    int mark = -1;                          // the cell under the arrowhead
    char selection[1 + 2 * 4] = {};         // NbSelec, Xs, Ys as the hint found them
    bool h_held = true, button_held = true; // as the previous poll saw them
    uint8_t keys[16] = {};
    char arrow[6][kSpriteBytes];
    State();
    ~State() { cancel(); }

    void start(const board::Position& p, std::vector<uint64_t> history) {
        stop = ready = false;
        if (!search) search = std::make_unique<engine::Search>();
        thread =
            std::thread([this, e = engine::to_engine(p), history = std::move(history), seed = std::random_device()()] {
                result = engine::choose(*search, e, engine::kMaxLevel, history, &stop, seed, kTimeScale);
                ready = true;
                input::nudge(); // the game shows it at its next poll, now
            });
    }
    // At once: the search looks at stop at every node.
    void cancel() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
};
State* state = nullptr;

// A 32x32 keyed sprite: a gold arrowhead with a dark rim pointing in direction d as
// the screen shows it (rows are 38 pixels apart, half-columns 25).
void draw_arrow(char* sprite, board::Dir d) {
    const double dx = board::kDx[d] * 25.0, dy = board::kDy[d] * 38.0, len = std::hypot(dx, dy);
    const double ux = dx / len, uy = dy / len;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            const double px = x - 15.5, py = y - 15.5;
            const double along = px * ux + py * uy, across = std::fabs(py * ux - px * uy);
            // A dart from its tip 13 pixels ahead to its back corners 9 behind and
            // 10 aside, notched 6 deep between them; its rim `grow` wider.
            auto inside = [&](double grow) {
                return across <= (13 + grow - along) * 0.45 && across <= 9.9 + grow && along >= -9 - grow &&
                       along >= -9 - grow + 6 * (1 - across / 9.9);
            };
            // Blue, green, red, then the fourth byte; all zero is transparent.
            static const char kGold[4] = {0x3c, char(0xc8), char(0xff), char(0xff)};
            static const char kRim[4] = {0x10, 0x20, 0x3c, char(0xff)};
            static const char kNone[4] = {0, 0, 0, 0};
            std::memcpy(sprite + 4 * (32 * y + x), inside(0) ? kGold : inside(1.5) ? kRim : kNone, 4);
        }
}

State::State() {
    for (int d = 0; d < 6; d++) draw_arrow(arrow[d], board::Dir(d));
}

void remember_selection(char* out) {
    out[0] = NbSelec;
    for (int i = 0; i < 4; i++) out[1 + i] = Xs[i], out[5 + i] = Ys[i];
}

// The cell the move heads for: ahead of its front marble, or beside the middle one
// of a row moving sideways.
int target(const board::Move& m) {
    int ahead[3], n = 0;
    for (int i = 0; i < m.n; i++) {
        const int t = board::neighbour(m.cells[i], m.dir);
        bool own = false;
        for (int j = 0; j < m.n; j++) own |= t == m.cells[j];
        if (!own && t >= 0) ahead[n++] = t;
    }
    return n ? ahead[n / 2] : -1;
}

// The cursor is off the frame while the game draws, as everywhere in the game.
void show(State& s) {
    Souris->Hide();
    for (int i = 0; i < s.move.n; i++)
        AffBoule(char(board::cell_x(s.move.cells[i])), char(board::cell_y(s.move.cells[i])), char(Tour + 4));
    s.mark = target(s.move);
    if (s.mark >= 0) _PUTSPRITE(cell_left(board::cell_x(s.mark)), cell_top(board::cell_y(s.mark)), s.arrow[s.move.dir]);
    Souris->Show();
    _UPDATE();
    remember_selection(s.selection);
}

// Every cell the hint drew on is drawn afresh from the grid, and the person's own
// selection ringed again where it was covered.
void hide(State& s) {
    Souris->Hide();
    for (int i = 0; i < s.move.n; i++)
        EffCurseur(char(board::cell_x(s.move.cells[i])), char(board::cell_y(s.move.cells[i])));
    if (s.mark >= 0) EffCurseur(char(board::cell_x(s.mark)), char(board::cell_y(s.mark)));
    for (int i = 1; i <= NbSelec && i < 4; i++) AffBoule(Xs[i], Ys[i], char(Tour + 4));
    Souris->Show();
    _UPDATE();
}

// may: whether the person's clicks and direction keys pass again, held back while
// the search ran.
void drop(State& s, bool may) {
    s.cancel();
    if (s.stage == Stage::Searching) input::set_person_turn(may);
    if (s.stage == Stage::Shown) hide(s);
    s.stage = Stage::None;
}

} // namespace

void on_poll(const key_info& keys, const board::Position& now, bool may, const std::vector<board::Position>& before) {
    if (!state) state = new State;
    State& s = *state;
    const bool h = key_down(keys, KEY_H), h_pressed = h && !s.h_held;
    bool other_key = false;
    for (int k = 0; k < 128; k++)
        if (k != KEY_H && key_down(keys, uint8(k)) && !(s.keys[k / 8] & (0x80 >> (k % 8)))) other_key = true;
    const bool button = Souris->Bouton1 || Souris->Bouton2 || Souris->Bouton3, click = button && !s.button_held;
    char selection[sizeof s.selection];
    remember_selection(selection);
    s.h_held = h;
    s.button_held = button;
    std::memcpy(s.keys, keys.key_states, sizeof s.keys);

    if (s.stage != Stage::None &&
        (other_key || click || !may || !(now == s.asked) ||
         (s.stage == Stage::Shown && std::memcmp(selection, s.selection, sizeof selection) != 0)))
        drop(s, may);
    if (h_pressed && may && s.stage == Stage::None) {
        std::vector<uint64_t> history;
        for (const board::Position& p : before) history.push_back(board::hash(p));
        history.push_back(board::hash(now));
        s.start(now, std::move(history));
        s.asked = now;
        s.stage = Stage::Searching;
        // The board waits for the hint, as for the computer's move (and so does a
        // script's wait step); any other key, undo too, takes it back meanwhile.
        input::set_person_turn(false);
    }
    if (s.stage == Stage::Searching && s.ready) {
        s.cancel(); // joins the finished thread
        s.stage = s.result.has_move ? Stage::Shown : Stage::None;
        if (s.result.has_move) {
            s.move = engine::to_board(s.result.move);
            show(s);
        }
        input::set_person_turn(true);
    }
}

void end() {
    delete state; // stops and joins the search
    state = nullptr;
}

} // namespace hint
