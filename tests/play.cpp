// Games played through the click handling and Joue, checked step by step.
#include "tests/play.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "draw/draw.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "tests/doubles.h"
#include "unit/unit.h"

namespace play {

namespace {

constexpr size_t kFrame = 640 * 480 * 4;
constexpr int kWholeFrameEvery = 64; // steps between two whole-frame comparisons
const int kSteps[6][2] = {{1, 1}, {2, 0}, {1, -1}, {-1, -1}, {-2, 0}, {-1, 1}};

std::string cell_text(int x, int y) {
    std::ostringstream s;
    s << "(" << x << "," << y << ")";
    return s.str();
}

// The pixel routine calls of one step, in order: 'P' sprite, 'E' erase, 'N' digit.
struct Drawn {
    char routine;
    int32 x, y;
};
bool logging = true;
std::vector<Drawn> drawn;

} // namespace

} // namespace play

// The link wraps the routines that draw into _ECRAN (by their mangled names), so that
// each step can show it drew only on board cells and score places.
extern "C" {
void __real__Z10_PUTSPRITEiiPc(int32 x, int32 y, char* sprite);
void __real__Z10_EFFSPRITEii(int32 x, int32 y);
void __real__Z10_AFFNOMBREiii(int32 x, int32 y, int32 n);
void __wrap__Z10_PUTSPRITEiiPc(int32 x, int32 y, char* sprite) {
    if (play::logging) play::drawn.push_back({'P', x, y});
    __real__Z10_PUTSPRITEiiPc(x, y, sprite);
}
void __wrap__Z10_EFFSPRITEii(int32 x, int32 y) {
    if (play::logging) play::drawn.push_back({'E', x, y});
    __real__Z10_EFFSPRITEii(x, y);
}
void __wrap__Z10_AFFNOMBREiii(int32 x, int32 y, int32 n) {
    if (play::logging) play::drawn.push_back({'N', x, y});
    __real__Z10_AFFNOMBREiii(x, y, n);
}
}

