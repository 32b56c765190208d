// Doubles for the rules, the frame drawn from scratch, and games checked step by step.
#include "tests/play.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "assets/assets.h"
#include "draw/draw.h"
#include "draw/geometry.h"
#include "rules/rules.h"
#include "board/board.h"
#include "souris/souris.h"
#include "unit/unit.h"

SourisType* Souris;

SourisType::SourisType()
    : Thread(0), Bouton1(false), Bouton2(false), Bouton3(false), x(0), y(0), oldx(0), oldy(0), Forme(nullptr),
      Fond(nullptr), Visible(false) {}

namespace play {

// What the Gagne double throws: it must not return to its caller.
struct Won {};
// Hides of the cursor double; misuse is a Hide while hidden or a Show while shown.
struct Cursor {
    int hides = 0;
    bool misuse = false;
} cursor;

// k cells from c in direction sens (0 to 5).
Cell step(Cell c, int sens, int k = 1) {
    static const int steps[6][2] = {{1, 1}, {2, 0}, {1, -1}, {-1, -1}, {-2, 0}, {-1, 1}};
    return {c.x + k * steps[sens][0], c.y + k * steps[sens][1]};
}

} // namespace play

void Gagne() { throw play::Won(); }

void SourisType::Show() { play::cursor.misuse |= Visible.exchange(true); }

void SourisType::Hide() {
    play::cursor.misuse |= !Visible.exchange(false);
    play::cursor.hides++;
}

namespace play {

void reset_cursor() {
    if (!Souris) Souris = new SourisType;
    Souris->Visible = true;
    cursor = Cursor();
}

// The selected cells, slot 1 first.
std::vector<Cell> selection() {
    std::vector<Cell> out;
    for (int i = 1; i <= NbSelec && i <= 3; i++) out.push_back({Xs[i], Ys[i]});
    return out;
}

void click(int px, int py) {
    Souris->x = int16(px);
    Souris->y = int16(py);
    Selectionne();
}

namespace {

constexpr size_t kFrame = kScreenBytes;
constexpr long kWholeFrameEvery = 64;

bool on_board(int x, int y) {
    int d = std::abs(y - 6);
    return y >= 2 && y <= 10 && (x + y) % 2 == 0 && x >= d + 2 && x <= 18 - d;
}

std::string at(int x, int y) { return "(" + std::to_string(x) + "," + std::to_string(y) + ")"; }

// The background, every cell as Jeu has it, the rings on the selection, the scores.
void draw_from_scratch(char* out) {
    char* ecran = _ECRAN;
    _ECRAN = out;
    std::memcpy(out, _FOND, kFrame);
    for (int y = 0; y <= 18; y++)
        for (int x = 0; x <= 20; x++) AffBoule(char(x), char(y), Jeu[y][x]);
    for (Cell c : selection()) AffBoule(char(c.x), char(c.y), char(Tour + 4));
    AffScore();
    _ECRAN = ecran;
}

// Empty when the two frames match, else how many pixels differ and the first.
std::string frame_diff(const char* frame, const char* want) {
    if (!std::memcmp(frame, want, kFrame)) return "";
    size_t count = 0, first = 0;
    for (size_t p = kFrame / 4; p-- > 0;)
        if (std::memcmp(frame + 4 * p, want + 4 * p, 4)) count++, first = p;
    return std::to_string(count) + " pixels differ, the first at " + at(int(first % 640), int(first / 640));
}

// A game: the bytes it plays from, what it has checked, and a reference frame kept
// equal to one drawn from scratch.
struct Game {
    Game(const uint8_t* data, size_t size, Stats& stats) : data(data), left(size), stats(stats) {
        std::memset(Jeu, 0, sizeof Jeu);
        std::memset(Score, 0, sizeof Score);
        NbSelec = 0;
        Tour = 1;
        std::memcpy(_ECRAN, _FOND, kFrame);
        SetJeu();
        AffScore();
        std::memcpy(opening, Jeu, sizeof Jeu);
        reset_cursor();
    }

