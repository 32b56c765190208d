// Selection and moves: the pointer to a cell, the selection table, moves, pushes
// and refusals, and seeded random games checked step by step.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "draw/geometry.h"
#include "rules/rules.h"
#include "souris/souris.h"
#include "tests/play.h"
#include "tests/harness.h"
#include "unit/unit.h"

namespace {

using play::Cell;
using play::step;
using Cells = std::vector<Cell>;
constexpr size_t kFrame = kScreenBytes;

// Every row of the grid: '.' empty, '1' and '2' marbles, '#' border.
std::string board() {
    std::string out;
    for (auto& row : Jeu) {
        for (char c : row) out += c >= 0 && c <= 3 ? ".12#"[int(c)] : '?';
        out += '\n';
    }
    return out;
}

class RulesTest : public ::testing::Test {
protected:
    // An empty board with its border, player 1 to move, no score, nothing selected.
    void SetUp() override {
        std::memset(Jeu, 0, sizeof Jeu);
        SetJeu();
        for (auto& row : Jeu)
            for (char& c : row) c = c == 3 ? 3 : 0;
        Score[1] = Score[2] = 0;
        NbSelec = 0;
        Tour = 1;
        play::reset_cursor();
        play::draw_from_scratch(_ECRAN);
    }
    void TearDown() override { EXPECT_TRUE(buffers_.guards_intact()); }

    // Marbles of players 1 and 2 on the empty board, the frame drawn afresh, then
    // clicks by player tour in the middle of each cell's picture.
    void setup(const Cells& own, const Cells& opposing, const Cells& clicks = {}, char tour = 1) {
        SetUp();
        for (Cell c : own) Jeu[c.y][c.x] = 1;
        for (Cell c : opposing) Jeu[c.y][c.x] = 2;
        play::draw_from_scratch(_ECRAN);
        Tour = tour;
        for (Cell c : clicks) play::click(cell_centre_x(c.x), cell_centre_y(c.y));
    }
    // Everything a click or a move may change but the frame and the clicked cell.
    std::string state() {
        std::ostringstream s;
        s << board() << "tour " << int(Tour) << ", score " << int(Score[1]) << ":" << int(Score[2]) << ", selected "
          << testing::PrintToString(play::selection());
        return s.str();
    }
    // How the frame differs from one drawn from scratch; empty if it does not.
    std::string stale() {
        std::vector<char> want(kFrame);
        play::draw_from_scratch(want.data());
        return play::frame_diff(_ECRAN, want.data());
    }