namespace play {

Session::Session() : reference_(kFrame) {
    for (int y = 0; y < 22; y++)
        for (int x = 0; x < 22; x++) {
            int d = std::abs(y - 6);
            board_[y][x] = y >= 2 && y <= 10 && (x + y) % 2 == 0 && x >= d + 2 && x <= 18 - d;
        }
    new_game();
    std::memcpy(opening_, Jeu, sizeof Jeu);
}

void Session::new_game() {
    std::memset(Jeu, 0, sizeof Jeu);
    std::memset(Score, 0, sizeof Score);
    std::memset(Xs, 0, sizeof Xs);
    std::memset(Ys, 0, sizeof Ys);
    NbSelec = 0;
    Xc = Yc = 0;
    std::memcpy(_ECRAN, _FOND, kFrame);
    SetJeu();
    Tour = 1;
    AffScore();
    std::memcpy(reference_.data(), _FOND, kFrame);
    doubles::reset();
    won_ = false;
    plan_.clear();
    step_in_game_ = 0;
}

Session::State Session::capture() const {
    State s;
    std::memcpy(s.grid, Jeu, sizeof Jeu);
    std::memcpy(s.score, Score, sizeof Score);
    s.tour = Tour;
    for (int i = 1; i <= NbSelec && i <= 3; i++) s.selection.push_back({Xs[i], Ys[i]});
    return s;
}

bool Session::step(Source& source) {
    if (!fault_.empty() || won_) return false;
    // An action, a choice, and a pixel offset in a cell's band (or a whole pixel).
    uint32_t kind, a, b, c;
    if (!source.next(16, kind) || !source.next(1u << 16, a)) return false;
    if (kind == 9 ? !source.next(624, b) || !source.next(464, c) : !source.next(50, b) || !source.next(38, c))
        return false;
    step_in_game_++;
    stats.steps++;
    drawn.clear();

    std::vector<Cell> own;
    for (int y = 0; y < 22; y++)
        for (int x = 0; x < 22; x++)
            if (board_[y][x] && Jeu[y][x] == Tour) own.push_back({x, y});
    // Player 1 attacks more often than player 2, so that games end.
    bool attack = kind < (Tour == 1 ? 12u : 4u);
    if (attack && plan_.empty()) make_plan(a);

    if (attack && !plan_.empty()) {
        follow_plan(b, c);
    } else if (kind >= 10 && NbSelec >= 1) {
        // Half the moves head for the opponent's side, so that the armies meet.
        const int forward[2][2] = {{0, 5}, {2, 3}};
        move(a % 2 ? forward[Tour - 1][(a >> 1) % 2] : int((a >> 1) % 6));
    } else if (kind == 7 || kind == 8) {
        // Next to a selected marble (or an own one): the clicks that build lines.
        Cell from = NbSelec >= 1 ? Cell{Xs[1 + a % NbSelec], Ys[1 + a % NbSelec]} : own[a % own.size()];
        const int* d = kSteps[(a >> 8) % 6];
        int k = 1 + (a >> 12) % 2;
        click_cell({from.x + k * d[0], from.y + k * d[1]}, b, c);
    } else if (kind == 9) {
        click_pixel(int(b), int(c), nullptr);
    } else {
        click_cell(own[a % own.size()], b, c);
    }

    if (fault_.empty()) check_invariants();
    if (fault_.empty()) check_drawn();
    if (fault_.empty()) {
        if (won_)
            check_frame(doubles::record.frame.data(), "the frame Gagne found", true);
        else
            check_frame(_ECRAN, "the frame", step_in_game_ % kWholeFrameEvery == 1);
    }
    return fault_.empty();
}

// An attack: the longest own line (two or three) behind an own marble that touches
// an opposing one and can push it, to be selected click by click and moved against
// it. Half the time the attack is one that pushes a marble off, when there is one.
// Refused pushes come from the random moves.
void Session::make_plan(uint32_t a) {
    std::vector<std::vector<Cell>> lines, offs;
    std::vector<int> line_dirs, off_dirs;
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x <= 20; x++)
            for (int d = 0; d < 6; d++) {
                int dx = kSteps[d][0], dy = kSteps[d][1];
                if (!board_[y][x] || Jeu[y][x] != Tour || Jeu[y + dy][x + dx] != 3 - Tour) continue;
                std::vector<Cell> line;
                for (int k = 0; k < 3 && Jeu[y - k * dy][x - k * dx] == Tour; k++) line.push_back({x - k * dx, y - k * dy});
                if (line.size() < 2) continue; // a single marble never pushes
                int n = 1;
                while (Jeu[y + (n + 1) * dy][x + (n + 1) * dx] == 3 - Tour) n++;
                char beyond = Jeu[y + (n + 1) * dy][x + (n + 1) * dx];
                if (n >= int(line.size()) || beyond == Tour) continue;
                if (beyond == 3) {
                    offs.push_back(line);
                    off_dirs.push_back(d);
                }
                lines.push_back(line);
                line_dirs.push_back(d);
            }
    if (!offs.empty() && a % 2) {
        plan_ = offs[(a >> 1) % offs.size()];
        plan_dir_ = off_dirs[(a >> 1) % offs.size()];
    } else if (!lines.empty()) {
        plan_ = lines[(a >> 1) % lines.size()];
        plan_dir_ = line_dirs[(a >> 1) % lines.size()];
    }
    plan_left_ = 8;
    // Clicked in any order that selects the whole line, the front not always first.
    const int orders[4][3] = {{0, 1, 2}, {1, 0, 2}, {1, 2, 0}, {2, 1, 0}};
    const int* order = orders[(a >> 8) % 4];
    if (plan_.size() == 2 && (a >> 8) % 2) std::swap(plan_[0], plan_[1]);
    if (plan_.size() == 3) plan_ = {plan_[order[0]], plan_[order[1]], plan_[order[2]]};
}

// Clicks the first planned marble not yet selected, or moves once all are; a plan
// that the selection rules keep thwarting is dropped after a few steps.
void Session::follow_plan(uint32_t b, uint32_t c) {
    if (std::any_of(plan_.begin(), plan_.end(), [](Cell p) { return Jeu[p.y][p.x] != Tour; })) plan_.clear();
    if (plan_.empty()) return click_cell({10, 6}, b, c);
    std::vector<Cell> sel = capture().selection;
    const Cell* next = nullptr;
    for (const Cell& p : plan_)
        if (!next && std::find(sel.begin(), sel.end(), p) == sel.end()) next = &p;
    bool all = !next && sel.size() == plan_.size();
    if (all) {
        int d = plan_dir_;
        plan_.clear();
        move(d);
    } else {
        click_cell(next ? *next : sel[0], b, c);
        if (--plan_left_ == 0) plan_.clear();
    }
}