    std::string play() {
        while (fault.empty() && !won && left >= kBytesPerStep) {
            step_no++;
            stats.steps++;
            act();
            if (fault.empty()) check();
        }
        if (fault.empty()) check_frame(true);
        return fault;
    }

    std::vector<Cell> own_marbles() {
        std::vector<Cell> own;
        for (int y = 2; y <= 10; y++)
            for (int x = 0; x <= 20; x++)
                if (on_board(x, y) && Jeu[y][x] == Tour) own.push_back({x, y});
        return own;
    }

    // One click or one move. Player 1 attacks more often than player 2, so that
    // games end; half the random moves head for the opponent's side.
    void act() {
        const uint8_t* b = data;
        data += kBytesPerStep;
        left -= kBytesPerStep;
        uint32_t kind = b[0] % 16u, a = b[1] | b[2] << 8, px = b[3] | b[4] << 8, py = b[5] | b[6] << 8;
        std::vector<Cell> own = own_marbles();
        bool attack = kind < (Tour == 1 ? 12u : 4u);
        if (attack && plan.empty()) make_plan(a);
        if (attack && !plan.empty()) {
            Cell next = plan.back();
            plan.pop_back();
            next.x < 0 ? move(plan_sens) : click_cell(next, px, py);
        } else if (kind >= 10 && NbSelec >= 1) {
            const int forward[2][2] = {{0, 5}, {2, 3}};
            move(a % 2 ? forward[Tour - 1][(a >> 1) % 2] : int((a >> 1) % 8) - 1); // -1 and 6: no direction
        } else if (kind == 7 || kind == 8) {
            // Next to a selected marble or an own one, or two cells away.
            Cell from = NbSelec >= 1 ? Cell{Xs[1 + a % NbSelec], Ys[1 + a % NbSelec]} : own[a % own.size()];
            click_cell(step(from, (a >> 8) % 6, 1 + (a >> 12) % 2), px, py);
        } else if (kind == 9) {
            click(int(px % 624), int(py % 464));
        } else {
            click_cell(own[a % own.size()], px, py);
        }
    }

    // An attack, played from the back of plan: clicks that empty the selection, then
    // an own line of two or three that outnumbers the opposing row ahead of it, back
    // to front or front to back, then the move.
    void make_plan(uint32_t a) {
        std::vector<std::pair<std::vector<Cell>, int>> lines;
        for (Cell m : own_marbles())
            for (int d = 0; d < 6; d++) {
                auto cell = [&](int k) { return Jeu[step(m, d, k).y][step(m, d, k).x]; };
                std::vector<Cell> line;
                for (int k = 0; k > -3 && cell(k) == Tour; k--) line.push_back(step(m, d, k));
                int n = 1;
                while (cell(n) == 3 - Tour) n++;
                if (n > 1 && n <= int(line.size())) lines.push_back({line, d}); // own marble beyond: refused
            }
        if (lines.empty()) return;
        std::tie(plan, plan_sens) = lines[(a >> 1) % lines.size()];
        if (a & 1) std::reverse(plan.begin(), plan.end());
        plan.insert(plan.begin(), Cell{-1, -1});
        std::vector<Cell> sel = selection();
        if (sel.size() == 3) sel = {sel[0], sel[0]};
        plan.insert(plan.end(), sel.rbegin(), sel.rend());
    }

