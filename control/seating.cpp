// The glue between the seats and the game, run inside every poll of the input on
// the game thread, where it may read and write the game's globals without a race.
#include "control/seating.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/assets.h"
#include "control/hint.h"
#include "control/keeping.h"
#include "control/sounds.h"
#include "draw/draw.h"
#include "platform/file.h"
#include "platform/input.h"
#include "platform/kernel.h"
#include "platform/sound.h"
#include "rules/rules.h"
#include "board/board.h"
#include "seats/computer.h"
#include "settings/settings.h"
#include "souris/souris.h"
#include "unit/unit.h"

namespace seating {

namespace {

using seats::Position;

// The turn mark's 32x32 box on each player's panel, between the name and the
// score's well; it touches neither.
const int kMarkX = 356, kMarkY[3] = {0, 371, 425};

// Waiting: the board is up but a player has not arrived. Gone: a player has left
// for good, and a picture says so until the person's key.
enum class Stage { Title, Waiting, Playing, Over, Gone };

struct Glue {
    Setup setup;
    std::unique_ptr<seats::Seat> seat[3]; // seat[1] and seat[2]
    bool fixed = false;                   // a seat came from outside: C on the title changes nothing
    bool remote[3] = {};                  // that seat is the player on another machine
    Stage stage = Stage::Title;
    Position last;                                          // the position at the previous poll
    std::vector<Position> before;                           // the position before each move so far, oldest first
    bool c_held = false, m_held = false, undo_held = false; // as the previous poll saw the keys
    bool o_held = false, r_held = false;
    bool waiting_shown = false, start_posted = false;
    bool title_shown = false;
    std::string resume_path;  // the game R on the title resumes, or ""
    int status = 0;           // the program's exit status
    char marks[4][4096] = {}; // players 1 and 2, then the same while the computer thinks
};
Glue* glue = nullptr;

Position current() {
    Position p;
    for (int c = 0; c < board::kCells; c++) p.cell[c] = int8_t(Jeu[board::cell_y(c)][board::cell_x(c)]);
    p.to_move = int8_t(Tour);
    std::memcpy(p.score, Score, sizeof p.score);
    return p;
}

std::unique_ptr<seats::Seat> seat_for(int player) {
    if (glue->setup.computer & player)
        return std::make_unique<seats::Computer>(glue->setup.level, glue->setup.pause_ms, glue->setup.longest_pause_ms);
    return std::make_unique<seats::Person>();
}

// The mark goes on the panel of the player to move and off the other; the cursor,
// shown while the board is played, goes meanwhile.
void draw_mark() {
    const int tour = glue->last.to_move, thinking = glue->seat[tour]->person() ? 0 : 2;
    Souris->Hide();
    _EFFSPRITE(kMarkX, kMarkY[3 - tour]);
    _PUTSPRITE(kMarkX, kMarkY[tour], glue->marks[thinking + tour - 1]);
    Souris->Show();
    _UPDATE();
}

// The person's clicks and direction keys pass on the person's turns only.
void next_turn() {
    seats::Seat& s = *glue->seat[glue->last.to_move];
    input::set_person_turn(s.person());
    draw_mark();
    s.your_turn(glue->last);
}

// What the record calls the player of a side.
std::string player(int p) {
    if (glue->remote[p]) return "remote";
    if (glue->setup.computer & p) return "computer " + std::to_string(glue->setup.level);
    return "person";
}

// The opening of a game across two machines is the host's.
void take_opening() {
    for (int p : {1, 2})
        if (glue->seat[p]->opening() >= 0) keeping::set_opening(board::Opening(glue->seat[p]->opening()));
}

void begin() {
    take_opening();
    // The marks are read after the game's own pictures, as the board comes up.
    BFile marks("Sprites/tour.tga", B_READ_ONLY);
    char header[18];
    marks.Read(header, sizeof header);
    for (auto& m : glue->marks) marks.Read(m, sizeof m);
    glue->stage = Stage::Playing;
    keeping::begin(player(1), player(2), glue->seat[1]->person() || glue->seat[2]->person());
    glue->last = current();
    for (int p : {1, 2}) glue->seat[p]->begin(glue->last);
    next_turn();
}

// Everything that answers a move starts here, whoever made it: its sound, and the
// seats hear it.
void moved(const Position& now) {
    Sound sound;
    if (sound_of(glue->last, now, &sound)) play_sound(sound);
    board::Move m;
    board::derive_move(glue->last, now, &m); // the game's rules allow no other change
    glue->before.push_back(glue->last);
    glue->last = now;
    for (int p : {1, 2}) glue->seat[p]->moved(m, now);
    const int winner = now.score[1] == 6 ? 1 : now.score[2] == 6 ? 2 : 0;
    if (!winner) {
        next_turn();
    } else {
        glue->stage = Stage::Over;
        for (int p : {1, 2}) glue->seat[p]->over(winner);
        // The victory screen waits for the person's key, whoever played.
        input::set_person_turn(true);
    }
    // Last, once the seats have heard and the turn is marked: the write waits on the disk.
    keeping::moved(m);
}

// Every cell as the grid holds it, and the scores.
void draw_board() {
    for (int y = 2; y <= 10; y++)
        for (int x = std::abs(y - 6) + 2; x <= 18 - std::abs(y - 6); x += 2) EffCurseur(char(x), char(y));
    AffScore();
}

// Takes moves back to the latest position where the person was to move, and puts
// it on the board: grid, turn, scores, no selection, every cell redrawn.
void undo() {
    Glue& g = *glue;
    for (int p : {1, 2})
        if (!g.seat[p]->allows_undo()) return;
    size_t to = g.before.size();
    while (to > 0 && !g.seat[g.before[to - 1].to_move]->person()) to--;
    if (to == 0) return;
    for (int p : {1, 2}) g.seat[p]->cancel();
    const int moves = int(g.before.size() - (to - 1));
    g.last = g.before[to - 1];
    g.before.resize(to - 1);
    for (int c = 0; c < board::kCells; c++) Jeu[board::cell_y(c)][board::cell_x(c)] = char(g.last.cell[c]);
    Tour = char(g.last.to_move);
    std::memcpy(Score, g.last.score, sizeof Score);
    NbSelec = 0;
    Souris->Hide();
    draw_board();
    Souris->Show();
    for (int p : {1, 2}) g.seat[p]->taken_back(moves, g.last);
    next_turn();
    keeping::taken_back(moves);
}

// A full-screen picture in place of whatever was on the screen.
void show(const char* picture) {
    if (Souris->Visible) Souris->Hide();
    LoadEcran(picture, _ECRAN);
    _UPDATE();
}

bool all_here() { return glue->seat[1]->here() && glue->seat[2]->here(); }

// The picture of waiting; the person's board clicks and keys do nothing meanwhile.
void wait_for_players() {
    glue->waiting_shown = true;
    input::set_person_turn(false);
    show("Sprites/attente.tga");
}

// The board as the game holds it, over the picture that covered it.
void redraw_board() {
    std::memcpy(_ECRAN, _FOND, kScreenBytes);
    draw_board();
    Souris->Show();
    _UPDATE();
}

// As the victory screen: the picture until space, Enter or Escape, then the end;
// the game thread goes no further. It polls from inside the hook, which returns
// at once meanwhile. A key already down in the poll that brought the picture must
// be let go first; one pressed after it ends at once.
[[noreturn]] void gone_screen(const char* picture, key_info keys) {
    show(picture);
    input::set_person_turn(true); // the person is to act, as a script's wait step sees
    auto end_key = [&] { return key_down(keys, KEY_SPACE) || key_down(keys, KEY_ENTER) || key_down(keys, KEY_ESCAPE); };
    for (bool held = end_key();;) {
        get_key_info(&keys);
        const bool end = end_key();
        if (end && !held) break;
        held = end;
    }
    input::request_quit();
    wait_forever();
}

// A player who has gone for good ends the game: the picture of their leaving or
// of the lost link, the cause on stderr, and the exit status to match. Returns
// only while both are still there.
void end_if_someone_gone(const key_info& keys) {
    Glue& g = *glue;
    for (int p : {1, 2}) {
        bool quit = false;
        std::string cause;
        if (!g.seat[p]->gone(&quit, &cause)) continue;
        for (int q : {1, 2}) g.seat[q]->cancel();
        g.status = quit ? 0 : 1;
        if (!quit) std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, cause.c_str());
        g.stage = Stage::Gone;
        gone_screen(quit ? "Sprites/parti.tga" : "Sprites/rompu.tga", keys);
    }
}

// The game R on the title resumes: the newest unfinished one with the players
// that space or C would seat.
std::string find_resumable() {
    const Setup& s = glue->setup;
    const std::string light = s.computer & 1 ? "computer " + std::to_string(s.level) : "person";
    const std::string dark = s.computer & 2 ? "computer " + std::to_string(s.level) : "person";
    std::string found = keeping::resumable(light, dark);
    if (s.computer == 0) {
        const std::string against = keeping::resumable("person", "computer " + std::to_string(s.level));
        struct stat a, b;
        if (found.empty() || (!against.empty() && stat(found.c_str(), &a) == 0 && stat(against.c_str(), &b) == 0 &&
                              b.st_mtim.tv_sec > a.st_mtim.tv_sec))
            found = against;
    }
    return found;
}

// R on the title: the players of the record sit down, and the game goes on from it.
void resume() {
    records::Record r;
    if (!keeping::resume(glue->resume_path, &r)) return;
    glue->setup.computer = (r.tag("Light") != "person") | (r.tag("Dark") != "person") << 1;
    glue->seat[1] = seat_for(1);
    glue->seat[2] = seat_for(2);
    input::set_person_turn(glue->seat[1]->person());
    input::post(input::Source::Seat, {input::Event::key(KEY_SPACE, true), input::Event::key(KEY_SPACE, false)});
}

void on_poll(const key_info& keys) {
    Glue& g = *glue;
    if (keeping::reviewing()) return;
    keeping::watch_frames();
    const bool c = key_down(keys, KEY_C), c_pressed = c && !g.c_held;
    const bool m = key_down(keys, KEY_M), m_pressed = m && !g.m_held;
    const bool o = key_down(keys, KEY_O), o_pressed = o && !g.o_held;
    const bool r = key_down(keys, KEY_R), r_pressed = r && !g.r_held;
    // Z alone plays as keypad 1; with Control it is Z itself.
    const bool undo_key = key_down(keys, KEY_BACKSPACE) || key_down(keys, KEY_Z);
    const bool undo_pressed = undo_key && !g.undo_held;
    g.c_held = c;
    g.m_held = m;
    g.undo_held = undo_key;
    g.o_held = o;
    g.r_held = r;
    if (m_pressed) {
        toggle_sound();
        settings::keep_sound(sound_is_on());
    }
    switch (g.stage) {
    case Stage::Title:
        if (keeping::review_only()) keeping::review_file();
        end_if_someone_gone(keys);
        if (Tour != 0) { // the game sets the turn once the board is up
            if (all_here()) return begin();
            g.stage = Stage::Waiting;
            return wait_for_players();
        }
        if (!all_here()) {
            if (!g.waiting_shown) wait_for_players();
            return;
        }
        if (g.fixed && !g.start_posted) {
            // Both players are here: the game starts on both machines at once, from
            // the host's opening.
            g.start_posted = true;
            take_opening();
            input::post(input::Source::Seat, {input::Event::key(KEY_SPACE, true), input::Event::key(KEY_SPACE, false)});
        }
        if (!g.title_shown && !g.fixed) {
            g.title_shown = true;
            g.resume_path = find_resumable();
            keeping::show_title(!g.resume_path.empty());
        }
        if (o_pressed && !g.fixed) {
            keeping::next_opening();
            settings::keep_opening(keeping::opening());
        }
        if (r_pressed && !g.resume_path.empty() && !g.fixed) return resume();
        if (c_pressed && !g.fixed) {
            // The person against the computer, which takes the dark marbles; the
            // title itself ends on space only.
            g.setup.computer = 2;
            g.seat[1] = seat_for(1);
            g.seat[2] = seat_for(2);
            input::post(input::Source::Seat, {input::Event::key(KEY_SPACE, true), input::Event::key(KEY_SPACE, false)});
        }
        return;
    case Stage::Waiting:
        end_if_someone_gone(keys);
        if (!all_here()) return;
        redraw_board();
        return begin();
    case Stage::Playing: {
        end_if_someone_gone(keys);
        const Position now = current();
        // Hints for the person at this board only, never against a player elsewhere.
        const bool hints = g.seat[now.to_move]->person() && g.seat[1]->allows_undo() && g.seat[2]->allows_undo();
        hint::on_poll(keys, now, hints, g.before);
        if (!(now == g.last)) return moved(now);
        if (undo_pressed) undo();
        return;
    }
    case Stage::Over:
        if (r_pressed) keeping::review_game();
        return;
    case Stage::Gone: return;
    }
}

} // namespace

void start(const Setup& setup, std::unique_ptr<seats::Seat> one, std::unique_ptr<seats::Seat> two) {
    glue = new Glue;
    glue->setup = setup;
    glue->fixed = one || two;
    glue->remote[1] = one != nullptr;
    glue->remote[2] = two != nullptr;
    glue->seat[1] = one ? std::move(one) : seat_for(1);
    glue->seat[2] = two ? std::move(two) : seat_for(2);
    // A game with a player on another machine starts once both are here.
    input::set_person_turn(glue->seat[1]->person() && !glue->fixed);
    input::set_poll_hook(on_poll);
}

int stop() {
    if (!glue) return 0;
    input::set_poll_hook(nullptr);
    hint::end();
    for (int p : {1, 2}) glue->seat[p].reset();
    return glue->status;
}

} // namespace seating