// A pixel inside the click band of cell c: rows are bands of 38 pixels, columns of
// 50, odd rows starting 25 pixels left of even ones. Cells left of column 1 or above
// row 1 have no band of their own on the screen (truncation widens the first band),
// so a click there lands on the nearest pixel and its cell is not foreseen.
void Session::click_cell(Cell c, uint32_t ox, uint32_t oy) {
    int left = c.y % 2 ? 50 * ((c.x - 1) / 2) + 68 : 50 * ((c.x - 2) / 2) + 93;
    int x = std::min(std::max(left + int(ox % 50), 0), 623);
    int y = std::min(std::max(38 * c.y - 63 + int(oy % 38), 0), 463);
    click_pixel(x, y, c.x >= 1 && c.y >= 1 && x == left + int(ox % 50) ? &c : nullptr);
}

void Session::click_pixel(int x, int y, const Cell* known) {
    stats.clicks++;
    State before = capture();
    int hides = doubles::record.hides, shows = doubles::record.shows;
    Souris->x = int16(x);
    Souris->y = int16(y);
    Selectionne();
    if (doubles::record.hides != hides || doubles::record.shows != shows)
        fail("the click handling hid or showed the cursor");
    if (known) {
        if (Xc != known->x || Yc != known->y)
            fail("pointer (" + std::to_string(x) + "," + std::to_string(y) + ") gave cell " + cell_text(Xc, Yc) +
                 ", not " + cell_text(known->x, known->y));
        else
            compare(predict_click(before, *known), "click");
    }
}

// The selection as an ordered list: a click on an own marble empties it, appends,
// removes or starts afresh; a click anywhere else changes nothing.
Session::State Session::predict_click(const State& before, Cell c) const {
    State after = before;
    if (c.x < 0 || c.x > 21 || c.y < 0 || c.y > 21 || before.grid[c.y][c.x] != before.tour) return after;
    std::vector<Cell>& sel = after.selection;
    auto selected = [&](Cell m) {
        for (size_t i = 0; i < sel.size(); i++)
            if (sel[i] == m) return int(i);
        return -1;
    };
    int at = selected(c);
    bool joins = false;
    if (sel.size() == 1) {
        for (auto& d : kSteps) joins |= c == Cell{sel[0].x + d[0], sel[0].y + d[1]};
    } else if (sel.size() == 2) {
        int dx = sel[1].x - sel[0].x, dy = sel[1].y - sel[0].y;
        joins = c == Cell{sel[0].x - dx, sel[0].y - dy} || c == Cell{sel[1].x + dx, sel[1].y + dy};
    }
    if (sel.size() == 3 || (at < 0 && !joins)) sel.assign(1, c);
    else if (at >= 0) sel.erase(sel.begin() + at);
    else sel.push_back(c);
    return after;
}

void Session::move(int sens) {
    State before = capture();
    Outcome outcome;
    State expected = predict_move(before, sens, outcome);
    int hides = doubles::record.hides, shows = doubles::record.shows;
    try {
        Joue(char(sens));
    } catch (const doubles::Won&) {
        won_ = true;
    }
    stats.moves++;
    stats.refused += outcome == Outcome::Refused;
    stats.pushes += outcome == Outcome::Pushed;
    stats.push_offs += outcome == Outcome::PushedOff || outcome == Outcome::Won;
    stats.wins += won_;

    std::string what = "move " + std::to_string(sens);
    if (won_ != (outcome == Outcome::Won))
        fail(what + (won_ ? ": Gagne called without a sixth point" : ": no Gagne on the sixth point"));
    if (won_) {
        const doubles::Record& r = doubles::record;
        if (!r.hidden) fail("Gagne called with the cursor shown");
        if (r.score[int(before.tour)] != 6 || r.tour != before.tour) fail("the state when Gagne was called");
        if (r.shows != shows) fail("the cursor shown again after Gagne");
    } else if (doubles::record.hides != hides + 1 || doubles::record.shows != shows + 1) {
        fail(what + ": the cursor not hidden and shown once");
    }
    compare(expected, what.c_str());
}