    // A pixel in the click band of cell c, pulled onto the screen. On a board cell
    // the selection must follow the rules: an own marble starts a selection, is
    // taken out of one or two, joins one as a neighbour or two as the next in
    // their line, and otherwise starts a new one; anything else changes nothing.
    void click_cell(Cell c, uint32_t px, uint32_t py) {
        std::vector<Cell> sel = selection(), want = sel;
        auto in = [&](Cell a) { return std::find(sel.begin(), sel.end(), a) != sel.end(); };
        if (on_board(c.x, c.y) && Jeu[c.y][c.x] == Tour) {
            want = {c};
            for (int d = 0; d < 6; d++) {
                if (sel.size() == 1 && step(sel[0], d) == c) want = {sel[0], c};
                if (sel.size() == 2 && step(sel[0], d) == sel[1] && (c == step(sel[1], d) || c == step(sel[0], d, -1)))
                    want = {sel[0], sel[1], c};
            }
            if (sel.size() == 1 && in(c)) want = {};
            if (sel.size() == 2 && in(c)) want = {c == sel[0] ? sel[1] : sel[0]};
        }
        click(std::clamp(band_left(c.x) + int(px % kBandWidth), 0, 623),
              std::clamp(band_top(c.y) + int(py % kBandHeight), 0, 463));
        if (on_board(c.x, c.y) && !(selection() == want)) fail("click on " + at(c.x, c.y) + ": the selection is wrong");
    }

    // What a move must do, worked out along its line rather than as Joue does it:
    // the grid after it, and whether it scores; false when it is refused. Sideways
    // every target must be empty; along the line the front marble's cell ahead must
    // be empty, or hold a row of fewer opposing marbles with an empty cell or the
    // border beyond.
    bool predict(int sens, char (&grid)[22][22], bool& scores) {
        std::vector<Cell> sel = selection();
        scores = false;
        if (sel.empty() || sens < 0 || sens > 5) return false;
        auto at = [&](Cell c) -> char& { return grid[c.y][c.x]; };
        auto selected = [&](Cell c) { return std::find(sel.begin(), sel.end(), c) != sel.end(); };
        Cell front = sel[0];
        bool along = false;
        for (Cell c : sel) selected(step(c, sens)) ? void(along = true) : void(front = c);
        if (!along) {
            for (Cell c : sel)
                if (at(step(c, sens)) != 0) return false;
        } else {
            int k = 1;
            while (at(step(front, sens, k)) == 3 - Tour) k++;
            char beyond = at(step(front, sens, k));
            if (k - 1 >= int(sel.size()) || (beyond != 0 && (k == 1 || beyond != 3))) return false;
            if (k > 1 && beyond == 0) at(step(front, sens, k)) = char(3 - Tour);
            scores = k > 1 && beyond == 3;
        }
        for (Cell c : sel) at(c) = 0;
        for (Cell c : sel) at(step(c, sens)) = Tour;
        return true;
    }

    // A move does what predict says and passes the turn and empties the selection,
    // or changes nothing; Gagne comes exactly with the sixth point, the turn kept and
    // the cursor hidden.
    void move(int sens) {
        char grid[sizeof Jeu], want[22][22], tour = Tour, score = Score[int(Tour)];
        std::memcpy(grid, Jeu, sizeof Jeu);
        std::memcpy(want, Jeu, sizeof Jeu);
        bool scores, allowed = predict(sens, want, scores);
        std::vector<Cell> sel = selection();
        plan.clear();
        stats.moves++;
        moves++;
        try {
            Joue(char(sens));
        } catch (const Won&) {
            won = true;
            stats.wins++;
        }
        stats.push_offs += Score[int(tour)] - score;
        bool done = Tour != tour || won;
        stats.refused += !done;
        std::string what = "move " + std::to_string(sens) + ": ";
        if (won != (Score[int(tour)] == 6) || (won && (Tour != tour || Souris->Visible)))
            fail(what + "Gagne, the sixth point, the turn or the cursor");
        else if (done != allowed ||
                 (done && (std::memcmp(want, Jeu, sizeof Jeu) || Score[int(tour)] != score + scores)))
            fail(what + (allowed ? "allowed" : "refused") + " by the rules, but Joue did otherwise");
        else if (!done && (std::memcmp(grid, Jeu, sizeof Jeu) || Score[int(tour)] != score || !(selection() == sel)))
            fail(what + "refused, but the board, the score or the selection changed");
        else if (done && NbSelec != 0)
            fail(what + "done, but marbles are still selected");
        else if (!board_agrees(sel, sens, grid, tour, done))
            fail(what + "the board's rules judge it otherwise, or read back another move");
    }