    test::Buffers buffers_;
};

TEST_F(RulesTest, PointerBandsAndTheirEdges) {
    auto cell_at = [&](int px, int py) {
        play::click(px, py);
        return Cell{Xc, Yc};
    };
    const int row5 = band_top(5), row6 = band_top(6);
    EXPECT_EQ(cell_at(50, row6), (Cell{2, 6}));
    EXPECT_EQ(cell_at(30, row5), (Cell{1, 5}));
    EXPECT_EQ(cell_at(300, 0).y, 1);
    // Truncation toward zero widens the first band of each row to the left.
    for (int px = 0; px <= 18; px++) EXPECT_EQ(cell_at(px, row5).x, -1) << px;
    EXPECT_EQ(cell_at(19, row5).x, 1);
    EXPECT_EQ(cell_at(43, row6).x, 0);
    EXPECT_EQ(cell_at(44, row6).x, 2);
    EXPECT_EQ(cell_at(592, row6).x, 20);
    for (int px = 593; px <= 623; px++) EXPECT_EQ(cell_at(px, row6).x, 22) << px;
    EXPECT_EQ(cell_at(617, row5).x, 21);
    for (int px = 618; px <= 623; px++) EXPECT_EQ(cell_at(px, row5).x, 23) << px;

    // Each board cell owns a band of 50 by 38 pixels around its picture.
    for (int y = 2; y <= 10; y++)
        for (int x = std::abs(y - 6) + 2; x <= 18 - std::abs(y - 6); x += 2)
            for (int px : {band_left(x), band_left(x) + kBandWidth - 1})
                for (int py : {band_top(y), band_top(y) + kBandHeight - 1}) EXPECT_EQ(cell_at(px, py), (Cell{x, y}));
}

// Own marbles on every cell within two of a, so that every click below is on one.
// Each case clicks from an empty selection; the marks must follow the selection.
TEST_F(RulesTest, SelectionTable) {
    const Cell a{10, 6};
    Cells near;
    for (int y = 4; y <= 8; y++)
        for (int x = y % 2; x <= 20; x += 2)
            if (std::abs(x - 10) + std::abs(y - 6) <= 4) near.push_back({x, y});
    auto selects = [&](const Cells& clicks) {
        setup(near, {}, clicks);
        EXPECT_EQ(stale(), "") << testing::PrintToString(clicks);
        return play::selection();
    };
    EXPECT_EQ(selects({a}), Cells{a});
    EXPECT_EQ(selects({a, a}), Cells{});
    for (int s = 0; s < 6; s++) {
        Cell b = step(a, s);
        EXPECT_EQ(selects({a, b}), (Cells{a, b}));
        EXPECT_EQ(selects({a, step(a, s, 2)}), Cells{step(a, s, 2)}); // two away: a new selection
        EXPECT_EQ(selects({a, b, a}), Cells{b});                      // the other one ends in slot 1
        EXPECT_EQ(selects({a, b, b}), Cells{a});
    }
    // A pair, in both orders, grows only by the two cells that continue its line; any
    // other neighbour, such as one touching both marbles, starts a new selection.
    for (int s = 0; s < 3; s++) {
        Cell b = step(a, s);
        for (Cell m : {a, b})
            for (int d = 0; d < 6; d++) {
                Cell n = step(m, d);
                if (n == a || n == b) continue;
                bool joins = n == step(a, s + 3) || n == step(b, s);
                EXPECT_EQ(selects({a, b, n}), joins ? Cells({a, b, n}) : Cells({n}));
                EXPECT_EQ(selects({b, a, n}), joins ? Cells({b, a, n}) : Cells({n}));
            }
    }
    // With three there is neither a removal nor a fourth: any click starts afresh.
    for (Cell n : {a, step(a, 4), step(a, 1, 2), Cell{12, 8}})
        EXPECT_EQ(selects({step(a, 4), a, step(a, 1), n}), Cells{n});
}

// In each direction each kind of move ends on the expected board and frame, whether
// its marbles are clicked back to front or in another order (the middle one first).
TEST_F(RulesTest, MovesInEachDirectionAndAnyOrder) {
    for (int s = 0; s < 6; s++) {
        Cell a{10, 6}, z = step(a, s, -1), b = step(a, s), c = step(a, s, 2), d = step(a, s, 3), e = step(a, s, 4);
        Cell p = step(a, (s + 1) % 6, -1), q = step(a, (s + 1) % 6);
        const struct {
            const char* what;
            Cells own, opposing, clicks, own_after, opposing_after;
            int score;
        } cases[] = {
            {"one steps", {a}, {}, {a}, {b}, {}, 0},
            {"two advance", {a, b}, {}, {b, a}, {b, c}, {}, 0},
            {"broadside", {p, a, q}, {}, {a, q, p}, {step(p, s), b, step(q, s)}, {}, 0},
            {"two push one", {a, b}, {c}, {b, a}, {b, c}, {d}, 0},
            {"three push two", {z, a, b}, {c, d}, {a, z, b}, {a, b, c}, {d, e}, 0},
            {"three push two off", {a, b, c}, {d, e}, {b, a, c}, {b, c, d}, {e}, 1},
        };
        for (auto& k : cases)
            for (const Cells& clicks : {k.own, k.clicks}) {
                SCOPED_TRACE(std::string(k.what) + ", sens " + std::to_string(s) + ", clicked " +
                             testing::PrintToString(clicks));
                setup(k.own, k.opposing, clicks);
                Joue(char(s));
                EXPECT_EQ(Score[1], k.score);
                EXPECT_EQ(Score[2], 0);
                EXPECT_EQ(Tour, 2);
                EXPECT_EQ(NbSelec, 0);
                EXPECT_EQ(stale(), "");
                std::string now = board();
                setup(k.own_after, k.opposing_after);
                EXPECT_EQ(now, board());
            }
    }
}

// An ignored click or a refused move leaves everything as it was, the marks and the
// frame included.
TEST_F(RulesTest, IgnoredClicksAndRefusedMovesChangeNothing) {
    // Own marbles where a click off the grid would read without a bounds check:
    // columns -1, 22 and 23 alias (21, 6), (0, 7) and (1, 6).
    const Cells aliased = {{10, 6}, {21, 6}, {0, 7}, {1, 6}}, one = {{10, 6}}, two = {{12, 6}};
    const struct {
        const char* what;
        Cells own, opposing, selected;
        int sens, px = -1, py = 0; // a click at (px, py) instead of a move
    } cases[] = {
        {"click on an empty cell", aliased, two, one, 0, cell_centre_x(8), cell_centre_y(6)},
        {"click on an opposing marble", aliased, two, one, 0, cell_centre_x(12), cell_centre_y(6)},
        {"click on the border", aliased, two, one, 0, cell_centre_x(20), cell_centre_y(6)},
        {"click in column -1", aliased, two, one, 0, 10, band_top(7)},
        {"click in column 22", aliased, two, one, 0, 600, band_top(6)},
        {"click in column 23", aliased, two, one, 0, 620, 5 * 38 - 63},
        {"two against two", {{8, 6}, {10, 6}}, {{12, 6}, {14, 6}}, {{8, 6}, {10, 6}}, 1},
        {"three against three", {{4, 6}, {6, 6}, {8, 6}}, {{10, 6}, {12, 6}, {14, 6}}, {{4, 6}, {6, 6}, {8, 6}}, 1},
        {"one never pushes", {{8, 6}}, {{10, 6}}, {{8, 6}}, 1},
        {"own marble behind the row", {{6, 6}, {8, 6}, {10, 6}, {14, 6}}, {{12, 6}}, {{6, 6}, {8, 6}, {10, 6}}, 1},
        {"own marble behind two", {{4, 6}, {6, 6}, {8, 6}, {14, 6}}, {{10, 6}, {12, 6}}, {{4, 6}, {6, 6}, {8, 6}}, 1},
        {"own marble ahead", {{8, 6}, {10, 6}, {12, 6}}, {}, {{8, 6}, {10, 6}}, 1},
        {"border ahead", {{14, 6}, {16, 6}, {18, 6}}, {}, {{14, 6}, {16, 6}, {18, 6}}, 1},
        {"border ahead on a diagonal", {{6, 2}, {7, 3}}, {}, {{6, 2}, {7, 3}}, 3},
        {"broadside on an own marble", {{8, 6}, {10, 6}, {12, 6}, {13, 7}}, {}, {{8, 6}, {10, 6}, {12, 6}}, 0},
        {"broadside on an opposing marble", {{8, 6}, {10, 6}, {12, 6}}, {{9, 7}}, {{8, 6}, {10, 6}, {12, 6}}, 0},
        {"broadside on the border", {{5, 9}, {7, 9}, {9, 9}}, {}, {{5, 9}, {7, 9}, {9, 9}}, 5},
        {"broadside of one onto the border", {{2, 6}}, {}, {{2, 6}}, 4},
        // The game never asks for these; they must not pass the turn or read past
        // the table of directions.
        {"nothing selected", {{8, 6}}, {}, {}, 1},
        {"direction 6", {{8, 6}}, {}, {{8, 6}}, 6},
        {"direction -1", {{8, 6}}, {}, {{8, 6}}, -1},
    };
    for (auto& c : cases) {
        setup(c.own, c.opposing, c.selected);
        ASSERT_EQ(play::selection(), c.selected) << c.what;
        std::string before = state();
        std::vector<char> frame(_ECRAN, _ECRAN + kFrame);
        c.px < 0 ? Joue(char(c.sens)) : play::click(c.px, c.py);
        EXPECT_EQ(state(), before) << c.what;
        EXPECT_EQ(play::frame_diff(_ECRAN, frame.data()), "") << c.what;
        EXPECT_EQ(stale(), "") << c.what;
    }
}

// Gagne never returns: what it leaves behind is what it found.
TEST_F(RulesTest, TheSixthPointIsPaintedBeforeGagneAndTheTurnStays) {
    for (char player : {1, 2}) {
        Cells pushers = {{14, 6}, {16, 6}}, pushed = {{18, 6}};
        player == 1 ? setup(pushers, pushed, pushers, 1) : setup(pushed, pushers, pushers, 2);
        Score[1] = Score[2] = 5;
        ASSERT_THROW(Joue(1), play::Won);
        EXPECT_FALSE(Souris->Visible) << "the cursor must be hidden under the victory screen";
        EXPECT_EQ(Score[int(player)], 6);
        EXPECT_EQ(Tour, player);
        EXPECT_EQ(NbSelec, 0);
        EXPECT_EQ(stale(), "") << "player " << int(player);
    }
}

long env_or(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 0) : fallback;
}

// Each game has a seed of its own and lasts until a win or the step limit. To replay
// a failure: GLOBOID_PLAY_SEED=<seed> GLOBOID_PLAY_GAMES=1.
TEST(RandomPlay, InvariantsHoldAfterEveryStep) {
    test::Buffers buffers;
    long first = env_or("GLOBOID_PLAY_SEED", 1), count = env_or("GLOBOID_PLAY_GAMES", 1000);
    std::vector<uint8_t> bytes(size_t(env_or("GLOBOID_PLAY_STEPS", 2000)) * play::kBytesPerStep);
    play::Stats s;
    auto start = std::chrono::steady_clock::now();
    for (long seed = first; seed < first + count; seed++) {
        uint64_t state = uint64_t(seed) * 0x9E3779B97F4A7C15ull;
        for (uint8_t& b : bytes) b = uint8_t(test::next_random(state) >> 24);
        ASSERT_EQ(play::game(bytes.data(), bytes.size(), s), "") << "seed " << seed;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld games, %ld steps clean in %.2f s: %ld moves (%ld refused), %ld push-offs, %ld wins\n", count,
                s.steps, seconds, s.moves, s.refused, s.push_offs, s.wins);
    EXPECT_TRUE(buffers.guards_intact());
}

} // namespace