// The rules seen along lines: a broadside move needs every target empty; an in-line
// group needs an empty cell ahead, or a shorter opposing row with an empty cell or
// the border behind it.
Session::State Session::predict_move(const State& before, int sens, Outcome& outcome) const {
    State after = before;
    const std::vector<Cell>& sel = before.selection;
    int dx = kSteps[sens][0], dy = kSteps[sens][1];
    char mover = before.tour, other = char(3 - mover);
    auto at = [&](Cell c) -> char& { return after.grid[c.y][c.x]; };
    auto ahead = [&](Cell c, int k) { return Cell{c.x + k * dx, c.y + k * dy}; };
    outcome = Outcome::Refused;

    Cell front = sel[0];
    bool in_line = false;
    for (Cell s : sel) {
        bool behind_another = false;
        for (Cell t : sel) behind_another |= t == ahead(s, 1);
        in_line |= behind_another;
        if (!behind_another) front = s;
    }
    if (!in_line) {
        for (Cell s : sel)
            if (at(ahead(s, 1)) != 0) return after;
        outcome = Outcome::Moved;
    } else {
        int k = 0;
        while (at(ahead(front, k + 1)) == other) k++;
        char beyond = at(ahead(front, k + 1));
        if (k == 0 && beyond == 0) {
            outcome = Outcome::Moved;
        } else if (k > 0 && k < int(sel.size()) && beyond == 0) {
            at(ahead(front, k + 1)) = other;
            outcome = Outcome::Pushed;
        } else if (k > 0 && k < int(sel.size()) && beyond == 3) {
            after.score[int(mover)]++;
            outcome = after.score[int(mover)] == 6 ? Outcome::Won : Outcome::PushedOff;
        } else {
            return after;
        }
    }
    for (Cell s : sel) at(s) = 0;
    for (Cell s : sel) at(ahead(s, 1)) = mover;
    after.selection.clear();
    if (outcome != Outcome::Won) after.tour = other;
    return after;
}

void Session::compare(const State& expected, const char* what) {
    State now = capture();
    for (int y = 0; y < 22; y++)
        for (int x = 0; x < 22; x++)
            if (now.grid[y][x] != expected.grid[y][x])
                return fail(std::string(what) + ": cell " + cell_text(x, y) + " holds " + std::to_string(now.grid[y][x]) +
                            ", expected " + std::to_string(expected.grid[y][x]));
    if (now.tour != expected.tour) return fail(std::string(what) + ": Tour is " + std::to_string(now.tour));
    if (std::memcmp(now.score, expected.score, 3))
        return fail(std::string(what) + ": score " + std::to_string(now.score[1]) + ":" + std::to_string(now.score[2]));
    if (now.selection.size() != expected.selection.size())
        return fail(std::string(what) + ": " + std::to_string(now.selection.size()) + " selected, expected " +
                    std::to_string(expected.selection.size()));
    for (size_t i = 0; i < now.selection.size(); i++)
        if (!(now.selection[i] == expected.selection[i]))
            return fail(std::string(what) + ": slot " + std::to_string(i + 1) + " holds " +
                        cell_text(now.selection[i].x, now.selection[i].y) + ", expected " +
                        cell_text(expected.selection[i].x, expected.selection[i].y));
}

void Session::check_invariants() {
    int count[3] = {};
    for (int y = 0; y < 22; y++)
        for (int x = 0; x < 22; x++) {
            char c = Jeu[y][x];
            if (!board_[y][x] && c != opening_[y][x])
                return fail("cell " + cell_text(x, y) + " off the board changed to " + std::to_string(c));
            if (board_[y][x] && (c < 0 || c > 2))
                return fail("board cell " + cell_text(x, y) + " holds " + std::to_string(c));
            if (board_[y][x]) count[int(c)]++;
        }
    if (Score[1] < 0 || Score[1] > 6 || Score[2] < 0 || Score[2] > 6) return fail("a score out of 0 to 6");
    if (count[1] != 14 - Score[2] || count[2] != 14 - Score[1])
        return fail("marbles " + std::to_string(count[1]) + " and " + std::to_string(count[2]) + " for scores " +
                    std::to_string(Score[1]) + ":" + std::to_string(Score[2]));
    if (Tour != 1 && Tour != 2) return fail("Tour is " + std::to_string(Tour));
    if (NbSelec < 0 || NbSelec > 3) return fail("NbSelec is " + std::to_string(NbSelec));
    if (!won_ && (!Souris->Visible || doubles::record.misuse)) return fail("the cursor left hidden or misused");

    std::vector<Cell> sel = capture().selection;
    for (size_t i = 0; i < sel.size(); i++) {
        if (!board_[sel[i].y][sel[i].x] || Jeu[sel[i].y][sel[i].x] != Tour)
            return fail("selected " + cell_text(sel[i].x, sel[i].y) + " is not the mover's marble");
        for (size_t j = 0; j < i; j++)
            if (sel[i] == sel[j]) return fail("a cell selected twice");
    }
    if (sel.size() >= 2) {
        // Some step d and some first cell a give exactly {a, a + d, a + 2d}.
        bool line = false;
        for (auto& d : kSteps)
            for (Cell a : sel) {
                bool all = true;
                for (Cell s : sel) {
                    bool on = false;
                    for (size_t k = 0; k < sel.size(); k++) on |= s == Cell{a.x + int(k) * d[0], a.y + int(k) * d[1]};
                    all &= on;
                }
                line |= all;
            }
        if (!line) return fail("the selection is not a straight, gap-free line");
    }
}