    // The additions' rules (board/) on the same move: the same verdict, the same
    // position after it, and the move read back from the two positions alone.
    bool board_agrees(const std::vector<Cell>& sel, int sens, const char* grid, char tour, bool done) {
        board::Position before, after;
        for (int c = 0; c < board::kCells; c++) {
            before.cell[c] = grid[22 * board::cell_y(c) + board::cell_x(c)];
            after.cell[c] = Jeu[board::cell_y(c)][board::cell_x(c)];
        }
        before.to_move = tour;
        board::Move m, read;
        m.n = uint8_t(sel.size());
        m.dir = board::Dir(sens);
        for (size_t i = 0; i < sel.size(); i++) m.cells[i] = uint8_t(board::cell_at(sel[i].x, sel[i].y));
        board::Position played = before;
        if (board::play(played, m) != done) return false;
        if (!done) return true;
        return std::equal(played.cell, played.cell + board::kCells, after.cell) &&
               board::derive_move(before, after, &read) && read == m;
    }

    void check() {
        int count[4] = {};
        for (int y = 0; y < 22; y++)
            for (int x = 0; x < 22; x++) {
                char c = Jeu[y][x];
                if (on_board(x, y) ? c < 0 || c > 2 : c != opening[y][x])
                    return fail("cell " + at(x, y) + " holds " + std::to_string(c));
                count[int(c & 3)] += on_board(x, y);
            }
        if (count[1] != 14 - Score[2] || count[2] != 14 - Score[1])
            return fail("marbles " + at(count[1], count[2]) + " for the score " + at(Score[1], Score[2]));
        if ((Tour != 1 && Tour != 2) || NbSelec < 0 || NbSelec > 3) return fail("Tour, NbSelec " + at(Tour, NbSelec));
        if (!won && (!Souris->Visible || cursor.misuse || cursor.hides != moves))
            return fail("the cursor misused or left hidden, or hides for moves " + at(cursor.hides, moves));

        std::vector<Cell> sel = selection();
        for (Cell c : sel)
            if (!on_board(c.x, c.y) || Jeu[c.y][c.x] != Tour)
                return fail("selected " + at(c.x, c.y) + " is not the mover's");
        // Sorted by row, then column, a line steps right, down-right or down-left.
        std::sort(sel.begin(), sel.end(), [](Cell a, Cell b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
        bool line = sel.size() < 2;
        for (int d : {0, 1, 5})
            line |= sel.size() >= 2 && step(sel[0], d) == sel[1] && (sel.size() < 3 || step(sel[1], d) == sel[2]);
        if (!line) return fail("the selection is not a straight, gap-free line");
        check_frame(won || step_no % kWholeFrameEvery == 0);
    }

    // The frame against one drawn from scratch, every kWholeFrameEvery steps, at a
    // win and at the end.
    void check_frame(bool whole) {
        if (!whole) return;
        draw_from_scratch(reference.data());
        std::string d = frame_diff(_ECRAN, reference.data());
        if (!d.empty()) fail("the frame differs from one drawn from scratch: " + d);
    }

    void fail(const std::string& what) { fault = "step " + std::to_string(step_no) + ": " + what; }

    const uint8_t* data;
    size_t left;
    Stats& stats;
    long step_no = 0, moves = 0;
    std::string fault;
    bool won = false;
    std::vector<Cell> plan;
    int plan_sens = 0;
    char opening[22][22];
    std::vector<char> reference = std::vector<char>(kFrame);
};

} // namespace

std::string game(const uint8_t* data, size_t size, Stats& stats) { return Game(data, size, stats).play(); }

} // namespace play