// Every draw of the step went to a board cell's box or a score place, so the cell
// boxes and the score glyphs are the only pixels that can differ from the background.
void Session::check_drawn() {
    for (const Drawn& d : drawn) {
        bool ok;
        if (d.routine == 'N') {
            ok = d.x == 410 && (d.y == 370 || d.y == 424);
        } else {
            int x = (d.x - 53) / 25, y = (d.y + 59) / 38;
            ok = (d.x - 53) % 25 == 0 && (d.y + 59) % 38 == 0 && x >= 0 && x < 22 && y >= 0 && y < 22 && board_[y][x];
        }
        if (!ok)
            return fail(std::string("drew ") + d.routine + " at pixel (" + std::to_string(d.x) + "," +
                        std::to_string(d.y) + "), not on a board cell or a score place");
    }
}

// Compares the frame with one drawn from scratch: the background, every cell as Jeu
// has it, the rings and the scores. Drawing happens only in board cell boxes and at
// the score places (check_drawn), so reference_ is the background elsewhere, and a
// box or score that was neither drawn nor meant to change since the last comparison
// still matches; between whole comparisons only the others are redrawn and compared.
void Session::check_frame(const char* frame, const char* what, bool whole) {
    auto differs = [&](size_t from, size_t bytes) {
        return std::memcmp(frame + from, reference_.data() + from, bytes) != 0;
    };
    bool touched[22][22] = {};
    bool digits = whole || std::memcmp(shown_score_, Score, 3) != 0;
    for (const Drawn& d : drawn)
        if (d.routine == 'N')
            digits = true;
        else
            touched[(d.y + 59) / 38][(d.x - 53) / 25] = true;
    char want[22][22] = {};
    for (int i = 1; i <= NbSelec; i++) want[int(Ys[i])][int(Xs[i])] = 4;

    logging = false;
    char* ecran = _ECRAN;
    _ECRAN = reference_.data();
    bool same = true;
    for (int y = 2; y <= 10; y++)
        for (int x = 0; x <= 20; x++) {
            if (!board_[y][x]) continue;
            want[y][x] += Jeu[y][x];
            if (!whole && !touched[y][x] && want[y][x] == shown_[y][x]) continue;
            _EFFSPRITE(25 * x + 53, 38 * y - 59);
            AffBoule(char(x), char(y), Jeu[y][x]);
            if (want[y][x] >= 4) AffBoule(char(x), char(y), char(Tour + 4));
            for (int row = 0; row < 32 && !whole && same; row++)
                same = !differs((size_t(38 * y - 59 + row) * 640 + size_t(25 * x + 53)) * 4, 128);
        }
    if (digits) AffScore();
    _ECRAN = ecran;
    logging = true;
    std::memcpy(shown_, want, sizeof want);
    std::memcpy(shown_score_, Score, 3);

    if (whole) {
        same = !differs(0, kFrame);
    } else if (digits) {
        for (int top : {370, 424})
            for (int row = 0; row < 33 && same; row++) same = !differs((size_t(top + row) * 640 + 410) * 4, 27 * 4);
    }
    if (same) return;

    size_t count = 0, first = 0;
    for (size_t p = 0; p < kFrame / 4; p++)
        if (differs(4 * p, 4)) {
            if (!count) first = p;
            count++;
        }
    fail(std::string(what) + " differs from one drawn from scratch in " + std::to_string(count) +
         " pixels, the first at (" + std::to_string(first % 640) + "," + std::to_string(first / 640) + ")");
}

void Session::fail(const std::string& what) {
    if (fault_.empty()) fault_ = "step " + std::to_string(step_in_game_) + ": " + what;
}

} // namespace play
